// The per-pixel rule of ColorToBN: the three bytes of a pixel, summed and
// divided by three, give a gray level g; gray mode lightens it to
// 128 + g / 2, two-colour mode makes it 255 above the threshold, else 0.
#pragma once

#include <array>
#include <cstdint>

namespace orvessa::convert {

// g for a byte sum s (0..765): s / 3 rounded to the nearest integer.
std::uint8_t gray_level(std::int32_t sum);
std::uint8_t gray_value(std::uint8_t level) noexcept;
std::uint8_t two_color_value(std::uint8_t level, std::uint8_t threshold) noexcept;

// The value written for every possible byte sum, for one mode.
using SumTable = std::array<std::uint8_t, 766>;
SumTable sum_table(bool two_color, std::uint8_t threshold);

// Replaces every pixel of a picture of at least stride * height bytes (a
// 24-bit buffer, or with pixel_bytes 4 one of R G B A) by its gray or
// two-colour value, three equal bytes. Alignment bytes and a fourth byte
// are left alone; nothing happens unless width and height are both positive.
void convert_pixels(std::uint8_t* buffer, std::int32_t width, std::int32_t height,
                    std::int32_t stride, const SumTable& table, std::int32_t pixel_bytes = 3) noexcept;

}  // namespace orvessa::convert
