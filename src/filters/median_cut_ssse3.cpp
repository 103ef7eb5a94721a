// The smoothing over prepared rows with SSSE3 (median_cut_sse.hpp): one
// rounding high multiply per spread term instead of two multiplies.
#include <tmmintrin.h>

#include "filters/median_cut_sse.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

struct Mulhrs {
    static ORVESSA_VECTOR_INLINE __m128i high(__m128i a, __m128i b) { return _mm_mulhrs_epi16(a, b); }
};

}  // namespace

void median_cut_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                               const std::uint16_t* above, const std::uint16_t* centre,
                               std::uint16_t* below_prepared, std::uint8_t* out,
                               std::int32_t dim_x) {
    sse::next_row<sse::RoundingMultiplyTerms<Mulhrs>>(below, ahead, above, centre, below_prepared, out, dim_x);
}

}  // namespace orvessa::filters
