#include "platform/linux/picture_reading.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "orvessa/error.hpp"
#include "platform/linux/picture_formats.hpp"

namespace orvessa::platform {

namespace {

Error open_error(const std::string& path, int err) {
    const ErrorNumber n = err == ENOENT || err == ENOTDIR ? ErrorNumber::file_not_found : ErrorNumber::file_access;
    return Error::reading(n, path, std::strerror(err), err);
}

Error invalid(const std::string& name, const std::string& reason) {
    return Error::reading(ErrorNumber::invalid_picture, name, reason);
}

Error too_large(const std::string& name, const codecs::TooLarge& large, std::int64_t max_pixels) {
    return Error::reading(ErrorNumber::out_of_memory, name,
                          "the picture is " + std::to_string(large.width) + " x " + std::to_string(large.height) +
                              " pixels, more than the limit of " + std::to_string(max_pixels) + " pixels");
}

const FormatRow& format_of(const DescriptorSource& source, const std::string& name) {
    if (source.head().empty()) throw invalid(name, "the file is empty");
    const FormatRow* format = format_of_bytes(source.head());
    if (format == nullptr) throw invalid(name, "not a picture of a format read here (" + formats_read() + ")");
    if (format->open == nullptr) throw invalid(name, std::string(format->refusal));
    return *format;
}

}  // namespace

UniqueFd open_picture_file(const std::string& path) {
    // Opened without blocking, so that a FIFO or a device cannot hold the
    // call; only a regular file is then read.
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) throw open_error(path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throw open_error(path, errno);
    if (S_ISDIR(info.st_mode)) throw open_error(path, EISDIR);
    if (!S_ISREG(info.st_mode)) throw Error::reading(ErrorNumber::file_access, path, "not a regular file");
    // A file that cannot be read at all (some files under /proc) says so now.
    char first = 0;
    if (::pread(file.get(), &first, 1, 0) < 0) throw open_error(path, errno);
    return file;
}

bool holds_picture_format(int fd) {
    std::uint8_t head[sniff_bytes];
    const ssize_t got = read_some(fd, head, sizeof head);
    const FormatRow* format = got > 0 ? format_of_bytes({head, static_cast<std::size_t>(got)}) : nullptr;
    return format != nullptr && format->open != nullptr;
}

OpenedPicture::OpenedPicture(int fd, std::string name, std::int64_t max_pixels)
    : name_(std::move(name)), source_(fd, name_) {
    const FormatRow& format = format_of(source_, name_);
    format_ = format.name;
    try {
        reader_ = format.open(source_, max_pixels);
    } catch (const codecs::TooLarge& large) {
        throw too_large(name_, large, max_pixels);
    } catch (const codecs::BadPicture& bad) {
        throw invalid(name_, "a broken " + std::string(format_) + ": " + bad.what());
    } catch (const std::bad_alloc&) {
        throw Error::reading(ErrorNumber::out_of_memory, name_, "out of memory");
    }
}

void OpenedPicture::read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) {
    try {
        reader_->read_rows(rgb, step, count);
    } catch (const codecs::BadPicture& bad) {
        throw invalid(name_, "the " + std::string(format_) + " picture is cut short or corrupt: " + bad.what());
    } catch (const std::bad_alloc&) {
        throw Error::reading(ErrorNumber::out_of_memory, name_, "out of memory");
    }
}

void place_upright(const std::uint8_t* row, std::int32_t y, std::int32_t width, std::int32_t height,
                   int orientation, int pixel_bytes, std::uint8_t* out, std::ptrdiff_t out_step) noexcept {
    const auto n = static_cast<std::size_t>(pixel_bytes);
    if (orientation < 2 || orientation > 8) {
        std::memcpy(out + y * out_step, row, static_cast<std::size_t>(width) * n);
        return;
    }
    for (std::int32_t x = 0; x < width; ++x) {
        // Where the stored pixel (x, y) lies upright: mirrored (2, 4), turned
        // half round (3), across the diagonal (5), a quarter right (6) or
        // left (8), across the other diagonal (7).
        std::int32_t u = x, v = y;
        switch (orientation) {
            case 2: u = width - 1 - x; break;
            case 3: u = width - 1 - x, v = height - 1 - y; break;
            case 4: v = height - 1 - y; break;
            case 5: u = y, v = x; break;
            case 6: u = height - 1 - y, v = x; break;
            case 7: u = height - 1 - y, v = width - 1 - x; break;
            case 8: u = y, v = width - 1 - x; break;
        }
        std::memcpy(out + v * out_step + static_cast<std::ptrdiff_t>(u) * pixel_bytes, row + x * n, n);
    }
}

BgrImage decode_picture_file(const std::string& path, std::int64_t max_pixels) {
    const UniqueFd file = open_picture_file(path);
    OpenedPicture picture(file.get(), path, max_pixels);
    const std::int32_t width = picture.info().width, height = picture.info().height;
    const int orientation = picture.info().orientation;
    BgrImage decoded;
    const bool sideways = orientation >= 5;
    decoded.width = sideways ? height : width;
    decoded.height = sideways ? width : height;
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> rgb;
    try {
        decoded.bgr.resize(row_bytes * static_cast<std::size_t>(height));
        rgb.resize(row_bytes);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
    for (std::int32_t y = 0; y < height; ++y) {
        picture.read_rows(rgb.data(), 0, 1);
        for (std::size_t i = 0; i < row_bytes; i += 3) std::swap(rgb[i], rgb[i + 2]);
        place_upright(rgb.data(), y, width, height, orientation, 3, decoded.bgr.data(),
                      static_cast<std::ptrdiff_t>(decoded.width) * 3);
    }
    return decoded;
}

}  // namespace orvessa::platform
