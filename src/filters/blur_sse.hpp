// The blur's step over prepared rows, 16 bytes at a time in 16-bit lanes,
// shared by the SSE2 and SSSE3 kernel files. Each file supplies `Arith`:
// row_sums(p, lo, hi), the [1 2 1] sums of one row at the 16 bytes from p,
// and round(s), s / 16 rounded half to even; everything else needs SSE2
// only. Internal linkage, like the other pieces the kernel files compile
// with their own flags.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"

namespace orvessa::filters {
namespace {

namespace blur_sse {

ORVESSA_VECTOR_INLINE __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

ORVESSA_VECTOR_INLINE void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

template <typename Arith>
ORVESSA_VECTOR_INLINE void next_row(const std::uint8_t* below, const std::uint8_t* ahead,
                                    const std::uint16_t* above, const std::uint16_t* centre,
                                    std::uint16_t* below_sums, std::uint8_t* out,
                                    std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    auto block = [&](std::int32_t i) ORVESSA_VECTOR_LAMBDA {
        __m128i next_lo, next_hi;
        Arith::row_sums(below + i, next_lo, next_hi);
        store(below_sums + i, next_lo);
        store(below_sums + i + 8, next_hi);
        // Twice the centre by an add, which every vector unit can do, unlike a shift.
        const __m128i c_lo = load(centre + i), c_hi = load(centre + i + 8);
        const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c_lo, c_lo), next_lo),
                                         load(above + i));
        const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c_hi, c_hi), next_hi),
                                         load(above + i + 8));
        store(out + i, _mm_packus_epi16(Arith::round(lo), Arith::round(hi)));
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

}  // namespace blur_sse

}  // namespace
}  // namespace orvessa::filters
