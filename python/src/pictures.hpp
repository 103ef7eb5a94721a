// Picture files and painted pictures as numpy arrays (H, W, 3) of R, G, B,
// top row first, through the library's picture jobs: the tool's reading,
// writing and filtering, with Python's way with an existing file (replaced,
// atomically).
#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "orvessa/pictures.hpp"

namespace orvessa::python {

// What every picture array of the package is, with one set of messages: a
// `kind` (numpy.ndarray here; a dask array for orvessa.dask, whose pictures
// may also come in a stack (..., H, W, 3)) of dtype uint8 and shape
// (H, W, 3). `of_kind` says whether `object` is one. Raises TypeError or
// ValueError.
void check_picture_array(const pybind11::handle& object, bool of_kind, std::string_view kind, bool stacks = false);

// Turned upright by the file's orientation unless `orient` is false.
pybind11::array read_picture(const std::string& path, std::int64_t max_pixels, bool orient);
// Refuses other arrays as check_picture_array does.
void write_picture(const std::string& path, const pybind11::object& image, std::optional<int> quality);
// Works in place too (TARGET the file SOURCE).
void filter_file(PixelFilter filter, const std::string& source, const std::string& target,
                 std::optional<int> quality, std::int64_t max_pixels, std::int32_t threads);
pybind11::array gray(const std::string& path, const GraySettings& gray);

}  // namespace orvessa::python
