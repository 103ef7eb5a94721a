// orvessa._orvessa: the compiled part of the Python package. The filters
// work in place on the caller's memory (numpy arrays and writable buffers);
// nothing is copied, and the GIL is released while a filter runs.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "convert/fit_to_box.hpp"
#include "errors.hpp"
#include "orvessa/argument_rules.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/linux_platform.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/pictures.hpp"
#include "orvessa/version.hpp"
#include "pictures.hpp"

namespace py = pybind11;

namespace orvessa::python {

namespace {

std::int32_t checked_int32(py::ssize_t value, const char* what) {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        throw py::value_error(std::string(what) + " must be at most 2**31 - 1");
    }
    return static_cast<std::int32_t>(value);
}

// The checks of a picture array that is filtered in place: refused, never
// converted, so that the caller's array is the one that changes.
PixelRows writable_picture(const py::handle& object, std::int32_t& width, std::int32_t& height) {
    check_picture_array(object, py::isinstance<py::array>(object), "numpy.ndarray");
    auto array = py::reinterpret_borrow<py::array>(object);
    if (!array.writeable()) throw py::value_error("expected a writable array, got a read-only one");
    height = checked_int32(array.shape(0), "H");
    width = checked_int32(array.shape(1), "W");
    if (height > 0 && width > 0 && (array.strides(2) != 1 || array.strides(1) != 3)) {
        throw py::value_error("expected contiguous pixels (strides[1] == 3, strides[2] == 1), got strides " +
                              std::to_string(array.strides(1)) + ", " + std::to_string(array.strides(2)));
    }
    const py::ssize_t row_step = array.strides(0);
    if (height > 1 && width > 0 && (row_step < 3 * array.shape(1) && -row_step < 3 * array.shape(1))) {
        throw py::value_error("expected rows that do not overlap (|strides[0]| >= 3 * W)");
    }
    return {static_cast<std::uint8_t*>(array.mutable_data()), row_step};
}

py::object filter_array(PixelFilter filter, const py::object& image, std::int32_t threads) {
    const FilterOptions options{checked_threads(threads)};
    std::int32_t width = 0, height = 0;
    const PixelRows rows = writable_picture(image, width, height);
    const py::gil_scoped_release unlocked;
    filter_pixels(filter, rows, width, height, options);
    return image;
}

// A caller's bytes held for the call; the exporter (a bytearray) cannot
// resize while a view is taken.
class WritableBytes {
public:
    explicit WritableBytes(const py::handle& object) {
        if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_WRITABLE | PyBUF_ND | PyBUF_FORMAT) != 0) {
            PyErr_Clear();
            throw py::type_error("expected a writable, contiguous bytes-like object (bytearray, memoryview, "
                                 "numpy uint8 array), got " +
                                 std::string(py::str(py::type::of(object).attr("__name__"))));
        }
        const std::string format = view_.format != nullptr ? view_.format : "B";
        if (view_.itemsize != 1 || (format != "B" && format != "b" && format != "c")) {
            PyBuffer_Release(&view_);
            throw py::type_error("expected a buffer of bytes, got items of format '" + format + "'");
        }
        if (view_.len > std::numeric_limits<std::uint32_t>::max()) {
            PyBuffer_Release(&view_);
            throw py::value_error("expected at most 2**32 - 1 bytes");
        }
    }
    ~WritableBytes() { PyBuffer_Release(&view_); }
    WritableBytes(const WritableBytes&) = delete;
    WritableBytes& operator=(const WritableBytes&) = delete;

    // The array as the DLL receives it; a buffer of more than one
    // dimension is refused by every access, as such an array is there.
    ByteArrayView array(std::int32_t lower_bound) const noexcept {
        return {static_cast<std::uint8_t*>(view_.buf), static_cast<std::uint32_t>(view_.len),
                lower_bound, static_cast<std::uint32_t>(view_.ndim < 1 ? 1 : view_.ndim)};
    }

private:
    Py_buffer view_{};
};

void filter_buffer(PixelFilter filter, const py::object& buffer, std::int32_t width,
                   std::int32_t height, std::int32_t lower_bound) {
    const WritableBytes bytes(buffer);
    ByteArrayView array = bytes.array(lower_bound);
    const py::gil_scoped_release unlocked;
    filter_buffer(filter, array, width, height);
}

