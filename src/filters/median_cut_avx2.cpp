// The smoothing over prepared rows, 32 bytes at a time (AVX2 and FMA).
// Integer work in 16-bit lanes, the blend in single precision.
#include <immintrin.h>

#include "filters/median_cut.hpp"
#include "filters/median_cut_prepared.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m256i widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

ORVESSA_VECTOR_INLINE __m256i load16(const std::uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

ORVESSA_VECTOR_INLINE void store16(std::uint16_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// 8 blended bytes in 32-bit lanes, rounded half to even (the rounding
// mode), from 8 Sum = 128 blur, 128 (own - blur) and M in 32-bit lanes.
// Two divisions give mix_factors[M] for every M up to full_mix_spread.
// mix * own + (1 - mix) * blur is exact in double, so its one rounding to
// float is what one fused multiply-add gives; scaling everything by 128 is
// exact as well.
ORVESSA_VECTOR_INLINE __m256i blend8(__m256i sum8, __m256i own8, __m256i spread) {
    const __m256 m = _mm256_cvtepi32_ps(spread);
    const __m256 mix =
        _mm256_div_ps(_mm256_div_ps(m, _mm256_set1_ps(36.0f)), _mm256_set1_ps(85.0f));
    const __m256 blended = _mm256_fmadd_ps(mix, _mm256_cvtepi32_ps(own8), _mm256_cvtepi32_ps(sum8));
    return _mm256_cvtps_epi32(_mm256_mul_ps(blended, _mm256_set1_ps(1.0f / 128)));
}

// The integer part for 16 bytes: 8 Sum, 128 (own - blur), M.
struct Spread16 {
    __m256i sum8, own, spread;
};

// The integer part for the 16 bytes from i; prepares the row below there.
ORVESSA_VECTOR_INLINE Spread16 spread16(const std::uint8_t* below, const PreparedRows& p,
                                        std::int32_t i) {
    const __m256i left = widen(below + i - 3), mid = widen(below + i), right = widen(below + i + 3);
    const __m256i below_sum =
        _mm256_add_epi16(_mm256_add_epi16(left, right), _mm256_slli_epi16(mid, 1));
    const __m256i mid_scaled = _mm256_slli_epi16(mid, 7);
    store16(p.below_sums + i, below_sum);
    store16(p.below_scaled + i, mid_scaled);
    const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(load16(p.above_sums + i), below_sum),
                                         _mm256_slli_epi16(load16(p.centre_sums + i), 1));
    // x = 128 cell - 8 Sum = 8d (d = 16 cell - Sum) fits 16 bits; mulhrs(x,
    // 2x) rounds 2x^2 / 2^15 = d^2 / 256 half up, exactly, while 2x fits.
    // Where 2x saturates the term is far above full_mix_spread, and so is M.
    const __m256i sum8 = _mm256_slli_epi16(sum, 3);
    const __m256i cells[9] = {load16(p.above_scaled + i - 3), load16(p.above_scaled + i),
                              load16(p.above_scaled + i + 3), load16(p.centre_scaled + i - 3),
                              load16(p.centre_scaled + i),    load16(p.centre_scaled + i + 3),
                              _mm256_slli_epi16(left, 7),     mid_scaled,
                              _mm256_slli_epi16(right, 7)};
    __m256i m = _mm256_setzero_si256();
    for (const __m256i& cell : cells) {
        const __m256i x = _mm256_sub_epi16(cell, sum8);
        m = _mm256_adds_epu16(m, _mm256_mulhrs_epi16(x, _mm256_adds_epi16(x, x)));
    }
    // M = full_mix_spread gives the mix factor 1 exactly, as any larger M does.
    const __m256i spread = _mm256_min_epu16(m, _mm256_set1_epi16(full_mix_spread));
    return {sum8, _mm256_sub_epi16(cells[4], sum8), spread};
}

// The 16 output bytes, in 16-bit lanes.
ORVESSA_VECTOR_INLINE __m256i smooth16(const Spread16& s) {
    const __m256i sum8 = s.sum8, own = s.own, spread = s.spread;
    // Where every M reaches full_mix_spread each byte keeps its own value,
    // and where every M is 0 each byte is the blur's: no division needed.
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(spread, _mm256_set1_epi16(full_mix_spread))) ==
        -1) {
        return _mm256_srli_epi16(_mm256_add_epi16(own, sum8), 7);
    }
    if (_mm256_testz_si256(spread, spread)) {
        const __m256i sum = _mm256_srli_epi16(sum8, 3);
        const __m256i odd = _mm256_and_si256(_mm256_srli_epi16(sum, 4), _mm256_set1_epi16(1));
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(7)), odd),
                                 4);
    }
    // Widening within 128-bit lanes permutes the 16 lanes; packing undoes it.
    const __m256i zero = _mm256_setzero_si256(), sign = _mm256_srai_epi16(own, 15);
    const __m256i lo = blend8(_mm256_unpacklo_epi16(sum8, zero), _mm256_unpacklo_epi16(own, sign),
                              _mm256_unpacklo_epi16(spread, zero));
    const __m256i hi = blend8(_mm256_unpackhi_epi16(sum8, zero), _mm256_unpackhi_epi16(own, sign),
                              _mm256_unpackhi_epi16(spread, zero));
    return _mm256_packs_epi32(lo, hi);
}

}  // namespace

void median_cut_next_row_avx2(const std::uint8_t* below, const std::uint8_t* ahead,
                              const std::uint16_t* above, const std::uint16_t* centre,
                              std::uint16_t* below_prepared, std::uint8_t* out,
                              std::int32_t dim_x) {
    const PreparedRows p(above, centre, below_prepared, dim_x);
    scale_row_ends(below, p);
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    struct Block {
        Spread16 lo, hi;
        std::int32_t i;
    };
    // The integer part of a block runs beside the float part of the block
    // before it, so that the long divisions overlap other work.
    const bool done = for_each_block_pipelined<32>(
        dim_x,
        [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            _mm_prefetch(prefetch + i, _MM_HINT_T1);
            return Block{spread16(below, p, i), spread16(below, p, i + 16), i};
        },
        [&](const Block& b) ORVESSA_VECTOR_LAMBDA {
            const __m256i packed = _mm256_packus_epi16(smooth16(b.lo), smooth16(b.hi));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b.i),
                                _mm256_permute4x64_epi64(packed, 0xD8));
        });
    if (!done) median_cut_next_row_scalar(below, p, out, 3, 3 * (dim_x - 1));
}

}  // namespace orvessa::filters
