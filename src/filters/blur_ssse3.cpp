// The blur over prepared rows, 16 bytes at a time in 16-bit lanes (SSSE3):
// the AVX2 step on 128 bits. Its row sums come out in plain byte order, as
// blur_row_sums prepares them, so the SSE2 path's preparation serves.
#include <tmmintrin.h>

#include "filters/blur_sse.hpp"
#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

using blur_sse::load;

// The [1 2 1] sums of one row at the 16 bytes from p, low and high halves:
// left + 2 centre from one multiply-add of interleaved bytes, plus right.
ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m128i& lo, __m128i& hi) {
    const __m128i left = load(p - 3), mid = load(p), right = load(p + 3);
    const __m128i zero = _mm_setzero_si128(), weights = _mm_set1_epi16(0x0201);
    lo = _mm_add_epi16(_mm_maddubs_epi16(_mm_unpacklo_epi8(left, mid), weights),
                       _mm_unpacklo_epi8(right, zero));
    hi = _mm_add_epi16(_mm_maddubs_epi16(_mm_unpackhi_epi8(left, mid), weights),
                       _mm_unpackhi_epi8(right, zero));
}

// s / 16 rounded half to even: (s + 8) >> 4 rounds half up, and a half
// goes down instead exactly when s is 8 more than a multiple of 32.
ORVESSA_VECTOR_INLINE __m128i round_sixteenth(__m128i s) {
    const __m128i half_up = _mm_mulhrs_epi16(s, _mm_set1_epi16(2048));
    const __m128i tie_down =
        _mm_cmpeq_epi16(_mm_and_si128(s, _mm_set1_epi16(31)), _mm_set1_epi16(8));
    return _mm_add_epi16(half_up, tie_down);  // tie_down is -1 or 0
}

struct Ssse3Arith {
    static ORVESSA_VECTOR_INLINE void row_sums(const std::uint8_t* p, __m128i& lo, __m128i& hi) {
        filters::row_sums(p, lo, hi);
    }
    static ORVESSA_VECTOR_INLINE __m128i round(__m128i s) { return round_sixteenth(s); }
};

}  // namespace

void blur_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                         const std::uint16_t* above, const std::uint16_t* centre,
                         std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    blur_sse::next_row<Ssse3Arith>(below, ahead, above, centre, below_sums, out, dim_x);
}

}  // namespace orvessa::filters
