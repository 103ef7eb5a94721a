// The picture formats, one row each: how the bytes are recognised, which
// decoder alone may read them, and for the formats written here their names,
// extension, quality and encoder. Adding a format is a row and its codec.
#pragma once

#include <vips/vips.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "codecs/bmp_decoder.hpp"
#include "orvessa/picture_stream.hpp"

namespace orvessa::platform {

using Bytes = std::span<const std::uint8_t>;

struct FormatRow {
    std::string_view name;  // in messages: "JPEG"
    // True when the file's first bytes (up to sniff_bytes) are of the format.
    bool (*sniff)(Bytes head);
    // A decoder that streams from the source, or one of ours over the whole file.
    int (*load)(VipsSource* source, VipsImage** out);
    codecs::RgbaPicture (*decode)(Bytes file, std::int64_t max_pixels);
    // The formats written here: the names --format takes (the last one is
    // the extension given), whether a quality applies, and the encoder.
    std::optional<PictureFormat> written;
    std::array<std::string_view, 2> names;
    bool quality;
    int (*save)(VipsImage* rgb, VipsTarget* target, int quality);
};

// Bytes looked at to decide a file's format.
constexpr std::size_t sniff_bytes = 4096;

// The row whose sniff takes the head, if any.
const FormatRow* format_of_bytes(Bytes head) noexcept;
const FormatRow& format_row(PictureFormat format) noexcept;
// "JPEG, PNG, ...": the formats read here, for messages.
std::string formats_read();

// PNG as written here: zlib's fastest level over rows each less the row
// above. Against libvips' defaults (level 6, no filter) a photo's file is
// 40% smaller and written in half the time.
constexpr int png_compression = 1;
constexpr VipsForeignPngFilter png_filter = VIPS_FOREIGN_PNG_FILTER_UP;

// The picture's rows top first as R, G, B, one after the other, for the encoders.
std::vector<std::uint8_t> rgb_rows(const Image& image);

// The 54 bytes before the rows of a 24-bit bottom-up BMP file, whose rows
// are those of the pixel buffer layout. Raises Error::platform (75) for a
// picture too large for the format.
std::array<std::uint8_t, 54> bmp_head(std::int32_t width, std::int32_t height);

}  // namespace orvessa::platform
