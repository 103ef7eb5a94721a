// The filters written step by step, every index computed with checked
// arithmetic and every access tested against the array: slow, plain and
// obviously right. Every faster path is checked against these.
#pragma once

#include <cstdint>

#include "orvessa/byte_array.hpp"

namespace orvessa::filters {

void literal_blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y);
void literal_median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y);

}  // namespace orvessa::filters
