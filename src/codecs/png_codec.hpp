// PNG pictures through libpng. Reading: rows on demand, every depth and
// colour type, transparency laid over white, 16-bit samples cut to their
// high byte. Writing: 8-bit RGB, rows streamed as they come.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// Reads the head at once: BadPicture where it is broken, TooLarge beyond
// max_pixels. The pixels are read as the rows are asked for (an interlaced
// picture whole at the first ask); missing, short or corrupt pixel data is
// BadPicture.
std::unique_ptr<PictureReader> open_png(ByteSource& source, std::int64_t max_pixels);

// Fast rather than small: zlib level 1 and the "Up" filter alone. Keeps the
// resolution, the colour profile and the EXIF block (or the orientation).
std::unique_ptr<PictureWriter> png_writer(ByteSink& sink, const PictureInfo& info);

}  // namespace orvessa::codecs
