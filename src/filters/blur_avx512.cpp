// The blur over prepared rows, 64 bytes at a time in 16-bit lanes (AVX-512BW).
// GCC 12's AVX-512 intrinsics seed results with deliberately undefined
// registers, which its own warnings then flag.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "filters/blur.hpp"
#include "filters/blur_sums.hpp"
#include "filters/simd_blocks.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

ORVESSA_VECTOR_INLINE __m512i widen(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// The [1 2 1] sums of one row at the 32 bytes from p.
ORVESSA_VECTOR_INLINE __m512i row_sums(const std::uint8_t* p) {
    return _mm512_add_epi16(_mm512_add_epi16(widen(p - 3), widen(p + 3)),
                            _mm512_slli_epi16(widen(p), 1));
}

// (s + 7 + ((s >> 4) & 1)) >> 4: s / 16 rounded half to even.
ORVESSA_VECTOR_INLINE __m512i round_sixteenth(__m512i s) {
    const __m512i odd = _mm512_and_si512(_mm512_srli_epi16(s, 4), _mm512_set1_epi16(1));
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(s, _mm512_set1_epi16(7)), odd), 4);
}

// The step over prepared rows for the 32 bytes from i, in 16-bit lanes.
ORVESSA_VECTOR_INLINE __m512i next32(const std::uint8_t* below, const std::uint16_t* above,
                                     const std::uint16_t* centre, std::uint16_t* below_sums) {
    const __m512i next = row_sums(below);
    const __m512i s = _mm512_add_epi16(_mm512_add_epi16(_mm512_loadu_si512(above), next),
                                       _mm512_slli_epi16(_mm512_loadu_si512(centre), 1));
    _mm512_storeu_si512(below_sums, next);
    return round_sixteenth(s);
}

// packus interleaves the 128-bit lanes; this puts them back in order.
ORVESSA_VECTOR_INLINE __m512i pack_in_order(__m512i lo, __m512i hi) {
    return _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7),
                                    _mm512_packus_epi16(lo, hi));
}

}  // namespace

void blur_next_row_avx512(const std::uint8_t* below, const std::uint8_t* ahead,
                          const std::uint16_t* above, const std::uint16_t* centre,
                          std::uint16_t* below_sums, std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    const char* const prefetch = reinterpret_cast<const char*>(ahead != nullptr ? ahead : below);
    std::int32_t i = 3;
    for (; i + 64 <= end; i += 64) {
        _mm_prefetch(prefetch + i, _MM_HINT_T1);
        const __m512i lo = next32(below + i, above + i, centre + i, below_sums + i);
        const __m512i hi =
            next32(below + i + 32, above + i + 32, centre + i + 32, below_sums + i + 32);
        _mm512_storeu_si512(out + i, pack_in_order(lo, hi));
    }
    blur_next_row_scalar(below, above, centre, below_sums, out, i, end);
}

}  // namespace orvessa::filters
