// Entry points of the two filters: pick the path once per call, then run it.
#pragma once

#include <cstdint>

#include "orvessa/byte_array.hpp"
#include "orvessa/filter_options.hpp"

namespace orvessa::filters {

void blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                 const FilterOptions& options = {});
void median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                       const FilterOptions& options = {});

}  // namespace orvessa::filters
