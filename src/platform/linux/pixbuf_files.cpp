#include "platform/linux/pixbuf_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "orvessa/error.hpp"
#include "orvessa/pixel_layout.hpp"
#include "orvessa/portable_platform.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

namespace {

constexpr std::int32_t file_not_found = control_hresult(53);
constexpr std::int32_t file_access_error = control_hresult(75);
constexpr std::int32_t invalid_picture = control_hresult(481);
constexpr std::int32_t picture_too_large = control_hresult(7);

struct ErrorFree {
    void operator()(GError* e) const noexcept { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

PixbufPtr own(GdkPixbuf* pixbuf) { return PixbufPtr(pixbuf, g_object_unref); }

struct LoaderUnref {
    void operator()(GdkPixbufLoader* loader) const noexcept { g_object_unref(loader); }
};
using LoaderPtr = std::unique_ptr<GdkPixbufLoader, LoaderUnref>;

Error open_error(const std::string& path, int err) {
    const std::int32_t code = err == ENOENT || err == ENOTDIR ? file_not_found : file_access_error;
    return Error::platform(code, path + ": " + std::strerror(err));
}

// The size a picture declares, learnt before its pixels are decoded. A size
// beyond the limit sets the loader's size to 0 x 0, which tells the format's
// module to allocate nothing more and stop.
struct SizeCheck {
    int width = 0, height = 0;
    bool too_large = false;
};

void on_size_prepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    auto& check = *static_cast<SizeCheck*>(data);
    check.width = width;
    check.height = height;
    if (static_cast<std::int64_t>(width) * height > max_picture_pixels) {
        check.too_large = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    }
}

std::uint8_t over_white(std::uint8_t value, std::uint8_t alpha) noexcept {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

PixbufPtr load_pixbuf(const std::string& path) {
    // Opened without blocking, so that a FIFO or a device cannot hold the
    // call; only a regular file is then read.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) throw open_error(path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throw open_error(path, errno);
    if (S_ISDIR(info.st_mode)) throw Error::platform(file_access_error, path + ": is a directory");
    if (!S_ISREG(info.st_mode)) {
        throw Error::platform(file_access_error, path + ": is not a regular file");
    }

    const LoaderPtr loader(gdk_pixbuf_loader_new());
    SizeCheck check;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(on_size_prepared), &check);
    GError* raw_error = nullptr;
    bool written = true;
    std::vector<guchar> chunk(64 * 1024);
    while (written && !check.too_large) {
        const ssize_t got = ::read(file.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int err = errno;
            gdk_pixbuf_loader_close(loader.get(), nullptr);
            throw Error::platform(file_access_error, path + ": " + std::strerror(err));
        }
        if (got == 0) break;
        written = gdk_pixbuf_loader_write(loader.get(), chunk.data(), static_cast<gsize>(got), &raw_error);
    }
    // Closing is where some formats (SVG) first learn their size.
    const bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &raw_error : nullptr);
    const ErrorPtr error(raw_error);
    if (check.too_large) {
        throw Error::platform(picture_too_large,
                              path + ": the picture is " + std::to_string(check.width) + " x " +
                                  std::to_string(check.height) + " pixels, more than the limit of " +
                                  std::to_string(max_picture_pixels) + " pixels");
    }
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader.get()) : nullptr;
    if (pixbuf == nullptr) {
        throw Error::platform(invalid_picture, error ? error->message : path + ": not a picture");
    }
    PixbufPtr owned = own(GDK_PIXBUF(g_object_ref(pixbuf)));
    if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || gdk_pixbuf_get_n_channels(pixbuf) < 3) {
        throw Error::platform(invalid_picture, path + ": unsupported pixel format");
    }
    return owned;
}

