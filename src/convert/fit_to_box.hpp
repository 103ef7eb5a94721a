// The proportional fit behind Pictava::FitToBox, reachable without an
// object for the tests and the CLI's `fit` command.
#pragma once

#include <cstdint>

namespace orvessa::convert {

// Where a picture of PictureWidth x PictureHeight lands when it fills the box
// as far as it can without distortion, centred. Writes Width and Height, then
// Left, then Top; raises Error::floating_point for a division by a zero
// picture side on the path taken and Error::overflow outside the 32-bit range.
// Outputs written before an error keep their values.
void fit_to_box(std::int32_t BoxWidth, std::int32_t BoxHeight, std::int32_t PictureWidth,
                std::int32_t PictureHeight, std::int32_t& Left, std::int32_t& Top,
                std::int32_t& Width, std::int32_t& Height);

}  // namespace orvessa::convert
