// The blur over prepared rows, 32 bytes at a time in 16-bit lanes (AVX2).
#include <immintrin.h>

#include "filters/blur.hpp"
#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m256i widen(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The [1 2 1] sums of one row at the 16 bytes from p.
ORVESSA_VECTOR_INLINE __m256i row_sums(const std::uint8_t* p) {
    return _mm256_add_epi16(_mm256_add_epi16(widen(p - 3), widen(p + 3)),
                            _mm256_slli_epi16(widen(p), 1));
}

// (s + 7 + ((s >> 4) & 1)) >> 4: s / 16 rounded half to even.
ORVESSA_VECTOR_INLINE __m256i round_sixteenth(__m256i s) {
    const __m256i odd = _mm256_and_si256(_mm256_srli_epi16(s, 4), _mm256_set1_epi16(1));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(7)), odd), 4);
}

// The step over prepared rows for the 16 bytes from i, in 16-bit lanes.
ORVESSA_VECTOR_INLINE __m256i next16(const std::uint8_t* below, const std::uint16_t* above,
                                     const std::uint16_t* centre, std::uint16_t* below_sums) {
    const __m256i next = row_sums(below);
    const __m256i s = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(above)), next),
        _mm256_slli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(centre)), 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(below_sums), next);
    return round_sixteenth(s);
}

}  // namespace

void blur_next_row_avx2(const std::uint8_t* below, const std::uint8_t* ahead,
                        const std::uint16_t* above, const std::uint16_t* centre,
                        std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    std::int32_t i = 3;
    for (; i + 32 <= end; i += 32) {
        _mm_prefetch(prefetch + i, _MM_HINT_T1);
        const __m256i lo = next16(below + i, above + i, centre + i, below_sums + i);
        const __m256i hi =
            next16(below + i + 16, above + i + 16, centre + i + 16, below_sums + i + 16);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
    }
    blur_next_row_scalar(below, above, centre, below_sums, out, i, end);
}

}  // namespace orvessa::filters
