// The EXIF block's one field read here: the orientation (tag 0x0112 of the
// first directory). The block is TIFF bytes, as JPEG's APP1 after
// "Exif\0\0", PNG's eXIf and WebP's EXIF chunk hold it.
#pragma once

#include <cstdint>
#include <vector>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// 1 to 8; 1 where the block is absent, broken or says nothing else.
int exif_orientation(Bytes tiff) noexcept;

// The block a writer embeds: the picture's own, else one that holds only an
// orientation other than 1; empty: none.
std::vector<std::uint8_t> exif_to_write(const PictureInfo& info);

}  // namespace orvessa::codecs
