// Picture files and painted surfaces as numpy arrays (H, W, 3) of R, G, B,
// top row first: read and written through the platform's picture streams,
// as the orvessa tool reads and writes them.
#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <optional>
#include <string>

#include "orvessa/filter_pixels.hpp"
#include "orvessa/portable_platform.hpp"

namespace orvessa::python {

// Raises orvessa.Error (the loader's number) for a file that cannot be read.
pybind11::array read_picture(const std::string& path, std::int64_t max_pixels);
// The format by the path's extension (PNG without one); quality for JPEG
// and WebP. Refuses other arrays with TypeError or ValueError; a file that
// cannot be written raises OSError or orvessa.Error and is removed.
void write_picture(const std::string& path, const pybind11::object& image,
                   std::optional<int> quality);
// `orvessa blur|smooth SOURCE TARGET`: the picture streams from the decoder
// through the filter to the encoder, keeping the source's resolution and
// profile as the tool does. Raises as read_picture and write_picture.
void filter_file(PixelFilter filter, const std::string& source, const std::string& target,
                 std::optional<int> quality, std::int64_t max_pixels);
// A painted picture in the pixel buffer layout (bottom-up B, G, R).
pybind11::array rgb_array_of(const Image& image);

}  // namespace orvessa::python
