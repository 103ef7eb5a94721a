#include "pictures.hpp"

#include <climits>
#include <vector>

namespace py = pybind11;

namespace orvessa::python {

namespace {

PictureSettings python_settings(std::optional<int> quality) {
    PictureSettings settings;
    settings.quality = quality;
    // As Python's own writers do, but never half written.
    settings.existing = ExistingOutput::replace;
    return settings;
}

// The array's rows of R, G, B, one after the other: the array's own memory
// when it is laid out so, else a copy.
class RgbRows {
public:
    explicit RgbRows(const py::object& object) {
        check_picture_array(object, py::isinstance<py::array>(object), "numpy.ndarray");
        array_ = py::reinterpret_borrow<py::array>(object);
        if (array_.shape(0) > INT32_MAX || array_.shape(1) > INT32_MAX / 3) {
            throw py::value_error("expected at most 2**31 - 1 rows of 2**31 - 1 bytes");
        }
        height_ = static_cast<std::int32_t>(array_.shape(0));
        width_ = static_cast<std::int32_t>(array_.shape(1));
        if (array_.flags() & py::array::c_style) {
            data_ = static_cast<const std::uint8_t*>(array_.data());
            return;
        }
        copy_ = py::array_t<std::uint8_t, py::array::c_style>::ensure(array_);
        data_ = copy_.data();
    }
    PictureStream stream() const { return PictureStream::of_rows(data_, width_, height_); }

private:
    py::array array_;  // keeps the rows alive
    py::array_t<std::uint8_t, py::array::c_style> copy_;
    const std::uint8_t* data_ = nullptr;
    std::int32_t width_ = 0, height_ = 0;
};

}  // namespace

void check_picture_array(const py::handle& object, bool of_kind, std::string_view kind, bool stacks) {
    const std::string shapes = stacks ? "(H, W, 3) or a stack (..., H, W, 3)" : "(H, W, 3)";
    if (!of_kind) {
        throw py::type_error("expected a " + std::string(kind) + " of dtype uint8 and shape " + shapes + ", got " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    }
    // numpy's arrays through its C API, which costs a filter call nothing;
    // others (dask's) through their attributes.
    bool uint8 = false, three_channels = false;
    std::size_t axes = 0;
    if (py::isinstance<py::array>(object)) {
        const auto array = py::reinterpret_borrow<py::array>(object);
        uint8 = array.dtype().kind() == 'u' && array.dtype().itemsize() == 1;
        axes = static_cast<std::size_t>(array.ndim());
        three_channels = axes > 0 && array.shape(array.ndim() - 1) == 3;
    } else {
        const py::object dtype = object.attr("dtype");
        uint8 = dtype.equal(py::dtype::of<std::uint8_t>());
        const py::tuple shape = object.attr("shape");
        axes = shape.size();
        three_channels = axes > 0 && py::object(shape[axes - 1]).equal(py::int_(3));
    }
    if (!uint8) throw py::type_error("expected dtype uint8, got " + std::string(py::str(object.attr("dtype"))));
    if (axes < 3 || (!stacks && axes != 3) || !three_channels) {
        throw py::value_error("expected shape " + shapes + ", got " +
                              std::string(py::str(py::tuple(object.attr("shape")))));
    }
}

py::array read_picture(const std::string& path, std::int64_t max_pixels, bool orient) {
    PictureSettings settings;
    settings.max_pixels = max_pixels;
    std::optional<PictureStream> picture;
    {
        const py::gil_scoped_release unlocked;
        picture = orvessa::read_picture(path, settings);
    }
    const bool upright = orient && picture->orientation() > 1;
    const bool sideways = upright && picture->orientation() >= 5;
    const py::ssize_t height = sideways ? picture->width() : picture->height();
    const py::ssize_t width = sideways ? picture->height() : picture->width();
    py::array_t<std::uint8_t> array({height, width, py::ssize_t{3}});
    std::uint8_t* rows = array.mutable_data();
    const std::ptrdiff_t row_step = array.strides(0);
    {
        const py::gil_scoped_release unlocked;
        if (upright) {
            picture->read_upright_rows(rows, row_step);
        } else {
            picture->read_rows(rows, row_step);
        }
    }
    return array;
}

void write_picture(const std::string& path, const py::object& image, std::optional<int> quality) {
    const PictureSettings settings = python_settings(quality);
    output_format(path, settings);  // a wrong extension or quality before any work
    const RgbRows rows(image);
    const PictureStream picture = rows.stream();
    const py::gil_scoped_release unlocked;
    orvessa::write_picture(path, picture, settings);
}

void filter_file(PixelFilter filter, const std::string& source, const std::string& target,
                 std::optional<int> quality, std::int64_t max_pixels, std::int32_t threads) {
    PictureSettings settings = python_settings(quality);
    settings.max_pixels = max_pixels;
    settings.threads = threads;
    const py::gil_scoped_release unlocked;
    filter_picture(filter, source, target, settings);
}

py::array gray(const std::string& path, const GraySettings& gray) {
    // The GIL stays held: the logical resolution is the process's.
    const Image image = gray_picture(path, gray);
    py::array_t<std::uint8_t> array({py::ssize_t{image.height}, py::ssize_t{image.width}, py::ssize_t{3}});
    PictureStream::of_image(image).read_rows(array.mutable_data(), array.strides(0));
    return array;
}

}  // namespace orvessa::python