void read_pixbuf_row(const GdkPixbuf& pixbuf, int y, int count, std::uint8_t* bgr) noexcept {
    const int channels = gdk_pixbuf_get_n_channels(&pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(&pixbuf);
    const std::uint8_t* p = gdk_pixbuf_read_pixels(&pixbuf) +
                            static_cast<std::ptrdiff_t>(y) * gdk_pixbuf_get_rowstride(&pixbuf);
    for (int x = 0; x < count; ++x, p += channels, bgr += 3) {
        const std::uint8_t a = alpha ? p[3] : 255;
        bgr[0] = over_white(p[2], a);
        bgr[1] = over_white(p[1], a);
        bgr[2] = over_white(p[0], a);
    }
}

}  // namespace orvessa::platform

namespace orvessa {

Image read_picture_file(const std::string& path) {
    const platform::PixbufPtr pixbuf = platform::load_pixbuf(path);
    Image image;
    image.width = gdk_pixbuf_get_width(pixbuf.get());
    image.height = gdk_pixbuf_get_height(pixbuf.get());
    const PixelLayout layout(image.width, image.height);
    try {
        image.pixels.assign(static_cast<std::size_t>(checked_mul(layout.stride, image.height)), 0);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
    for (std::int32_t y = 0; y < image.height; ++y) {
        platform::read_pixbuf_row(*pixbuf, y, image.width, &image.pixels[layout.row_start(y)]);
    }
    return image;
}

namespace {

constexpr std::int32_t write_error = control_hresult(75);

// The image as an RGB pixbuf, for the encoders.
platform::PixbufPtr rgb_pixbuf(const Image& image, const std::string& what) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error::platform(write_error, what + ": an empty picture cannot be saved");
    }
    const PixelLayout layout(image.width, image.height);
    if (image.pixels.size() < static_cast<std::size_t>(layout.stride) * image.height) {
        throw Error::subscript_out_of_range();
    }
    GdkPixbuf* raw = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
    if (raw == nullptr) throw Error::out_of_memory();
    platform::PixbufPtr pixbuf(raw, g_object_unref);
    std::uint8_t* out = gdk_pixbuf_get_pixels(raw);
    const int rowstride = gdk_pixbuf_get_rowstride(raw);
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* in = &image.pixels[layout.row_start(y)];
        std::uint8_t* o = out + static_cast<std::ptrdiff_t>(y) * rowstride;
        for (std::int32_t x = 0; x < image.width; ++x, in += 3, o += 3) {
            o[0] = in[2];
            o[1] = in[1];
            o[2] = in[0];
        }
    }
    return pixbuf;
}

}  // namespace

bool has_bmp_suffix(const std::string& path) noexcept {
    return path.size() >= 4 && g_ascii_strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
}

void write_picture_file(const std::string& path, const Image& image) {
    const platform::PixbufPtr pixbuf = rgb_pixbuf(image, path);
    GError* raw_error = nullptr;
    if (!gdk_pixbuf_save(pixbuf.get(), path.c_str(), has_bmp_suffix(path) ? "bmp" : "png",
                         &raw_error, nullptr)) {
        const std::unique_ptr<GError, void (*)(GError*)> error(raw_error, g_error_free);
        throw Error::platform(write_error, error ? error->message : path + ": cannot be written");
    }
}

std::vector<std::uint8_t> encode_picture(const Image& image, bool bmp) {
    const platform::PixbufPtr pixbuf = rgb_pixbuf(image, "the picture");
    gchar* raw_bytes = nullptr;
    gsize size = 0;
    GError* raw_error = nullptr;
    if (!gdk_pixbuf_save_to_buffer(pixbuf.get(), &raw_bytes, &size, bmp ? "bmp" : "png",
                                   &raw_error, nullptr)) {
        const std::unique_ptr<GError, void (*)(GError*)> error(raw_error, g_error_free);
        throw Error::platform(write_error, error ? error->message : "the picture cannot be encoded");
    }
    const std::unique_ptr<gchar, void (*)(gpointer)> owned(raw_bytes, g_free);
    return {reinterpret_cast<const std::uint8_t*>(raw_bytes),
            reinterpret_cast<const std::uint8_t*>(raw_bytes) + size};
}

}  // namespace orvessa
