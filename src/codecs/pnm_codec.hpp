// Netpbm pictures (P1 to P6) and float maps (PF, Pf), read with the standard
// library only.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs {

// Samples are scaled from 0..maxval to 0..255, rounded to nearest; a maxval of
// 65535 gives the high byte. Float samples 0..1 give round(v * 255), clamped,
// NaN 0. Raises BadPicture (a broken head, a sample above maxval, samples
// missing), TooLarge, or what the source throws.
std::unique_ptr<PictureReader> open_pnm(ByteSource& source, std::int64_t max_pixels);

}  // namespace orvessa::codecs
