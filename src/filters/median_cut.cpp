// Edge-adaptive smoothing: each byte becomes a blend of its own value and
// the blurred value, weighted by how widely its neighbourhood spreads
// around the blur. Flat areas are smoothed; edges and detail survive.
#include "filters/median_cut.hpp"

#include "filters/filter_kernels.hpp"
#include "filters/literal_filters.hpp"
#include "filters/simd_kernels.hpp"
#include "orvessa/arith.hpp"

namespace orvessa::filters {

std::uint8_t median_cut_byte(const unsigned (&cells)[9], unsigned sum) noexcept {
    // (cell - sum / 16)^2 = d^2 / 256 with the integer d = 16 * cell - sum;
    // d^2 is never 128 mod 256, so rounding it has no tie.
    std::int32_t spread = 0;
    for (unsigned cell : cells) {
        const std::int32_t d =
            static_cast<std::int32_t>(16 * cell) - static_cast<std::int32_t>(sum);
        spread += (d * d + 128) >> 8;
    }
    return median_cut_blend(spread, cells[4], sum);
}

std::uint8_t median_cut_blend(std::int32_t spread, unsigned own, unsigned sum) noexcept {
    if (spread >= full_mix_spread) return static_cast<std::uint8_t>(own);
    const double mix = mix_factors[static_cast<std::size_t>(spread)];
    // Both products and their sum are exact in double; the one rounding is the float store.
    const auto blended = static_cast<float>(mix * own + (1.0 - mix) * (sum / 16.0));
    return round_unit_byte(blended);
}

void median_cut_row_scalar(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b,
                           std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    for (std::int32_t i = 3; i < end; ++i) {
        const unsigned cells[9] = {a[i - 3], a[i],     a[i + 3], c[i - 3], c[i],
                                   c[i + 3], b[i - 3], b[i],     b[i + 3]};
        const unsigned sum = cells[0] + 2 * cells[1] + cells[2] + 2 * cells[3] + 4 * cells[4] +
                             2 * cells[5] + cells[6] + 2 * cells[7] + cells[8];
        out[i] = median_cut_byte(cells, sum);
    }
}

void median_cut_prepare_row(const std::uint8_t* row, std::uint16_t* prepared, std::int32_t dim_x) {
    const std::int32_t n = 3 * dim_x;
    for (std::int32_t i = 0; i < n; ++i) prepared[i] = static_cast<std::uint16_t>(row[i] << 7);
    for (std::int32_t i = 3; i < n - 3; ++i) {
        prepared[n + i] = static_cast<std::uint16_t>(row[i - 3] + 2 * row[i] + row[i + 3]);
    }
}

namespace {

// The paths with kernels over prepared rows: two words per byte
// (median_cut_prepared.hpp).
constexpr PathKernel median_cut_paths[] = {
#if ORVESSA_X86_KERNELS
    {FilterPath::sse2, {2, median_cut_prepare_row, median_cut_next_row_sse2}},
    {FilterPath::ssse3, {2, median_cut_prepare_row, median_cut_next_row_ssse3}},
    {FilterPath::avx2, {2, median_cut_prepare_row, median_cut_next_row_avx2}},
    {FilterPath::avx512, {2, median_cut_prepare_row, median_cut_next_row_avx512}},
#endif
#if ORVESSA_WASM_SIMD_KERNELS
    {FilterPath::simd128, {2, median_cut_prepare_row, median_cut_next_row_simd128}},
#endif
    {FilterPath::scalar, {}},  // keeps the array non-empty in every build
};

}  // namespace

const FilterKernels median_cut_kernels{literal_median_cut_buffer, median_cut_row_scalar, median_cut_paths};

}  // namespace orvessa::filters
