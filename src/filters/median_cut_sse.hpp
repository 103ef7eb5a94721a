// The smoothing over prepared rows (median_cut_prepared.hpp), 8 bytes at a
// time in 128-bit vectors, shared by the SSE2 and SSSE3 kernel files. Each
// file supplies how one spread term is squared (`Terms`); everything else
// needs SSE2 only. Internal linkage, like the other pieces the kernel files
// compile with their own flags.
//
// The blend needs no division and no double: with the mix factor taken as
// M / 3060, Y = M * (16 own - Sum) + 3060 * (Sum + 8) is an exact integer
// (one multiply-add of 16-bit pairs, the constant added after scaling) and
// Y / 48960 is the blended value plus one half. The defined mix factor differs from M / 3060 by at
// most two float roundings, so Y / 48960 lies within 2^-12 of the defined value plus one half. Its
// floor is therefore the defined byte unless the value lies near a half-way point; such lanes are
// flagged and their 8 bytes are redone exactly (median_cut_blend). Where M is 0 the value is Sum /
// 16 itself: a half there is a true tie, which goes to the even byte without a flag. The identities
// test proves this for every M, own byte and Sum.
#pragma once

#include <emmintrin.h>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <cstdint>

#include "filters/median_cut.hpp"
#include "filters/median_cut_prepared.hpp"
#include "filters/simd_blocks.hpp"

