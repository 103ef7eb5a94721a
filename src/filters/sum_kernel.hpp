// The interface of a walk that keeps per-row partial sums instead of copies
// of the rows. A kernel keeps, for each byte position of a row, a 16-bit sum
// over that byte and its horizontal neighbours (3 bytes either side), for
// the row above the centre row and for the centre row. Per centre row it
// reads the row below once from the caller's buffer, writes the filtered
// centre row, and leaves the sums of the row below where those of the row
// above were. So each buffer row is read once and written once, and every
// result still comes from entry values: the row below is not yet written.
// Sums are indexed by byte position, 3 .. 3 * dim_x - 4; dim_x >= 3.
// `ahead` is the row the next step reads (or null): the kernel may prefetch
// it, since rows run downward in memory and the hardware sees each row as a
// new stream.
#pragma once

#include <cstdint>

namespace orvessa::filters {

struct SumKernel {
    void (*row_sums)(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x);
    void (*next_row)(const std::uint8_t* below, const std::uint8_t* ahead, std::uint16_t* above_sums,
                     const std::uint16_t* centre_sums, std::uint8_t* out, std::int32_t dim_x);
};

}  // namespace orvessa::filters
