// Canvas pictures (R G B A, a row every `stride` bytes) through the filters,
// which take three bytes a pixel: the colour bytes are gathered into rows of
// their own, filtered, and put back; alpha is never written.
#pragma once

#include <cstdint>

#include "orvessa/filter_pixels.hpp"

namespace orvessa::web {

void filter_rgba(PixelFilter filter, std::uint8_t* data, std::int32_t width, std::int32_t height,
                 std::int32_t stride);

}  // namespace orvessa::web
