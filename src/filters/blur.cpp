// The weighted blur: each byte becomes the 1 2 1 / 2 4 2 / 1 2 1 average
// of its 3 x 3 neighbourhood (same channel), rounded half to even.
#include "filters/blur.hpp"

#include "filters/filter_kernels.hpp"
#include "filters/literal_filters.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

void blur_row_scalar(const std::uint8_t* above, const std::uint8_t* centre,
                     const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    for (std::int32_t i = 3; i < end; ++i) {
        const unsigned s = above[i - 3] + 2u * above[i] + above[i + 3] +
                           2u * (centre[i - 3] + 2u * centre[i] + centre[i + 3]) +
                           below[i - 3] + 2u * below[i] + below[i + 3];
        out[i] = static_cast<std::uint8_t>(blur_byte(s));
    }
}

void blur_row_sums(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    for (std::int32_t i = 3; i < end; ++i) {
        sums[i] = static_cast<std::uint16_t>(row[i - 3] + 2 * row[i] + row[i + 3]);
    }
}

namespace {

// The paths with kernels over prepared rows: one word per byte, its [1 2 1]
// sum (the AVX2 kernel keeps whole blocks in its own order).
constexpr PathKernel blur_paths[] = {
#if ORVESSA_X86_KERNELS
    {FilterPath::sse2, {1, blur_row_sums, blur_next_row_sse2}},
    {FilterPath::ssse3, {1, blur_row_sums, blur_next_row_ssse3}},
    {FilterPath::avx2, {1, blur_prepare_row_avx2, blur_next_row_avx2}},
    {FilterPath::avx512, {1, blur_prepare_row_avx2, blur_next_row_avx2}},
#endif
#if ORVESSA_WASM_SIMD_KERNELS
    {FilterPath::simd128, {1, blur_row_sums, blur_next_row_sse2}},
#endif
    {FilterPath::scalar, {}},  // keeps the array non-empty in every build
};

}  // namespace

const FilterKernels blur_kernels{literal_blur_buffer, blur_row_scalar, blur_paths};

}  // namespace orvessa::filters