// The logical resolution is one setting of the process; the GIL, held
// throughout, keeps a call's setting its own until it puts back 96.
class ResolutionScope {
public:
    explicit ResolutionScope(std::int32_t dpi) {
        const std::int32_t per_inch = checked_dpi(dpi);
        set_logical_resolution(per_inch, per_inch);
    }
    ~ResolutionScope() { set_logical_resolution(96, 96); }
    ResolutionScope(const ResolutionScope&) = delete;
    ResolutionScope& operator=(const ResolutionScope&) = delete;
};

std::int16_t scale(bool x_axis, float himetric, std::int32_t dpi) {
    const ResolutionScope resolution(dpi);
    Pictava effects;
    return x_axis ? effects.ScaleX(himetric) : effects.ScaleY(himetric);
}

py::tuple fit(std::int32_t box_width, std::int32_t box_height, std::int32_t picture_width,
              std::int32_t picture_height) {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    convert::fit_to_box(box_width, box_height, picture_width, picture_height, left, top, width, height);
    return py::make_tuple(left, top, width, height);
}

// A path (str, bytes or os.PathLike) as the bytes the file system sees.
std::string file_path(const py::object& path) {
    return py::bytes(py::module_::import("os").attr("fsencode")(path));
}

// What `orvessa gray` paints: the picture's natural size through ScaleX and
// ScaleY at 96 per inch, or the box it is fitted into.
py::array gray_array(const py::object& path, bool two_color, int threshold,
                     std::optional<std::pair<std::int32_t, std::int32_t>> box) {
    const std::uint8_t level = checked_threshold(threshold);
    if (box) checked_box(box->first, box->second);
    const ResolutionScope resolution(96);
    return gray(file_path(path), GraySettings{two_color, level, box});
}

}  // namespace

}  // namespace orvessa::python

