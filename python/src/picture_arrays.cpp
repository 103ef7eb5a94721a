#include "picture_arrays.hpp"

#include <limits>
#include <string>

namespace py = pybind11;

namespace orvessa::python {

py::array to_rgb_array(const Image& image) {
    py::array_t<std::uint8_t> array({py::ssize_t{image.height}, py::ssize_t{image.width}, py::ssize_t{3}});
    auto out = array.mutable_unchecked<3>();
    const std::int32_t stride = image.stride();
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* bgr = image.pixels.data() + std::size_t(image.height - 1 - y) * stride;
        for (std::int32_t x = 0; x < image.width; ++x, bgr += 3) {
            out(y, x, 0) = bgr[2];
            out(y, x, 1) = bgr[1];
            out(y, x, 2) = bgr[0];
        }
    }
    return array;
}

Image from_rgb_array(const py::object& object) {
    if (!py::isinstance<py::array>(object)) {
        throw py::type_error("expected a numpy.ndarray of dtype uint8 and shape (H, W, 3)");
    }
    const auto array = py::reinterpret_borrow<py::array>(object);
    if (array.dtype().kind() != 'u' || array.dtype().itemsize() != 1) {
        throw py::type_error("expected dtype uint8, got " + std::string(py::str(array.dtype())));
    }
    if (array.ndim() != 3 || array.shape(2) != 3) throw py::value_error("expected shape (H, W, 3)");
    constexpr py::ssize_t limit = std::numeric_limits<std::int32_t>::max() / 3;
    if (array.shape(0) > limit || array.shape(1) > limit ||
        array.shape(0) * array.shape(1) > max_picture_pixels) {
        throw py::value_error("expected at most " + std::to_string(max_picture_pixels) + " pixels");
    }
    Image image;
    image.height = static_cast<std::int32_t>(array.shape(0));
    image.width = static_cast<std::int32_t>(array.shape(1));
    image.pixels.assign(std::size_t(image.stride()) * image.height, 0);
    const auto in = array.unchecked<std::uint8_t, 3>();
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::uint8_t* bgr = image.pixels.data() + std::size_t(image.height - 1 - y) * image.stride();
        for (std::int32_t x = 0; x < image.width; ++x, bgr += 3) {
            bgr[0] = in(y, x, 2);
            bgr[1] = in(y, x, 1);
            bgr[2] = in(y, x, 0);
        }
    }
    return image;
}

}  // namespace orvessa::python
