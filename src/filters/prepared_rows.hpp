// The interface of a walk that keeps prepared 16-bit words per row instead
// of copies of the rows: per byte position, `words` values that the kernel
// derives from the row (sums over a byte and its horizontal neighbours,
// scaled bytes). The walk keeps them for three rows. Per centre row the
// kernel reads the row below once from the caller's buffer, writes the
// filtered centre row, and prepares the row below from the same read. So
// each buffer row is read once and written once, and every result still
// comes from entry values: the row below is not yet written.
//
// Prepared words of a row lie in `words` arrays of 3 * dim_x words each,
// one after the other, indexed by byte position; which positions a kernel
// fills is its own business. dim_x >= 3. `ahead` is a row that a later step
// reads (or null): the kernel may prefetch it, since rows run downward in
// memory and the hardware sees each row as a new stream.
#pragma once

#include <cstdint>

namespace orvessa::filters {

struct PreparedRowKernel {
    std::int32_t words;
    void (*prepare)(const std::uint8_t* row, std::uint16_t* prepared, std::int32_t dim_x);
    void (*next_row)(const std::uint8_t* below, const std::uint8_t* ahead,
                     const std::uint16_t* above, const std::uint16_t* centre,
                     std::uint16_t* below_prepared, std::uint8_t* out, std::int32_t dim_x);
};

}  // namespace orvessa::filters
