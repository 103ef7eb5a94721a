#pragma once

#include "filters/row_kernel.hpp"

namespace orvessa::filters {

// s / 16 rounded half to even, for a weighted sum s in 0..4080.
constexpr unsigned blur_byte(unsigned s) noexcept { return (s + 7 + ((s >> 4) & 1)) >> 4; }

void blur_row_scalar(const std::uint8_t* above, const std::uint8_t* centre,
                     const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x);

// The [1 2 1] sums of each byte of a row with its horizontal neighbours,
// at positions 3 .. 3 * dim_x - 4: the prepared rows of the vector blur
// (prepared_rows.hpp).
void blur_row_sums(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x);

}  // namespace orvessa::filters
