#include "platform/linux/picture_formats.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvessa/error.hpp"
#include "platform/linux/vips_pictures.hpp"

namespace orvessa::platform {

namespace {

constexpr std::int32_t write_error = control_hresult(75);

bool same_letters(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void write_bytes(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) throw Error::platform(write_error, std::strerror(put < 0 ? errno : EIO));
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
}

void put_le(std::uint8_t* at, std::uint32_t value, int bytes) noexcept {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 24-bit bottom-up BMP: its rows are those of the pixel buffer layout, so
// the whole picture is decoded first.
void write_bmp(VipsImage* rgb, int fd) {
    const std::uint32_t width = static_cast<std::uint32_t>(rgb->Xsize);
    const std::uint32_t height = static_cast<std::uint32_t>(rgb->Ysize);
    const std::uint64_t stride = (3 * std::uint64_t{width} + 3) & ~std::uint64_t{3};
    std::size_t length = 0;
    const std::unique_ptr<void, decltype(&g_free)> pixels(vips_image_write_to_memory(rgb, &length), g_free);
    if (!pixels) throw Error::platform(write_error, vips_failure());
    const auto head = bmp_head(rgb->Xsize, rgb->Ysize);
    write_bytes(fd, head.data(), head.size());
    // Rows gathered a few hundred kilobytes at a time.
    const std::size_t rows_per_write = std::max<std::size_t>(1, (256 * 1024) / stride);
    std::vector<std::uint8_t> out(rows_per_write * stride, 0);
    const auto* base = static_cast<const std::uint8_t*>(pixels.get());
    std::size_t filled = 0;
    for (std::uint32_t j = 0; j < height; ++j) {
        const std::uint8_t* p = base + std::size_t{height - 1 - j} * width * 3;
        std::uint8_t* q = &out[filled * stride];
        for (std::uint32_t x = 0; x < width; ++x, p += 3, q += 3) {
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
        if (++filled == rows_per_write || j + 1 == height) {
            write_bytes(fd, out.data(), filled * stride);
            filled = 0;
        }
    }
}

}  // namespace

std::array<std::uint8_t, 54> bmp_head(std::int32_t width, std::int32_t height) {
    const std::uint64_t stride = (3 * std::uint64_t(width) + 3) & ~std::uint64_t{3};
    const std::uint64_t size = 54 + stride * std::uint64_t(height);
    if (size > UINT32_MAX) throw Error::platform(write_error, "the picture is too large for a BMP file");
    std::array<std::uint8_t, 54> head{'B', 'M'};
    put_le(&head[2], static_cast<std::uint32_t>(size), 4);
    put_le(&head[10], 54, 4);
    put_le(&head[14], 40, 4);
    put_le(&head[18], static_cast<std::uint32_t>(width), 4);
    put_le(&head[22], static_cast<std::uint32_t>(height), 4);
    put_le(&head[26], 1, 2);   // planes
    put_le(&head[28], 24, 2);  // bits per pixel
    put_le(&head[34], static_cast<std::uint32_t>(size - 54), 4);
    put_le(&head[38], 2835, 4);  // 72 per inch
    put_le(&head[42], 2835, 4);
    return head;
}

void write_picture(VipsImage* rgb, PictureFormat format, int quality, int fd) {
    if (format == PictureFormat::bmp) return write_bmp(rgb, fd);
    const std::unique_ptr<VipsTarget, GObjectUnref> target(vips_target_new_to_descriptor(fd));
    if (!target) throw Error::platform(write_error, vips_failure());
    int failed = 0;
    switch (format) {
        case PictureFormat::png:
            failed = vips_pngsave_target(rgb, target.get(), "compression", png_compression, "filter",
                                         png_filter, nullptr);
            break;
        case PictureFormat::jpeg:
            failed = vips_jpegsave_target(rgb, target.get(), "Q", quality, nullptr);
            break;
        case PictureFormat::webp:
            failed = vips_webpsave_target(rgb, target.get(), "Q", quality, nullptr);
            break;
        case PictureFormat::tiff: failed = vips_tiffsave_target(rgb, target.get(), nullptr); break;
        case PictureFormat::bmp: break;
    }
    if (failed != 0) throw Error::platform(write_error, vips_failure());
}

}  // namespace orvessa::platform

namespace orvessa {

std::optional<PictureFormat> picture_format_named(std::string_view name) noexcept {
    static constexpr std::pair<std::string_view, PictureFormat> names[] = {
        {"png", PictureFormat::png},   {"jpeg", PictureFormat::jpeg}, {"jpg", PictureFormat::jpeg},
        {"bmp", PictureFormat::bmp},   {"webp", PictureFormat::webp}, {"tiff", PictureFormat::tiff},
        {"tif", PictureFormat::tiff},
    };
    for (const auto& [text, format] : names) {
        if (platform::same_letters(text, name)) return format;
    }
    return std::nullopt;
}

std::string_view picture_format_extension(PictureFormat format) noexcept {
    switch (format) {
        case PictureFormat::jpeg: return "jpg";
        case PictureFormat::bmp: return "bmp";
        case PictureFormat::webp: return "webp";
        case PictureFormat::tiff: return "tif";
        case PictureFormat::png: break;
    }
    return "png";
}

std::optional<std::string_view> file_extension(std::string_view path) noexcept {
    const auto slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = base.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return base.substr(dot + 1);
}

bool has_quality(PictureFormat format) noexcept {
    return format == PictureFormat::jpeg || format == PictureFormat::webp;
}

}  // namespace orvessa
