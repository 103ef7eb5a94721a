// WebP pictures through libwebp (with libwebpdemux and libwebpmux).
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// A still picture, or the first frame of an animation composed on its canvas;
// alpha laid over white. The EXIF block, the orientation it gives and the
// colour profile go in info(). The decoder takes the whole file: it is read
// at opening and decoded whole at the first read_rows. Raises BadPicture,
// TooLarge, or what the source throws.
std::unique_ptr<PictureReader> open_webp(ByteSource& source, std::int64_t max_pixels);

// A lossy WebP at `quality` (0 to 100) keeping the EXIF block (or the
// orientation) and the colour profile of `info`. The encoder takes the whole
// picture: rows are gathered and the file written at finish(). Raises
// CannotWrite beyond 16383 x 16383 pixels.
std::unique_ptr<PictureWriter> webp_writer(ByteSink& sink, const PictureInfo& info, int quality);

}  // namespace orvessa::codecs
