// The vector kernels. Each computes exactly what the scalar kernel of the
// same filter computes; each is built with its own instruction-set flags
// and called only when the processor has that set.
#pragma once

#include <cstdint>

namespace orvessa::filters {

// The step of the blur over prepared rows (prepared_rows.hpp): one word per
// byte, its [1 2 1] sum with its horizontal neighbours (blur_row_sums).
void blur_next_row_sse2(const std::uint8_t* below, const std::uint8_t* ahead,
                        const std::uint16_t* above_sums, const std::uint16_t* centre_sums,
                        std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x);
void blur_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                         const std::uint16_t* above_sums, const std::uint16_t* centre_sums,
                         std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x);
// The AVX2 step keeps the sums of whole blocks in its own order; this
// prepares a row so. The AVX-512 path runs it too: on the processors
// measured so far (512-bit operations split in two halves) a 64-byte blur
// was no faster in cache and slower on large images.
void blur_prepare_row_avx2(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x);
void blur_next_row_avx2(const std::uint8_t* below, const std::uint8_t* ahead,
                        const std::uint16_t* above_sums, const std::uint16_t* centre_sums,
                        std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x);

// The smoothing over prepared rows (prepared_rows.hpp): two words per byte
// (median_cut_prepared.hpp, median_cut_prepare_row). Needs round-to-nearest,
// which the callers set.
void median_cut_next_row_sse2(const std::uint8_t* below, const std::uint8_t* ahead,
                              const std::uint16_t* above, const std::uint16_t* centre,
                              std::uint16_t* below_prepared, std::uint8_t* out, std::int32_t dim_x);
void median_cut_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                               const std::uint16_t* above, const std::uint16_t* centre,
                               std::uint16_t* below_prepared, std::uint8_t* out,
                               std::int32_t dim_x);
void median_cut_next_row_avx2(const std::uint8_t* below, const std::uint8_t* ahead,
                              const std::uint16_t* above, const std::uint16_t* centre,
                              std::uint16_t* below_prepared, std::uint8_t* out, std::int32_t dim_x);
// WebAssembly SIMD (the WebAssembly build only).
void median_cut_next_row_simd128(const std::uint8_t* below, const std::uint8_t* ahead,
                                 const std::uint16_t* above, const std::uint16_t* centre,
                                 std::uint16_t* below_prepared, std::uint8_t* out,
                                 std::int32_t dim_x);
void median_cut_next_row_avx512(const std::uint8_t* below, const std::uint8_t* ahead,
                                const std::uint16_t* above, const std::uint16_t* centre,
                                std::uint16_t* below_prepared, std::uint8_t* out,
                                std::int32_t dim_x);

}  // namespace orvessa::filters
