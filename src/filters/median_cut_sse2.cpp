// The smoothing with SSE2 only: over prepared rows (median_cut_sse.hpp),
// and a row kernel, 16 bytes at a time, for when those cannot be had. Its
// integer work is in 16-bit lanes; without a fused multiply-add its blend
// runs in double, where it is exact, and is rounded to float once.
#include <emmintrin.h>

#include "filters/median_cut.hpp"
#include "filters/median_cut_sse.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m128i widen(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

// Sum and the spread sum M (limited to full_mix_spread) of the 8 bytes from i.
ORVESSA_VECTOR_INLINE void sum_and_spread(const std::uint8_t* a, const std::uint8_t* c,
                                          const std::uint8_t* b, __m128i& sum, __m128i& spread) {
    const __m128i cells[9] = {widen(a - 3), widen(a),     widen(a + 3), widen(c - 3), widen(c),
                              widen(c + 3), widen(b - 3), widen(b),     widen(b + 3)};
    const __m128i corners =
        _mm_add_epi16(_mm_add_epi16(cells[0], cells[2]), _mm_add_epi16(cells[6], cells[8]));
    const __m128i edges =
        _mm_add_epi16(_mm_add_epi16(cells[1], cells[3]), _mm_add_epi16(cells[5], cells[7]));
    sum = _mm_add_epi16(_mm_add_epi16(corners, _mm_slli_epi16(edges, 1)),
                        _mm_slli_epi16(cells[4], 2));
    // With x = 8d (d = 16 cell - Sum), x^2 = 64 d^2 = hi * 2^16 + lo and
    // (d^2 + 128) >> 8 = (x^2 + 2^13) >> 14 = 4 hi + ((lo >> 13) + 1) >> 1,
    // at most 65025: no lane overflows.
    const __m128i sum8 = _mm_slli_epi16(sum, 3);
    const __m128i one = _mm_set1_epi16(1);
    __m128i m = _mm_setzero_si128();
    for (const __m128i& cell : cells) {
        const __m128i x = _mm_sub_epi16(_mm_slli_epi16(cell, 7), sum8);
        const __m128i hi = _mm_mulhi_epi16(x, x);
        const __m128i lo = _mm_mullo_epi16(x, x);
        const __m128i low_part = _mm_srli_epi16(_mm_add_epi16(_mm_srli_epi16(lo, 13), one), 1);
        m = _mm_adds_epu16(m, _mm_add_epi16(_mm_slli_epi16(hi, 2), low_part));
    }
    // min(M, full_mix_spread); that limit gives the mix factor 1 exactly.
    spread = _mm_sub_epi16(m, _mm_subs_epu16(m, _mm_set1_epi16(full_mix_spread)));
}

// mix * own + (1 - mix) * blur for 2 bytes, exact in double, as float.
ORVESSA_VECTOR_INLINE __m128 blend2(__m128 mix, __m128 own, __m128 blur) {
    const __m128d mix_d = _mm_cvtps_pd(mix), own_d = _mm_cvtps_pd(own), blur_d = _mm_cvtps_pd(blur);
    return _mm_cvtpd_ps(_mm_add_pd(blur_d, _mm_mul_pd(mix_d, _mm_sub_pd(own_d, blur_d))));
}

// The blended values of 4 bytes (32-bit lanes), rounded half to even (the rounding mode).
ORVESSA_VECTOR_INLINE __m128i blend4(__m128i sum, __m128i spread, __m128i own) {
    const __m128 mix =
        _mm_div_ps(_mm_div_ps(_mm_cvtepi32_ps(spread), _mm_set1_ps(36.0f)), _mm_set1_ps(85.0f));
    const __m128 blur = _mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(1.0f / 16));
    const __m128 cell = _mm_cvtepi32_ps(own);
    const __m128 low = blend2(mix, cell, blur);
    const __m128 high =
        blend2(_mm_movehl_ps(mix, mix), _mm_movehl_ps(cell, cell), _mm_movehl_ps(blur, blur));
    return _mm_cvtps_epi32(_mm_movelh_ps(low, high));
}

// 8 output bytes from i, in 16-bit lanes.
ORVESSA_VECTOR_INLINE __m128i smooth8(const std::uint8_t* a, const std::uint8_t* c,
                                      const std::uint8_t* b) {
    __m128i sum, spread;
    sum_and_spread(a, c, b, sum, spread);
    const __m128i zero = _mm_setzero_si128();
    const __m128i own = widen(c);
    const __m128i lo = blend4(_mm_unpacklo_epi16(sum, zero), _mm_unpacklo_epi16(spread, zero),
                              _mm_unpacklo_epi16(own, zero));
    const __m128i hi = blend4(_mm_unpackhi_epi16(sum, zero), _mm_unpackhi_epi16(spread, zero),
                              _mm_unpackhi_epi16(own, zero));
    return _mm_packs_epi32(lo, hi);
}

}  // namespace

void median_cut_row_sse2(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b,
                         std::uint8_t* out, std::int32_t dim_x) {
    const bool done = for_each_block<16>(dim_x, [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
        const __m128i lo = smooth8(a + i, c + i, b + i);
        const __m128i hi = smooth8(a + i + 8, c + i + 8, b + i + 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    });
    if (!done) median_cut_row_scalar(a, c, b, out, dim_x);
}

void median_cut_next_row_sse2(const std::uint8_t* below, const std::uint8_t* ahead,
                              const std::uint16_t* above, const std::uint16_t* centre,
                              std::uint16_t* below_prepared, std::uint8_t* out,
                              std::int32_t dim_x) {
    sse::next_row<sse::HighMultiplyTerms>(below, ahead, above, centre, below_prepared, out, dim_x);
}

}  // namespace orvessa::filters
