// Pictures between the pixel buffer layout (bottom-up rows, B G R, rows
// padded to four bytes) and numpy arrays (H, W, 3) of R G B, top-down.
#pragma once

#include <pybind11/numpy.h>

#include "orvessa/portable_platform.hpp"

namespace orvessa::python {

pybind11::array to_rgb_array(const Image& image);
// Raises TypeError or ValueError unless `object` is a uint8 array (H, W, 3);
// any strides.
Image from_rgb_array(const pybind11::object& object);

}  // namespace orvessa::python
