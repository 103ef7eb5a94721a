// BMP and ICO/CUR as the other codecs are used: readers over the whole file
// (our decoder's; an icon's PNG image goes to the PNG reader and streams)
// and a 24-bit BMP writer.
#pragma once

#include <memory>

#include "codecs/bmp_decoder.hpp"
#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

std::unique_ptr<PictureReader> open_bmp(ByteSource& source, std::int64_t max_pixels);
std::unique_ptr<PictureReader> open_icon(ByteSource& source, std::int64_t max_pixels);

// A 24-bit BMP; its rows go bottom-up, so a sink that cannot seek gets the
// file whole at the end. Raises CannotWrite beyond the format's 4 GiB.
std::unique_ptr<PictureWriter> bmp_writer(ByteSink& sink, const PictureInfo& info);

// The 54 bytes before the rows of a 24-bit bottom-up BMP file, whose rows
// are those of the pixel buffer layout. Raises CannotWrite for a picture too
// large for the format.
std::array<std::uint8_t, 54> bmp_head(std::int32_t width, std::int32_t height, double x_pixels_per_metre = 2835,
                                      double y_pixels_per_metre = 2835);

}  // namespace orvessa::codecs