PYBIND11_MODULE(_orvessa, m) {
    using namespace orvessa;
    using namespace orvessa::python;
    m.doc() = "The compiled part of orvessa; use the package orvessa.";
    m.attr("version") = std::to_string(ORVESSA_VERSION_MAJOR) + "." +
                        std::to_string(ORVESSA_VERSION_MINOR) + "." +
                        std::to_string(ORVESSA_VERSION_PATCH) + "." +
                        std::to_string(ORVESSA_VERSION_TWEAK);

    register_errors();
    // Each filter of the table, over arrays, buffers and files.
    py::list filters;
    py::dict borders;
    for (const FilterRow& row : pixel_filters) {
        const std::string name(row.name), summary(row.summary), method(row.method);
        const PixelFilter filter = row.filter;
        const FilterBorder& b = row.border;
        filters.append(name);
        borders[name.c_str()] = py::make_tuple(b.top, b.bottom, b.left, b.right);
        const std::string changes = "Rows " + std::to_string(b.top) + "..H-" + std::to_string(b.bottom + 1) +
                                    " and columns " + std::to_string(b.left) + "..W-" +
                                    std::to_string(b.right + 1) + " change";
        m.def(name.c_str(), [filter](const py::object& image, std::int32_t threads) {
            return filter_array(filter, image, threads);
        }, py::arg("image"), py::kw_only(), py::arg("threads") = 1, (R"(
The )" + summary + R"( of a picture, in place; returns it.

image: numpy uint8 array of shape (H, W, 3) whose pixels are contiguous
(strides[1] == 3, strides[2] == 1); any row stride (views, windows,
flipped rows). )" + changes + R"(; the bytes are those
of the buffer filter over the same pixel rows. Anything else raises
TypeError or ValueError and leaves it untouched.
threads: threads that share the rows (0: every core the process may use);
the GIL is released meanwhile.)").c_str());
        m.def((name + "_buffer").c_str(), [filter](const py::object& buffer, std::int32_t width,
                                                  std::int32_t height, std::int32_t lower_bound) {
            filter_buffer(filter, buffer, width, height, lower_bound);
        }, py::arg("buffer"), py::arg("width"), py::arg("height"), py::kw_only(), py::arg("lower_bound") = 0,
              (method + R"( over a writable bytes-like object (bytearray, memoryview,
numpy uint8 array) holding the 24-bit pixel buffer: rows bottom-up, padded
to four bytes, B G R. lower_bound is the array's lowest index. Errors raise
orvessa.Error (Overflow 6, OutOfMemory 7, SubscriptOutOfRange 9); bytes
written before the error stay written.)").c_str());
        m.def((name + "_file").c_str(), [filter](const py::object& source, const py::object& target,
                                                std::optional<int> quality, std::int64_t max_pixels,
                                                std::int32_t threads) {
            filter_file(filter, file_path(source), file_path(target), quality, max_pixels, threads);
        }, py::arg("source"), py::arg("target"), py::kw_only(), py::arg("quality") = py::none(),
              py::arg("max_pixels") = default_stream_pixels, py::arg("threads") = 0, (R"(
`orvessa )" + name + R"( SOURCE TARGET` in this process: the picture streams from the
decoder through the filter to the encoder a band of rows at a time, and the
file is the tool's, byte for byte (the source's resolution and colour
profile kept). TARGET's format and quality as write_picture's; TARGET is
replaced whole or not at all, and may be SOURCE itself. threads: the
stream's threads (0: every core the process may use).)").c_str());
    }
    m.attr("filters") = py::tuple(filters);
    // The rows at the top and the bottom and the columns at the left and the
    // right that each filter keeps.
    m.attr("borders") = borders;

    m.def("read_picture", [](const py::object& path, std::int64_t max_pixels, bool orient) {
        return read_picture(file_path(path), max_pixels, orient);
    }, py::arg("path"), py::kw_only(), py::arg("max_pixels") = default_stream_pixels, py::arg("orient") = true, R"(
The picture in a file as a uint8 array (H, W, 3) of R G B, top row first,
decoded as the orvessa tool decodes it (transparent parts over white) and
turned upright by its EXIF orientation, as viewers show it; orient=False
gives the pixels as stored. A picture that declares more than max_pixels
pixels is refused (error 7) before any is decoded.)");
    m.def("is_picture_file", [](const py::object& path) { return is_picture_file(file_path(path)); },
          py::arg("path"), R"(
True when the file's first bytes are those of a picture format read here
(as the orvessa tool tells them); nothing is decoded.)");
    m.def("write_picture", [](const py::object& path, const py::object& image,
                              std::optional<int> quality) {
        write_picture(file_path(path), image, quality);
    }, py::arg("path"), py::arg("image"), py::kw_only(), py::arg("quality") = py::none(), R"(
Writes a uint8 array (H, W, 3) of R G B as the orvessa tool writes a picture:
the format by the path's extension (png, jpeg or jpg, bmp, webp, tiff or
tif; PNG without one), quality 1 to 100 for JPEG and WebP (85 unless
given). An existing file is replaced whole or not at all.)");
    m.def("gray", &gray_array, py::arg("path"), py::kw_only(), py::arg("two_color") = false,
          py::arg("threshold") = 128, py::arg("fit") = py::none(), R"(
The picture that ColorToBN paints, as `orvessa gray` saves it: every pixel
the gray 128 + g / 2, or with two_color white above threshold and else
black; at the natural size, or fitted and centred into a white box
fit=(width, height). An array (H, W, 3) of R G B.)");
    m.def("scale_x", [](float himetric, std::int32_t dpi) { return scale(true, himetric, dpi); },
          py::arg("himetric"), py::arg("dpi") = 96,
          "ScaleX: a HIMETRIC length in whole pixels at dpi pixels per inch.");
    m.def("scale_y", [](float himetric, std::int32_t dpi) { return scale(false, himetric, dpi); },
          py::arg("himetric"), py::arg("dpi") = 96,
          "ScaleY: a HIMETRIC length in whole pixels at dpi pixels per inch.");
    m.def("fit", &fit, py::arg("box_width"), py::arg("box_height"), py::arg("picture_width"),
          py::arg("picture_height"), R"(
FitToBox: the rectangle (left, top, width, height) of a picture fitted into
a box with its proportions kept, and centred.)");
    m.def("batch_output_path", [](const py::object& out_dir, const py::object& source) {
        return py::module_::import("os").attr("fsdecode")(
            py::bytes(batch_output_path(file_path(out_dir), file_path(source))));
    }, py::arg("out_dir"), py::arg("source"), R"(
The file that `orvessa blur -o OUT_DIR SOURCE` (or smooth, or gray) writes
SOURCE's result to: OUT_DIR/<SOURCE's name>, in SOURCE's format where it is
one written here, else PNG, its extension changed to match. ValueError
when SOURCE names no file.)");

    // The checks of orvessa.dask, which are those of the functions above.
    m.def("_check_picture_array", [](const py::handle& image, const py::handle& kind, std::string_view kind_name) {
        check_picture_array(image, py::isinstance(image, kind), kind_name, true);
    });
    m.def("_check_threads", [](std::int32_t threads) { checked_threads(threads); });
}
