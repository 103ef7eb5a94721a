// The three-row walk over a caller's pixel buffer, shared by both filters.
// The whole call is validated up front: where (if anywhere) the reading
// order meets its first failing access is worked out before any byte is
// touched, and the rows before it run through tight, unchecked loops.
#pragma once

#include <cstdint>
#include <optional>

#include "filters/prepared_rows.hpp"
#include "filters/row_bands.hpp"
#include "filters/row_kernel.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/error.hpp"

namespace orvessa::filters {

// What the reading order of a walk meets: centre rows 1..centre_rows are
// filtered, then `error` (if any) stops the call.
struct WalkPlan {
    std::int32_t centre_rows = 0;
    std::optional<Error> error;
};

// The stride of the walk, or the error that the stride step or the empty
// column range of the row window raises (overflow, subscript out of range).
std::int32_t walk_stride(std::int32_t dim_x);

// The outcome of the reads for a stride that walk_stride accepted.
WalkPlan plan_walk(const ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                   std::int32_t stride);

// Runs a filter: validation, the row window (9 * (dim_x + 1) bytes), the
// rows before the first failure, then that failure. With `threads` > 1 those
// rows are cut into bands (row_bands.hpp) that up to that many threads
// filter at once, each band with a row window of its own; the bytes written
// and the error raised are the same, and every thread has ended before the
// call returns or raises.
void walk_rows(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, RowKernel kernel,
               std::int32_t threads = 1);

// The same walk, the same bytes written and the same errors, through a
// kernel that keeps prepared rows (prepared_rows.hpp) in 18 * words * dim_x
// further bytes per band. The row window is still allocated, so running out
// of memory for it fails as walk_rows does; a band whose prepared rows
// cannot be allocated runs `fallback` instead.
void walk_prepared_rows(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                        const PreparedRowKernel& kernel, RowKernel fallback,
                        std::int32_t threads = 1);

// Rows 1..height-3 of a picture in memory, in place, as walk_rows and
// walk_prepared_rows filter them (`prepared` may be null), without the
// buffer's validation. width >= 3, height >= 4.
void walk_picture(const ImageRows& image, std::int32_t width, std::int32_t height,
                  RowKernel row, const PreparedRowKernel* prepared, std::int32_t threads);

// Rows first..last of `out` from the entry values of rows first-1..last+1
// of `in` (not overlapping `out`), on the calling thread. width >= 3.
void filter_rows_into(const ImageRows& in, const ImageRows& out, std::int32_t width,
                      std::int32_t first, std::int32_t last, RowKernel row,
                      const PreparedRowKernel* prepared);

}  // namespace orvessa::filters
