// The blur, 64 bytes at a time in 16-bit lanes (AVX-512BW).
// GCC 12's AVX-512 intrinsics seed results with deliberately undefined
// registers, which its own warnings then flag.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "filters/blur.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

__m512i widen(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// The [1 2 1] sums of one row at the 32 bytes from p.
__m512i row_sums(const std::uint8_t* p) {
    return _mm512_add_epi16(_mm512_add_epi16(widen(p - 3), widen(p + 3)),
                            _mm512_slli_epi16(widen(p), 1));
}

// The 32 blurred bytes from i, still in 16-bit lanes.
__m512i blur32(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b) {
    const __m512i s = _mm512_add_epi16(_mm512_add_epi16(row_sums(a), row_sums(b)),
                                       _mm512_slli_epi16(row_sums(c), 1));
    // (s + 7 + ((s >> 4) & 1)) >> 4: s / 16 rounded half to even.
    const __m512i odd = _mm512_and_si512(_mm512_srli_epi16(s, 4), _mm512_set1_epi16(1));
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(s, _mm512_set1_epi16(7)), odd), 4);
}

}  // namespace

void blur_row_avx512(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b,
                     std::uint8_t* out, std::int32_t dim_x) {
    const bool done = for_each_block<64>(dim_x, [&](std::int32_t i) {
        const __m512i lo = blur32(a + i, c + i, b + i);
        const __m512i hi = blur32(a + i + 32, c + i + 32, b + i + 32);
        // packus interleaves the 128-bit lanes; put them back in order.
        const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
        const __m512i bytes = _mm512_permutexvar_epi64(order, _mm512_packus_epi16(lo, hi));
        _mm512_storeu_si512(out + i, bytes);
    });
    if (!done) blur_row_avx2(a, c, b, out, dim_x);
}

}  // namespace orvessa::filters
