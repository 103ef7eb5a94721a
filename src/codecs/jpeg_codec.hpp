// JPEG pictures, read and written through libjpeg-turbo. The reader pulls
// the file from its source a chunk at a time and decodes rows as they are
// asked for; a file whose data proves cut short or corrupt is refused, never
// padded out with gray.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// Reads the head (size, resolution, EXIF, the ICC profile of a colour
// picture). Raises BadPicture, TooLarge, std::bad_alloc and whatever the
// source throws; `source` must outlive the reader.
std::unique_ptr<PictureReader> open_jpeg(ByteSource& source, std::int64_t max_pixels);

// quality 1 to 100. Raises CannotWrite for a picture JPEG cannot hold (more
// than 65500 pixels a side); `sink` must outlive the writer.
std::unique_ptr<PictureWriter> jpeg_writer(ByteSink& sink, const PictureInfo& info, int quality);

}  // namespace orvessa::codecs
