#include "pictures.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "errors.hpp"
#include "orvessa/error.hpp"
#include "orvessa/picture_stream.hpp"
#include "platform/linux/unique_fd.hpp"

namespace py = pybind11;

namespace orvessa::python {

namespace {

[[noreturn]] void raise_os_error(const std::string& path, int number) {
    errno = number;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
}

PictureFormat format_of(const std::string& path) {
    const auto extension = file_extension(path);
    if (!extension) return PictureFormat::png;
    const auto format = picture_format_named(*extension);
    if (!format) {
        throw py::value_error("cannot write ." + std::string(*extension) +
                              " pictures; the path may end in " + std::string(written_picture_formats));
    }
    return *format;
}

int quality_for(PictureFormat format, std::optional<int> quality) {
    if (!quality) return default_picture_quality;
    if (!has_quality(format)) throw py::value_error("quality goes with JPEG and WebP files");
    if (*quality < 1 || *quality > 100) throw py::value_error("quality must be 1 to 100");
    return *quality;
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
        copy_.resize(static_cast<std::size_t>(array_.size()));
        const auto in = array_.unchecked<std::uint8_t, 3>();
        std::uint8_t* out = copy_.data();
        for (py::ssize_t y = 0; y < in.shape(0); ++y) {
            for (py::ssize_t x = 0; x < in.shape(1); ++x, out += 3) {
                out[0] = in(y, x, 0);
                out[1] = in(y, x, 1);
                out[2] = in(y, x, 2);
            }
        }
        data_ = copy_.data();
    }
    PictureStream stream() const { return PictureStream::of_rows(data_, width_, height_); }

private:
    py::array array_;  // keeps the rows alive
    std::vector<std::uint8_t> copy_;
    const std::uint8_t* data_ = nullptr;
    std::int32_t width_ = 0, height_ = 0;
};

void discard(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}


// Writes the stream into the file at `path` without the GIL; a file that
// cannot be written whole is removed.
void write_stream(const PictureStream& picture, const std::string& path, PictureFormat format,
                  int quality) {
    int failed_errno = 0;
    try {
        const py::gil_scoped_release unlocked;
        platform::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (file.get() < 0) {
            failed_errno = errno;
        } else {
            try {
                picture.write(file.get(), format, quality);
            } catch (const Error&) {
                file.close();
                discard(path);
                throw;
            }
            if (!file.close()) {
                failed_errno = errno;
                discard(path);
            }
        }
    } catch (const Error& e) {
        raise_error(e);
    }
    if (failed_errno != 0) raise_os_error(path, failed_errno);
}

}  // namespace

py::array read_picture(const std::string& path, std::int64_t max_pixels) {
    if (max_pixels < 1) throw py::value_error("max_pixels must be positive");
    try {
        std::optional<PictureStream> picture;
        {
            const py::gil_scoped_release unlocked;
            picture = PictureStream::open_file(path, max_pixels);
        }
        py::array_t<std::uint8_t> array(
            {py::ssize_t{picture->height()}, py::ssize_t{picture->width()}, py::ssize_t{3}});
        std::uint8_t* rows = array.mutable_data();
        const std::ptrdiff_t row_step = array.strides(0);
        {
            const py::gil_scoped_release unlocked;
            picture->read_rows(rows, row_step);
        }
        return array;
    } catch (const Error& e) {
        raise_error(e);
    }
}

void write_picture(const std::string& path, const py::object& image, std::optional<int> quality) {
    const PictureFormat format = format_of(path);
    const int chosen_quality = quality_for(format, quality);
    const RgbRows rows(image);
    std::optional<PictureStream> picture;
    try {
        picture = rows.stream();
    } catch (const Error& e) {
        raise_error(e);
    }
    write_stream(*picture, path, format, chosen_quality);
}

void filter_file(PixelFilter filter, const std::string& source, const std::string& target,
                 std::optional<int> quality, std::int64_t max_pixels) {
    if (max_pixels < 1) throw py::value_error("max_pixels must be positive");
    const PictureFormat format = format_of(target);
    const int chosen_quality = quality_for(format, quality);
    std::optional<PictureStream> filtered;
    try {
        const py::gil_scoped_release unlocked;
        filtered = PictureStream::open_file(source, max_pixels).filtered(filter);
    } catch (const Error& e) {
        raise_error(e);
    }
    write_stream(*filtered, target, format, chosen_quality);
}

py::array rgb_array_of(const Image& image) {
    py::array_t<std::uint8_t> array({py::ssize_t{image.height}, py::ssize_t{image.width}, py::ssize_t{3}});
    auto out = array.mutable_unchecked<3>();
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* bgr = image.pixels.data() + std::size_t(image.height - 1 - y) * image.stride();
        for (std::int32_t x = 0; x < image.width; ++x, bgr += 3) {
            out(y, x, 0) = bgr[2];
            out(y, x, 1) = bgr[1];
            out(y, x, 2) = bgr[0];
        }
    }
    return array;
}

}  // namespace orvessa::python
