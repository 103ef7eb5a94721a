// The blur, 32 bytes at a time in 16-bit lanes (AVX2).
#include <immintrin.h>

#include "filters/blur.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

__m256i widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The [1 2 1] sums of one row at the 16 bytes from p.
__m256i row_sums(const std::uint8_t* p) {
    return _mm256_add_epi16(_mm256_add_epi16(widen(p - 3), widen(p + 3)),
                            _mm256_slli_epi16(widen(p), 1));
}

// The 16 blurred bytes from i, still in 16-bit lanes.
__m256i blur16(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b) {
    const __m256i s = _mm256_add_epi16(_mm256_add_epi16(row_sums(a), row_sums(b)),
                                       _mm256_slli_epi16(row_sums(c), 1));
    // (s + 7 + ((s >> 4) & 1)) >> 4: s / 16 rounded half to even.
    const __m256i odd = _mm256_and_si256(_mm256_srli_epi16(s, 4), _mm256_set1_epi16(1));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(7)), odd), 4);
}

}  // namespace

void blur_row_avx2(const std::uint8_t* a, const std::uint8_t* c, const std::uint8_t* b,
                   std::uint8_t* out, std::int32_t dim_x) {
    const bool done = for_each_block<32>(dim_x, [&](std::int32_t i) {
        const __m256i lo = blur16(a + i, c + i, b + i);
        const __m256i hi = blur16(a + i + 16, c + i + 16, b + i + 16);
        // packus interleaves the 128-bit lanes; put them back in order.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    });
    if (!done) blur_row_sse2(a, c, b, out, dim_x);
}

}  // namespace orvessa::filters
