// The blur over prepared rows, 64 bytes at a time in 16-bit lanes
// (AVX-512BW). As in the AVX2 kernel, the row sums of whole blocks are kept
// in the order that widening within 128-bit lanes gives, which the final
// pack undoes; blur_prepare_row_avx512 prepares rows in that order.
// GCC 12's AVX-512 intrinsics seed results with deliberately undefined
// registers, which its own warnings then flag.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "filters/blur.hpp"
#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

// The [1 2 1] sums of one row at the 64 bytes from p, in two halves.
ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m512i& lo, __m512i& hi) {
    const __m512i left = _mm512_loadu_si512(p - 3), mid = _mm512_loadu_si512(p);
    const __m512i right = _mm512_loadu_si512(p + 3);
    const __m512i zero = _mm512_setzero_si512(), weights = _mm512_set1_epi16(0x0201);
    lo = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_unpacklo_epi8(left, mid), weights),
                          _mm512_unpacklo_epi8(right, zero));
    hi = _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_unpackhi_epi8(left, mid), weights),
                          _mm512_unpackhi_epi8(right, zero));
}

// s / 16 rounded half to even (see the AVX2 kernel).
ORVESSA_VECTOR_INLINE __m512i round_sixteenth(__m512i s) {
    const __m512i half_up = _mm512_mulhrs_epi16(s, _mm512_set1_epi16(2048));
    const __mmask32 tie_down =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(s, _mm512_set1_epi16(31)), _mm512_set1_epi16(8));
    return _mm512_mask_sub_epi16(half_up, tie_down, half_up, _mm512_set1_epi16(1));
}

// Whole blocks of 64 bytes from 3; returns where they stop.
template <typename Block>
ORVESSA_VECTOR_INLINE std::int32_t for_each_whole_block(std::int32_t dim_x, Block block) {
    const std::int32_t end = 3 * (dim_x - 1);
    std::int32_t i = 3;
    for (; i + 64 <= end; i += 64) block(i);
    return i;
}

}  // namespace

void blur_prepare_row_avx512(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x) {
    const std::int32_t tail =
        for_each_whole_block(dim_x, [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            __m512i lo, hi;
            row_sums(row + i, lo, hi);
            _mm512_storeu_si512(sums + i, lo);
            _mm512_storeu_si512(sums + i + 32, hi);
        });
    for (std::int32_t i = tail; i < 3 * (dim_x - 1); ++i) sums[i] = horizontal_sum(row, i);
}

void blur_next_row_avx512(const std::uint8_t* below, const std::uint8_t* ahead,
                          const std::uint16_t* above, const std::uint16_t* centre,
                          std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    const std::int32_t tail =
        for_each_whole_block(dim_x, [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            _mm_prefetch(prefetch + i, _MM_HINT_T1);
            __m512i next_lo, next_hi;
            row_sums(below + i, next_lo, next_hi);
            _mm512_storeu_si512(below_sums + i, next_lo);
            _mm512_storeu_si512(below_sums + i + 32, next_hi);
            const __m512i lo =
                _mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(above + i), next_lo),
                                 _mm512_slli_epi16(_mm512_loadu_si512(centre + i), 1));
            const __m512i hi =
                _mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(above + i + 32), next_hi),
                                 _mm512_slli_epi16(_mm512_loadu_si512(centre + i + 32), 1));
            _mm512_storeu_si512(out + i,
                                _mm512_packus_epi16(round_sixteenth(lo), round_sixteenth(hi)));
        });
    blur_next_row_scalar(below, above, centre, below_sums, out, tail, 3 * (dim_x - 1));
}

}  // namespace orvessa::filters
