// The smoothing over prepared rows, 32 bytes at a time (AVX-512BW). The
// same steps as the AVX2 kernel, whose comments explain them.
// GCC 12's AVX-512 intrinsics seed results with deliberately undefined
// registers, which its own warnings then flag.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "filters/median_cut.hpp"
#include "filters/median_cut_prepared.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m512i widen(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// 16 blended values in 32-bit lanes from 8 Sum, 128 (own - blur) and M,
// all in 32-bit lanes.
ORVESSA_VECTOR_INLINE __m512i blend16(__m512i sum8, __m512i own8, __m512i spread) {
    const __m512 m = _mm512_cvtepi32_ps(spread);
    const __m512 mix =
        _mm512_div_ps(_mm512_div_ps(m, _mm512_set1_ps(36.0f)), _mm512_set1_ps(85.0f));
    const __m512 blended = _mm512_fmadd_ps(mix, _mm512_cvtepi32_ps(own8), _mm512_cvtepi32_ps(sum8));
    return _mm512_cvtps_epi32(_mm512_mul_ps(blended, _mm512_set1_ps(1.0f / 128)));
}

// The integer part for 32 bytes: 8 Sum, 128 (own - blur), M.
struct Spread32 {
    __m512i sum8, own, spread;
    std::int32_t i;
};

// The integer part for the 32 bytes from i; prepares the row below there.
ORVESSA_VECTOR_INLINE Spread32 spread32(const std::uint8_t* below, const PreparedRows& p,
                                        std::int32_t i) {
    const __m512i left = widen(below + i - 3), mid = widen(below + i), right = widen(below + i + 3);
    const __m512i below_sum =
        _mm512_add_epi16(_mm512_add_epi16(left, right), _mm512_slli_epi16(mid, 1));
    const __m512i mid_scaled = _mm512_slli_epi16(mid, 7);
    _mm512_storeu_si512(p.below_sums + i, below_sum);
    _mm512_storeu_si512(p.below_scaled + i, mid_scaled);
    const __m512i sum =
        _mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(p.above_sums + i), below_sum),
                         _mm512_slli_epi16(_mm512_loadu_si512(p.centre_sums + i), 1));
    const __m512i sum8 = _mm512_slli_epi16(sum, 3);
    const __m512i cells[9] = {_mm512_loadu_si512(p.above_scaled + i - 3),
                              _mm512_loadu_si512(p.above_scaled + i),
                              _mm512_loadu_si512(p.above_scaled + i + 3),
                              _mm512_loadu_si512(p.centre_scaled + i - 3),
                              _mm512_loadu_si512(p.centre_scaled + i),
                              _mm512_loadu_si512(p.centre_scaled + i + 3),
                              _mm512_slli_epi16(left, 7),
                              mid_scaled,
                              _mm512_slli_epi16(right, 7)};
    __m512i m = _mm512_setzero_si512();
    for (const __m512i& cell : cells) {
        const __m512i x = _mm512_sub_epi16(cell, sum8);
        m = _mm512_adds_epu16(m, _mm512_mulhrs_epi16(x, _mm512_adds_epi16(x, x)));
    }
    const __m512i spread = _mm512_min_epu16(m, _mm512_set1_epi16(full_mix_spread));
    return {sum8, _mm512_sub_epi16(cells[4], sum8), spread, i};
}

// The 32 output bytes.
ORVESSA_VECTOR_INLINE __m256i smooth32(const Spread32& s) {
    const __m512i sum8 = s.sum8, own = s.own, spread = s.spread;
    // Where every M reaches full_mix_spread each byte keeps its own value,
    // and where every M is 0 each byte is the blur's: no division needed.
    if (_mm512_cmpeq_epi16_mask(spread, _mm512_set1_epi16(full_mix_spread)) == 0xFFFFFFFFu) {
        return _mm512_cvtepi16_epi8(_mm512_srli_epi16(_mm512_add_epi16(own, sum8), 7));
    }
    if (_mm512_test_epi16_mask(spread, spread) == 0) {
        const __m512i sum = _mm512_srli_epi16(sum8, 3);
        const __m512i odd = _mm512_and_si512(_mm512_srli_epi16(sum, 4), _mm512_set1_epi16(1));
        return _mm512_cvtepi16_epi8(_mm512_srli_epi16(
            _mm512_add_epi16(_mm512_add_epi16(sum, _mm512_set1_epi16(7)), odd), 4));
    }
    // Widening within 128-bit lanes permutes the 32 lanes; packing undoes it.
    const __m512i zero = _mm512_setzero_si512(), sign = _mm512_srai_epi16(own, 15);
    const __m512i lo = blend16(_mm512_unpacklo_epi16(sum8, zero), _mm512_unpacklo_epi16(own, sign),
                               _mm512_unpacklo_epi16(spread, zero));
    const __m512i hi = blend16(_mm512_unpackhi_epi16(sum8, zero), _mm512_unpackhi_epi16(own, sign),
                               _mm512_unpackhi_epi16(spread, zero));
    return _mm512_cvtepi16_epi8(_mm512_packs_epi32(lo, hi));  // 0..255 already
}

}  // namespace

void median_cut_next_row_avx512(const std::uint8_t* below, const std::uint8_t* ahead,
                                const std::uint16_t* above, const std::uint16_t* centre,
                                std::uint16_t* below_prepared, std::uint8_t* out,
                                std::int32_t dim_x) {
    const PreparedRows p(above, centre, below_prepared, dim_x);
    scale_row_ends(below, p);
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    // The integer part of a block runs beside the float part of the block
    // before it, so that the long divisions overlap other work.
    const bool done = for_each_block_pipelined<32>(
        dim_x,
        [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            _mm_prefetch(prefetch + i, _MM_HINT_T1);
            return spread32(below, p, i);
        },
        [&](const Spread32& s) ORVESSA_VECTOR_LAMBDA {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + s.i), smooth32(s));
        });
    if (!done) median_cut_next_row_scalar(below, p, out, 3, 3 * (dim_x - 1));
}

}  // namespace orvessa::filters
