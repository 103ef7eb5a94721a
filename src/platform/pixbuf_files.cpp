#include "platform/pixbuf_files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "orvessa/error.hpp"
#include "orvessa/pixel_layout.hpp"
#include "orvessa/portable_platform.hpp"

namespace orvessa::platform {

namespace {

constexpr std::int32_t file_not_found = control_hresult(53);
constexpr std::int32_t file_access_error = control_hresult(75);
constexpr std::int32_t invalid_picture = control_hresult(481);

struct ErrorFree {
    void operator()(GError* e) const noexcept { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

PixbufPtr own(GdkPixbuf* pixbuf) { return PixbufPtr(pixbuf, g_object_unref); }

std::uint8_t over_white(std::uint8_t value, std::uint8_t alpha) noexcept {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

PixbufPtr load_pixbuf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int err = errno;
        const std::int32_t code = err == ENOENT || err == ENOTDIR ? file_not_found : file_access_error;
        throw Error::platform(code, path + ": " + std::strerror(err));
    }
    if (S_ISDIR(info.st_mode)) throw Error::platform(file_access_error, path + ": is a directory");

    GError* raw_error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &raw_error);
    const ErrorPtr error(raw_error);
    if (pixbuf == nullptr) {
        const bool file_error = error && error->domain == G_FILE_ERROR;
        throw Error::platform(file_error ? file_access_error : invalid_picture,
                              error ? error->message : path + ": not a picture");
    }
    PixbufPtr owned = own(pixbuf);
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

void write_picture_file(const std::string& path, const Image& image) {
    constexpr std::int32_t write_error = control_hresult(75);
    if (image.width <= 0 || image.height <= 0) {
        throw Error::platform(write_error, path + ": an empty picture cannot be saved");
    }
    const PixelLayout layout(image.width, image.height);
    if (image.pixels.size() < static_cast<std::size_t>(layout.stride) * image.height) {
        throw Error::subscript_out_of_range();
    }
    GdkPixbuf* raw = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
    if (raw == nullptr) throw Error::out_of_memory();
    const platform::PixbufPtr pixbuf(raw, g_object_unref);
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
    const bool bmp = path.size() >= 4 && g_ascii_strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
    GError* raw_error = nullptr;
    if (!gdk_pixbuf_save(raw, path.c_str(), bmp ? "bmp" : "png", &raw_error, nullptr)) {
        const std::unique_ptr<GError, void (*)(GError*)> error(raw_error, g_error_free);
        throw Error::platform(write_error, error ? error->message : path + ": cannot be written");
    }
}

}  // namespace orvessa
