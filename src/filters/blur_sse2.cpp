// The blur over prepared rows, 16 bytes at a time in 16-bit lanes (SSE2).
#include <emmintrin.h>

#include "filters/blur_round_sse2.hpp"
#include "filters/blur_sse.hpp"
#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

using blur_sse::load;

// The [1 2 1] sums of one row at the 16 bytes from p, low and high halves.
ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m128i& lo, __m128i& hi) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i l = load(p - 3), m = load(p), r = load(p + 3);
    const __m128i m_lo = _mm_unpacklo_epi8(m, zero), m_hi = _mm_unpackhi_epi8(m, zero);
    lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                       _mm_add_epi16(m_lo, m_lo));
    hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                       _mm_add_epi16(m_hi, m_hi));
}

struct Sse2Arith {
    static ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m128i& lo, __m128i& hi) {
        filters::row_sums(p, lo, hi);
    }
    static ORVESSA_VECTOR_INLINE __m128i round(__m128i s) { return round_sixteenth_sse2(s); }
};

}  // namespace

void blur_next_row_sse2(const std::uint8_t* below, const std::uint8_t* ahead,
                        const std::uint16_t* above, const std::uint16_t* centre,
                        std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    blur_sse::next_row<Sse2Arith>(below, ahead, above, centre, below_sums, out, dim_x);
}

}  // namespace orvessa::filters
