// The 24-bit device-independent bitmap that a header describes, as the
// portable platform's read and paint accept it: 40-byte header, one plane,
// 24 bits per pixel, no compression, DIB_RGB_COLORS, positive width and a
// non-zero height (positive bottom-up, negative top-down).
#pragma once

#include <cstdint>
#include <optional>

#include "orvessa/bitmap_info.hpp"

namespace orvessa::platform {

struct DibShape {
    std::int64_t width;
    std::int64_t rows;
    bool top_down;
    std::int64_t stride;

    // Storage index of the row that lies y rows below the top of the image.
    std::int64_t stored_row(std::int64_t y) const noexcept { return top_down ? y : rows - 1 - y; }
};

std::optional<DibShape> dib_shape(const BitmapInfo& info, std::uint32_t usage) noexcept;

}  // namespace orvessa::platform
