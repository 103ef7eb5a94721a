// GIF pictures read through giflib: the first image of the file.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// The picture is the logical screen with the first image placed at its
// offset. Transparent pixels are white; the screen outside the image is white
// where that image has a transparent colour and black where it has none (as
// pictures were read before). Rows of a non-interlaced image are decoded as
// asked; an interlaced one is decoded whole. After the last row the rest of
// the file is walked through, undecoded, so that a cut file is refused.
// Raises BadPicture, TooLarge, or what the source throws.
std::unique_ptr<PictureReader> open_gif(ByteSource& source, std::int64_t max_pixels);

}  // namespace orvessa::codecs
