// The blur over prepared rows, 32 bytes at a time in 16-bit lanes (AVX2).
// The row sums are kept in the order that widening within 128-bit lanes
// gives (bytes 0-7 and 16-23 of a block, then 8-15 and 24-31), which the
// final pack undoes; blur_prepare_row_avx2 prepares rows in that order.
#include <immintrin.h>

#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m256i load8(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

ORVESSA_VECTOR_INLINE __m256i load16(const std::uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

ORVESSA_VECTOR_INLINE void store16(std::uint16_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The [1 2 1] sums of one row at the 32 bytes from p, in two halves:
// left + 2 centre from one multiply-add of interleaved bytes, plus right.
ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m256i& lo, __m256i& hi) {
    const __m256i left = load8(p - 3), mid = load8(p), right = load8(p + 3);
    const __m256i zero = _mm256_setzero_si256(), weights = _mm256_set1_epi16(0x0201);
    lo = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpacklo_epi8(left, mid), weights),
                          _mm256_unpacklo_epi8(right, zero));
    hi = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_unpackhi_epi8(left, mid), weights),
                          _mm256_unpackhi_epi8(right, zero));
}

// s / 16 rounded half to even: (s + 8) >> 4 rounds half up, and a half
// goes down instead exactly when s is 8 more than a multiple of 32.
ORVESSA_VECTOR_INLINE __m256i round_sixteenth(__m256i s) {
    const __m256i half_up = _mm256_mulhrs_epi16(s, _mm256_set1_epi16(2048));
    const __m256i tie_down =
        _mm256_cmpeq_epi16(_mm256_and_si256(s, _mm256_set1_epi16(31)), _mm256_set1_epi16(8));
    return _mm256_add_epi16(half_up, tie_down);  // tie_down is -1 or 0
}

// Whole blocks of 32 bytes from 3; returns where they stop.
template <typename Block>
ORVESSA_VECTOR_INLINE std::int32_t for_each_whole_block(std::int32_t dim_x, Block block) {
    const std::int32_t end = 3 * (dim_x - 1);
    std::int32_t i = 3;
    for (; i + 32 <= end; i += 32) block(i);
    return i;
}

}  // namespace

void blur_prepare_row_avx2(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x) {
    const std::int32_t tail =
        for_each_whole_block(dim_x, [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            __m256i lo, hi;
            row_sums(row + i, lo, hi);
            store16(sums + i, lo);
            store16(sums + i + 16, hi);
        });
    for (std::int32_t i = tail; i < 3 * (dim_x - 1); ++i) sums[i] = horizontal_sum(row, i);
}

void blur_next_row_avx2(const std::uint8_t* below, const std::uint8_t* ahead,
                        const std::uint16_t* above, const std::uint16_t* centre,
                        std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    const std::int32_t tail =
        for_each_whole_block(dim_x, [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            _mm_prefetch(prefetch + i, _MM_HINT_T1);
            __m256i next_lo, next_hi;
            row_sums(below + i, next_lo, next_hi);
            store16(below_sums + i, next_lo);
            store16(below_sums + i + 16, next_hi);
            const __m256i lo = _mm256_add_epi16(_mm256_add_epi16(load16(above + i), next_lo),
                                                _mm256_slli_epi16(load16(centre + i), 1));
            const __m256i hi = _mm256_add_epi16(_mm256_add_epi16(load16(above + i + 16), next_hi),
                                                _mm256_slli_epi16(load16(centre + i + 16), 1));
            const __m256i bytes = _mm256_packus_epi16(round_sixteenth(lo), round_sixteenth(hi));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
        });
    blur_next_row_scalar(below, above, centre, below_sums, out, tail, 3 * (dim_x - 1));
}

}  // namespace orvessa::filters
