// BMP and ICO/CUR pictures, decoded here with the standard library only, so
// that no other decoder ever sees these bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

namespace orvessa::codecs {

using Bytes = std::span<const std::uint8_t>;

// Rows top first, 4 bytes a pixel R, G, B, A (A = 255 where the file has no alpha).
struct RgbaPicture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    // The resolution the file gives, pixels a metre (0: none given).
    std::int32_t x_pixels_per_metre = 0, y_pixels_per_metre = 0;
};

// Anything that is not a well-formed picture; what() is a short reason in
// plain words, never a path.
class BadPicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The declared size exceeds max_pixels; thrown by value before any pixel
// memory is allocated.
struct TooLarge {
    std::int64_t width, height;
};

// Decodes the PNG image of an icon; may throw BadPicture or TooLarge.
using PngDecoder = std::function<RgbaPicture(Bytes)>;

// Whether a file's first bytes are a BMP's head / an icon's or cursor's
// directory (each entry that `head` holds whole is checked).
bool is_bmp(Bytes head) noexcept;
bool is_icon(Bytes head) noexcept;

// Only BadPicture, TooLarge and std::bad_alloc leave these (and whatever
// `png` throws).
RgbaPicture decode_bmp(Bytes file, std::int64_t max_pixels);
// The first image of the directory; one held as PNG goes to `png`.
RgbaPicture decode_icon(Bytes file, std::int64_t max_pixels, const PngDecoder& png);

}  // namespace orvessa::codecs
