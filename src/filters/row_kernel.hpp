// The per-row kernel interface shared by both filters. A kernel gets the
// entry values of the rows above, at and below the centre row (pixel bytes
// only, 3 * dim_x of each) and writes the filtered bytes of pixels
// 1..dim_x-2 into `out`, the centre row in the caller's buffer. Channels are
// independent, so a kernel may treat a row as a byte stream whose
// horizontal neighbours lie 3 bytes apart. Called only when dim_x >= 3.
#pragma once

#include <cstdint>

namespace orvessa::filters {

using RowKernel = void (*)(const std::uint8_t* above, const std::uint8_t* centre,
                           const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x);

}  // namespace orvessa::filters
