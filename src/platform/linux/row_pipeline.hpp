// Rows from a decoder through a 3 x 3 filter to an encoder, on threads of
// our own: the calling thread decodes bands of rows in order, workers filter
// each band once the row below it has come, and an encoder thread writes the
// bands in order. A few bands are held, never the picture. The first failure
// of any step stops every step and is raised by run_rows, at every thread
// count; no thread outlives the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "orvessa/filter_pixels.hpp"

namespace orvessa::platform {

class RowSource {
public:
    virtual ~RowSource() = default;
    // The next `count` rows of 3 * width bytes, `step` apart.
    virtual void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) = 0;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // `count` rows following those before, `step` apart.
    virtual void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) = 0;
};

// `threads` (at least 1) decode, filter and encode; 1 runs every step in turn
// on the calling thread.
void run_rows(RowSource& source, std::optional<PixelFilter> filter, RowSink& sink, std::int32_t width,
              std::int32_t height, std::int32_t threads);

// Rows a band holds: about a megabyte of them.
std::int32_t band_rows(std::int32_t width) noexcept;

}  // namespace orvessa::platform
