// TIFF through libtiff: the first page read a strip (or a row of tiles) at
// a time, whatever its compression, depth, planes or photometric reading;
// written as 8-bit RGB in uncompressed strips as the rows arrive.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// Reads the head and the first directory; raises TooLarge beyond max_pixels
// and BadPicture for a file libtiff refuses or whose layout is unsupported.
// A source without a length (a pipe) is read into memory first: TIFF seeks.
std::unique_ptr<PictureReader> open_tiff(ByteSource& source, std::int64_t max_pixels);

// Little-endian, uncompressed strips of about 64 KiB; a picture past classic
// TIFF's 4 GiB is written as BigTIFF. A sink that cannot seek gets the file
// in one piece from finish(), since libtiff goes back to write directories.
std::unique_ptr<PictureWriter> tiff_writer(ByteSink& sink, const PictureInfo& info);

}  // namespace orvessa::codecs
