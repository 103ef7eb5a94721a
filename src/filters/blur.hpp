#pragma once

#include "filters/row_kernel.hpp"

namespace orvessa::filters {

// s / 16 rounded half to even, for a weighted sum s in 0..4080.
constexpr unsigned blur_byte(unsigned s) noexcept { return (s + 7 + ((s >> 4) & 1)) >> 4; }

void blur_row_scalar(const std::uint8_t* above, const std::uint8_t* centre,
                     const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x);

}  // namespace orvessa::filters
