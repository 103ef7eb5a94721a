// BMP and ICO/CUR pictures, decoded here with the standard library only, so
// that no other decoder ever sees these bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// Rows top first, 4 bytes a pixel R, G, B, A (A = 255 where the file has no alpha).
struct RgbaImage {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    // The resolution the file gives, pixels a metre (0: none given).
    std::int32_t x_pixels_per_metre = 0, y_pixels_per_metre = 0;
};

// The first image of an icon's directory: a bitmap, or a PNG file whole.
struct IconImage {
    Bytes bytes;
    bool png;
};

// Whether a file's first bytes are a BMP's ("BM" and a known size of info
// header) / an icon's or cursor's directory head; the rest of a broken head
// is the decoder's to report.
bool is_bmp(Bytes head) noexcept;
bool is_icon(Bytes head) noexcept;

// Only BadPicture, TooLarge and std::bad_alloc leave these.
RgbaImage decode_bmp(Bytes file, std::int64_t max_pixels);
IconImage first_icon_image(Bytes file);
// The first image of the directory, which must be a bitmap.
RgbaImage decode_icon(Bytes file, std::int64_t max_pixels);

}  // namespace orvessa::codecs
