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
        if (!py::isinstance<py::array>(object)) {
            throw py::type_error("expected a numpy.ndarray of dtype uint8 and shape (H, W, 3)");
        }
        array_ = py::reinterpret_borrow<py::array>(object);
        if (array_.dtype().kind() != 'u' || array_.dtype().itemsize() != 1) {
            throw py::type_error("expected dtype uint8, got " + std::string(py::str(array_.dtype())));
        }
        if (array_.ndim() != 3 || array_.shape(2) != 3) throw py::value_error("expected shape (H, W, 3)");
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
    if (threads < 0) throw py::value_error("threads must be at least 1");
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
