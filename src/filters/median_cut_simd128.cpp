// The smoothing over prepared rows in WebAssembly SIMD (median_cut_sse.hpp
// through the compiler's SSE2 header): SSSE3's rounding high multiply is
// one instruction here, q15mulr, where the SSSE3 header spells it in six.
#include <emmintrin.h>
#include <wasm_simd128.h>

#include "filters/median_cut_sse.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

namespace {

// q15mulr saturates only -2^15 * -2^15, which the terms never multiply.
struct Q15Multiply {
    static ORVESSA_VECTOR_INLINE __m128i high(__m128i a, __m128i b) {
        return (__m128i)wasm_i16x8_q15mulr_sat((v128_t)a, (v128_t)b);
    }
};

}  // namespace

void median_cut_next_row_simd128(const std::uint8_t* below, const std::uint8_t* ahead,
                                 const std::uint16_t* above, const std::uint16_t* centre,
                                 std::uint16_t* below_prepared, std::uint8_t* out,
                                 std::int32_t dim_x) {
    sse::next_row<sse::RoundingMultiplyTerms<Q15Multiply>>(below, ahead, above, centre,
                                                           below_prepared, out, dim_x);
}

}  // namespace orvessa::filters