namespace orvessa::filters {
namespace {

namespace sse {

ORVESSA_VECTOR_INLINE __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

ORVESSA_VECTOR_INLINE void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

// z = (Y / 48960) * 2^16, rounded, lies within `blend_margin` / 2 of the
// exact value; a lane is flagged when z + blend_margin is within
// 2 * blend_margin above a multiple of 2^16 (a half-way point).
constexpr std::int32_t blend_margin = 16;

// Floats to the nearest 32-bit integers, ties to even (all in range here).
// WebAssembly has it as two instructions; the SSE2 header's form of it
// there is four scalar conversions.
ORVESSA_VECTOR_INLINE __m128i nearest_int32(__m128 v) {
#ifdef __wasm_simd128__
    return (__m128i)wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_nearest((v128_t)v));
#else
    return _mm_cvtps_epi32(v);
#endif
}

// For 4 lanes (32-bit) of Y without its 3060 * 8: z + blend_margin, whose
// high half is the byte and whose low half, masked, is 0 where the lane is
// flagged.
ORVESSA_VECTOR_INLINE __m128i blend4(__m128i y) {
    const __m128 scaled = _mm_mul_ps(_mm_cvtepi32_ps(y), _mm_set1_ps(65536.0f / 48960.0f));
    return _mm_add_epi32(nearest_int32(scaled), _mm_set1_epi32(32768 + blend_margin));
}

// The bytes of 8 lanes (16-bit lanes) from Sum, D = 16 own - Sum and M
// (0 .. full_mix_spread); `flags` gets all ones where the lane is near a
// half-way point and must be redone.
ORVESSA_VECTOR_INLINE __m128i blend8(__m128i sum, __m128i d, __m128i spread, __m128i& flags) {
    const __m128i weights = _mm_set1_epi16(full_mix_spread);
    const __m128i lo =
        blend4(_mm_madd_epi16(_mm_unpacklo_epi16(spread, sum), _mm_unpacklo_epi16(d, weights)));
    const __m128i hi =
        blend4(_mm_madd_epi16(_mm_unpackhi_epi16(spread, sum), _mm_unpackhi_epi16(d, weights)));
    // M = 0: the blur's byte. A tie (Sum 8 more than a multiple of 32 goes
    // down, 24 more goes up) is exact here: no flag, and half up becomes
    // half to even.
    const __m128i flat = _mm_cmpeq_epi16(spread, _mm_setzero_si128());
    const __m128i tie_down = _mm_and_si128(
        flat, _mm_cmpeq_epi16(_mm_and_si128(sum, _mm_set1_epi16(31)), _mm_set1_epi16(8)));
    // The masked low halves, packed with saturation (what is not 0 stays so).
    const __m128i fraction = _mm_set1_epi32(0xFFFF & -(2 * blend_margin));
    const __m128i near = _mm_packs_epi32(_mm_and_si128(lo, fraction), _mm_and_si128(hi, fraction));
    flags = _mm_cmpeq_epi16(_mm_or_si128(near, flat), _mm_setzero_si128());
    const __m128i bytes = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
    return _mm_add_epi16(bytes, tie_down);  // tie_down is -1 or 0
}

// The spread terms with SSE2 only. With y = 16 d and z = 32 d (x = 8 d
// doubled, and doubled again, with signed saturation), the high half of
// y * z is floor(d^2 / 128), and half of it plus one, rounded down (an
// average with 0), is (d^2 + 128) >> 8. Where z or y saturates, |d| is
// 1024 or more and the term is at least 4095; y and z keep the sign of d,
// so no term is negative, and the terms add with signed saturation.
struct HighMultiplyTerms {
    using State = __m128i;
    static ORVESSA_VECTOR_INLINE __m128i term(__m128i x) {
        const __m128i y = _mm_adds_epi16(x, x);
        const __m128i floor_128 = _mm_mulhi_epi16(y, _mm_adds_epi16(y, y));
        return _mm_avg_epu16(floor_128, _mm_setzero_si128());
    }
    static ORVESSA_VECTOR_INLINE State first(__m128i x) { return term(x); }
    static ORVESSA_VECTOR_INLINE void add(State& m, __m128i x) { m = _mm_adds_epi16(m, term(x)); }
    static ORVESSA_VECTOR_INLINE void join(State& m, State t) { m = _mm_adds_epi16(m, t); }
    static ORVESSA_VECTOR_INLINE __m128i spread(State m) {
        return _mm_min_epi16(m, _mm_set1_epi16(full_mix_spread));
    }
};

// The spread terms from one rounding high multiply, (a b + 2^14) >> 15
// (`Multiply::high`: SSSE3's mulhrs, WebAssembly's q15mulr): high(x, 2x)
// rounds 2x^2 / 2^15 = d^2 / 256 half up, exactly, while 2x fits 16 bits;
// where 2x saturates the term is far above full_mix_spread. x and 2x share
// their sign (|x| < 2^15, so no product saturates), no term is negative,
// and the terms add with signed saturation.
template <typename Multiply>
struct RoundingMultiplyTerms {
    using State = __m128i;
    static ORVESSA_VECTOR_INLINE State first(__m128i x) {
        return Multiply::high(x, _mm_adds_epi16(x, x));
    }
    static ORVESSA_VECTOR_INLINE void add(State& m, __m128i x) { m = _mm_adds_epi16(m, first(x)); }
    static ORVESSA_VECTOR_INLINE void join(State& m, State t) { m = _mm_adds_epi16(m, t); }
    static ORVESSA_VECTOR_INLINE __m128i spread(State m) {
        return _mm_min_epi16(m, _mm_set1_epi16(full_mix_spread));
    }
};

// The integer part of 8 bytes: Sum, D = 16 own - Sum, M (at most full_mix_spread).
struct Spread8 {
    __m128i sum, d, spread;
};

// `Terms` gives, for x = 128 cell - 8 Sum (= 8 d, d = 16 cell - Sum), a
// state that `add` folds each cell's rounded d^2 / 256 into, `join` adds
// to another, and `spread` turns into M, limited to full_mix_spread.
template <typename Terms>
ORVESSA_VECTOR_INLINE Spread8 spread8(__m128i left, __m128i mid, __m128i right,
                                      const PreparedRows& p, std::int32_t i) {
    const __m128i below_sum = _mm_add_epi16(_mm_add_epi16(left, right), _mm_slli_epi16(mid, 1));
    const __m128i mid_scaled = _mm_slli_epi16(mid, 7);
    store(p.below_sums + i, below_sum);
    store(p.below_scaled + i, mid_scaled);
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(load(p.above_sums + i), below_sum),
                                      _mm_slli_epi16(load(p.centre_sums + i), 1));
    const __m128i sum8 = _mm_slli_epi16(sum, 3);
    const __m128i own = _mm_sub_epi16(load(p.centre_scaled + i), sum8);
    // One chain per row, joined at the end: shorter dependencies.
    typename Terms::State state = Terms::first(_mm_sub_epi16(load(p.above_scaled + i - 3), sum8));
    Terms::add(state, _mm_sub_epi16(load(p.above_scaled + i), sum8));
    Terms::add(state, _mm_sub_epi16(load(p.above_scaled + i + 3), sum8));
    typename Terms::State centre = Terms::first(_mm_sub_epi16(load(p.centre_scaled + i - 3), sum8));
    Terms::add(centre, own);
    Terms::add(centre, _mm_sub_epi16(load(p.centre_scaled + i + 3), sum8));
    typename Terms::State lower = Terms::first(_mm_sub_epi16(_mm_slli_epi16(left, 7), sum8));
    Terms::add(lower, _mm_sub_epi16(mid_scaled, sum8));
    Terms::add(lower, _mm_sub_epi16(_mm_slli_epi16(right, 7), sum8));
    Terms::join(centre, lower);
    Terms::join(state, centre);
    return {sum, _mm_srai_epi16(own, 3), Terms::spread(state)};
}

// Lanes near a half-way point are rare: the 8 bytes are redone one at a time.
inline void blend_exactly(const Spread8& s, std::uint8_t* out) {
    alignas(16) std::int16_t sums[8], ds[8], spreads[8];
    store(sums, s.sum);
    store(ds, s.d);
    store(spreads, s.spread);
    for (int k = 0; k < 8; ++k) {
        const auto own = static_cast<unsigned>((ds[k] + sums[k]) >> 4);
        out[k] = median_cut_blend(spreads[k], own, static_cast<unsigned>(sums[k]));
    }
}

ORVESSA_VECTOR_INLINE __m128i widen(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

// One step of the walk over prepared rows.
template <typename Terms>
ORVESSA_VECTOR_INLINE void next_row(const std::uint8_t* below, const std::uint8_t* ahead,
                                    const std::uint16_t* above, const std::uint16_t* centre,
                                    std::uint16_t* below_prepared, std::uint8_t* out,
                                    std::int32_t dim_x) {
    const PreparedRows p(above, centre, below_prepared, dim_x);
    scale_row_ends(below, p);
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    // The integer part of 8 bytes runs beside the blend of the 8 before
    // them: each alone is a long chain of dependent steps.
    struct Half {
        Spread8 s;
        std::int32_t i;
    };
    const bool done = for_each_block_pipelined<8>(
        dim_x,
        [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
            if ((i & 15) == 3) _mm_prefetch(prefetch + i, _MM_HINT_T1);
            return Half{
                spread8<Terms>(widen(below + i - 3), widen(below + i), widen(below + i + 3), p, i),
                i};
        },
        [&](const Half& h) ORVESSA_VECTOR_LAMBDA {
            __m128i flags;
            const __m128i bytes = blend8(h.s.sum, h.s.d, h.s.spread, flags);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + h.i), _mm_packus_epi16(bytes, bytes));
            if (_mm_movemask_epi8(flags) != 0) [[unlikely]]
                blend_exactly(h.s, out + h.i);
        });
    if (!done) median_cut_next_row_scalar(below, p, out, 3, 3 * (dim_x - 1));
}

}  // namespace sse

}  // namespace
}  // namespace orvessa::filters
