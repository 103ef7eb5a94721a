// s / 16 rounded half to even in 16-bit lanes with SSE2 only, shared by the
// SSE2 blur and the identities test that proves it for every sum.
// (s + 7 + bit 4 of s) / 16, as blur_byte: the bit comes as a 0 / -1 mask
// from a compare and the division as a high multiply by 2^12, so the
// shift units, which the row sums' unpacks keep busy, are not needed.
#pragma once

#include <emmintrin.h>

#include "filters/simd_blocks.hpp"

namespace orvessa::filters {
namespace {

ORVESSA_VECTOR_INLINE __m128i round_sixteenth_sse2(__m128i s) {
    const __m128i bit4 = _mm_set1_epi16(16);
    const __m128i odd = _mm_cmpeq_epi16(_mm_and_si128(s, bit4), bit4);  // 0 or -1
    const __m128i biased = _mm_sub_epi16(_mm_add_epi16(s, _mm_set1_epi16(7)), odd);
    return _mm_mulhi_epu16(biased, _mm_set1_epi16(1 << 12));
}

}  // namespace
}  // namespace orvessa::filters
