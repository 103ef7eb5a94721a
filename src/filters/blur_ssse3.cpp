// The blur over prepared rows, 16 bytes at a time in 16-bit lanes (SSSE3):
// the AVX2 step on 128 bits. Its row sums come out in plain byte order, as
// blur_row_sums prepares them, so the SSE2 path's preparation serves.
#include <tmmintrin.h>

#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

ORVESSA_VECTOR_INLINE void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

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

}  // namespace

void blur_next_row_ssse3(const std::uint8_t* below, const std::uint8_t* ahead,
                         const std::uint16_t* above, const std::uint16_t* centre,
                         std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    auto block = [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
        __m128i next_lo, next_hi;
        row_sums(below + i, next_lo, next_hi);
        store(below_sums + i, next_lo);
        store(below_sums + i + 8, next_hi);
        const __m128i c_lo = load(centre + i), c_hi = load(centre + i + 8);
        const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c_lo, c_lo), next_lo),
                                         load(above + i));
        const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c_hi, c_hi), next_hi),
                                         load(above + i + 8));
        store(out + i, _mm_packus_epi16(round_sixteenth(lo), round_sixteenth(hi)));
    };
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    std::int32_t i = 3;
    for (; i + 64 <= end; i += 64) {  // one prefetch per cache line
        _mm_prefetch(prefetch + i, _MM_HINT_T1);
        block(i), block(i + 16), block(i + 32), block(i + 48);
    }
    for (; i + 16 <= end; i += 16) block(i);
    blur_next_row_scalar(below, above, centre, below_sums, out, i, end);
}

}  // namespace orvessa::filters
