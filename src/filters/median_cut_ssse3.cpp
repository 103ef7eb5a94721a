// The smoothing over prepared rows with SSSE3 (median_cut_sse.hpp): one
// rounding high multiply per spread term instead of two multiplies.
#include <tmmintrin.h>

#include "filters/median_cut_sse.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

// mulhrs(x, 2x) rounds 2x^2 / 2^15 = d^2 / 256 half up, exactly, while 2x
// fits 16 bits; where 2x saturates the term is far above full_mix_spread.
// x and 2x share their sign, so no term is negative, and the terms add with
// signed saturation.
struct RoundingMultiplyTerms {
    using State = __m128i;
    static ORVESSA_VECTOR_INLINE State first(__m128i x) {
        return _mm_mulhrs_epi16(x, _mm_adds_epi16(x, x));
    }
    static ORVESSA_VECTOR_INLINE void add(State& m, __m128i x) { m = _mm_adds_epi16(m, first(x)); }
    static ORVESSA_VECTOR_INLINE void join(State& m, State t) { m = _mm_adds_epi16(m, t); }
    static ORVESSA_VECTOR_INLINE __m128i spread(State m) {
        return _mm_min_epi16(m, _mm_set1_epi16(full_mix_spread));
    }
};

}  // namespace

void median_cut_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                               const std::uint16_t* above, const std::uint16_t* centre,
                               std::uint16_t* below_prepared, std::uint8_t* out,
                               std::int32_t dim_x) {
    sse::next_row<RoundingMultiplyTerms>(below, ahead, above, centre, below_prepared, out, dim_x);
}

}  // namespace orvessa::filters
