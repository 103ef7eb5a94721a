// The smoothing over prepared rows with SSE2 only (median_cut_sse.hpp).
#include <emmintrin.h>

#include "filters/median_cut_sse.hpp"
#include "filters/simd_kernels.hpp"

namespace orvessa::filters {

void median_cut_next_row_sse2(const std::uint8_t* below, const std::uint8_t* ahead,
                              const std::uint16_t* above, const std::uint16_t* centre,
                              std::uint16_t* below_prepared, std::uint8_t* out,
                              std::int32_t dim_x) {
    sse::next_row<sse::HighMultiplyTerms>(below, ahead, above, centre, below_prepared, out, dim_x);
}

}  // namespace orvessa::filters
