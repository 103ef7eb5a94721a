#include "platform/linux/picture_formats.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvessa/error.hpp"
#include "orvessa/linux_platform.hpp"
#include "orvessa/pixel_layout.hpp"
#include "platform/linux/vips_pictures.hpp"

namespace orvessa::platform {

namespace {

bool starts(Bytes head, std::string_view magic) noexcept {
    return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

bool is_jpeg(Bytes h) noexcept { return starts(h, "\xFF\xD8\xFF"); }
bool is_png(Bytes h) noexcept { return starts(h, "\x89PNG\r\n\x1A\n"); }
bool is_gif(Bytes h) noexcept { return starts(h, "GIF87a") || starts(h, "GIF89a"); }
bool is_tiff(Bytes h) noexcept {
    using namespace std::string_view_literals;
    return starts(h, "II*\0"sv) || starts(h, "MM\0*"sv) || starts(h, "II+\0"sv) || starts(h, "MM\0+"sv);
}
bool is_webp(Bytes h) noexcept { return starts(h, "RIFF") && starts(h.subspan(std::min<std::size_t>(8, h.size())), "WEBP"); }
bool is_space(std::uint8_t c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// P1 to P6 and the float maps PF and Pf, then white space.
bool is_pnm(Bytes h) noexcept {
    return h.size() >= 3 && h[0] == 'P' && std::strchr("123456Ff", h[1]) != nullptr && h[1] != 0 && is_space(h[2]);
}

// XML whose first element is <svg>: declarations, comments and a DOCTYPE
// may come before it, but no internal subset that names outside entities.
bool is_svg(Bytes h) noexcept {
    std::string_view t(reinterpret_cast<const char*>(h.data()), h.size());
    if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
    const auto skip_past = [&t](std::string_view end) {
        const auto at = t.find(end);
        t.remove_prefix(at == std::string_view::npos ? t.size() : at + end.size());
    };
    for (;;) {
        t.remove_prefix(std::min(t.find_first_not_of(" \t\r\n"), t.size()));
        if (t.substr(0, 2) == "<?") {
            skip_past("?>");
        } else if (t.substr(0, 4) == "<!--") {
            skip_past("-->");
        } else if (t.substr(0, 9) == "<!DOCTYPE") {
            const auto subset = t.find('[');
            const auto close = t.find('>');
            if (subset != std::string_view::npos && subset < close) {
                const auto end = t.find("]>", subset);
                const std::string_view inner = t.substr(subset, end == std::string_view::npos ? t.size() : end - subset);
                if (inner.find("SYSTEM") != std::string_view::npos || inner.find("PUBLIC") != std::string_view::npos) {
                    return false;
                }
                skip_past("]>");
            } else {
                skip_past(">");
            }
        } else {
            break;
        }
    }
    return t.size() > 4 && t.substr(0, 4) == "<svg" && (is_space(static_cast<std::uint8_t>(t[4])) || t[4] == '>' || t[4] == '/');
}

// The file's pixels as the decoder gives them, rows requested top to bottom.
template <int (*Load)(VipsSource*, VipsImage**, ...)>
int sequential(VipsSource* source, VipsImage** out) {
    return Load(source, out, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", VIPS_FAIL_ON_ERROR, nullptr);
}

// PNG pictures inside icons go to the PNG decoder.
codecs::RgbaPicture png_in_icon(Bytes png) {
    VipsImage* loaded = nullptr;
    if (vips_pngload_buffer(const_cast<std::uint8_t*>(png.data()), png.size(), &loaded, "fail_on",
                            VIPS_FAIL_ON_ERROR, nullptr) != 0) {
        throw codecs::BadPicture("an icon's PNG image: " + vips_failure());
    }
    VipsImagePtr image(loaded);
    VipsImage* rgba = nullptr;
    if (vips_colourspace(image.get(), &rgba, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
        throw codecs::BadPicture("an icon's PNG image: " + vips_failure());
    }
    image.reset(rgba);
    if (image->BandFmt != VIPS_FORMAT_UCHAR) {
        VipsImage* cast = nullptr;
        if (vips_cast_uchar(image.get(), &cast, nullptr) != 0) throw codecs::BadPicture(vips_failure());
        image.reset(cast);
    }
    if (image->Bands == 3) {
        VipsImage* alpha = nullptr;
        if (vips_bandjoin_const1(image.get(), &alpha, 255, nullptr) != 0) throw codecs::BadPicture(vips_failure());
        image.reset(alpha);
    }
    if (image->Bands != 4) throw codecs::BadPicture("an icon's PNG image has an unusual pixel format");
    codecs::RgbaPicture picture;
    picture.width = image->Xsize;
    picture.height = image->Ysize;
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> pixels(vips_image_write_to_memory(image.get(), &size), g_free);
    if (!pixels) throw codecs::BadPicture("an icon's PNG image: " + vips_failure());
    const auto* bytes = static_cast<const std::uint8_t*>(pixels.get());
    picture.rgba.assign(bytes, bytes + size);
    return picture;
}

codecs::RgbaPicture decode_icon(Bytes file, std::int64_t max_pixels) {
    return codecs::decode_icon(file, max_pixels, png_in_icon);
}

void put_le(std::uint8_t* at, std::uint32_t value, int bytes) noexcept {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A 24-bit bottom-up BMP: its rows are those of the pixel buffer layout, so
// the whole picture is decoded first.
int save_bmp(VipsImage* rgb, VipsTarget* target, int) {
    const std::uint32_t width = static_cast<std::uint32_t>(rgb->Xsize);
    const std::uint32_t height = static_cast<std::uint32_t>(rgb->Ysize);
    const std::size_t stride = row_stride(rgb->Xsize);
    std::array<std::uint8_t, 54> head{};
    try {
        head = bmp_head(rgb->Xsize, rgb->Ysize);
    } catch (const Error& e) {
        vips_error("orvessa", "%s", e.description().c_str());
        return -1;
    }
    std::size_t length = 0;
    const std::unique_ptr<void, decltype(&g_free)> pixels(vips_image_write_to_memory(rgb, &length), g_free);
    if (!pixels || vips_target_write(target, head.data(), head.size()) != 0) return -1;
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
            if (vips_target_write(target, out.data(), filled * stride) != 0) return -1;
            filled = 0;
        }
    }
    return vips_target_end(target);
}

int save_png(VipsImage* rgb, VipsTarget* target, int) {
    return vips_pngsave_target(rgb, target, "compression", png_compression, "filter", png_filter, nullptr);
}
int save_jpeg(VipsImage* rgb, VipsTarget* target, int quality) {
    return vips_jpegsave_target(rgb, target, "Q", quality, nullptr);
}
int save_webp(VipsImage* rgb, VipsTarget* target, int quality) {
    return vips_webpsave_target(rgb, target, "Q", quality, nullptr);
}
int save_tiff(VipsImage* rgb, VipsTarget* target, int) { return vips_tiffsave_target(rgb, target, nullptr); }

using enum PictureFormat;
constexpr FormatRow formats[] = {
    {"PNG", is_png, sequential<vips_pngload_source>, nullptr, png, {"png"}, false, save_png},
    {"JPEG", is_jpeg, sequential<vips_jpegload_source>, nullptr, jpeg, {"jpeg", "jpg"}, true, save_jpeg},
    {"BMP", codecs::is_bmp, nullptr, codecs::decode_bmp, bmp, {"bmp"}, false, save_bmp},
    {"WebP", is_webp, sequential<vips_webpload_source>, nullptr, webp, {"webp"}, true, save_webp},
    {"TIFF", is_tiff, sequential<vips_tiffload_source>, nullptr, tiff, {"tiff", "tif"}, false, save_tiff},
    {"GIF", is_gif, sequential<vips_gifload_source>, nullptr, std::nullopt, {}, false, nullptr},
    {"ICO, CUR", codecs::is_icon, nullptr, decode_icon, std::nullopt, {}, false, nullptr},
    {"PNM", is_pnm, sequential<vips_ppmload_source>, nullptr, std::nullopt, {}, false, nullptr},
    {"SVG", is_svg, sequential<vips_svgload_source>, nullptr, std::nullopt, {}, false, nullptr},
};

}  // namespace

const FormatRow* format_of_bytes(Bytes head) noexcept {
    for (const FormatRow& row : formats) {
        if (row.sniff(head)) return &row;
    }
    return nullptr;
}

const FormatRow& format_row(PictureFormat format) noexcept {
    for (const FormatRow& row : formats) {
        if (row.written == format) return row;
    }
    return formats[0];
}

std::string formats_read() {
    std::string list;
    for (const FormatRow& row : formats) list += (list.empty() ? "" : ", ") + std::string(row.name);
    return list;
}

std::vector<std::uint8_t> rgb_rows(const Image& image) {
    const PixelLayout layout(image.width, image.height);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * 3 * image.height);
    std::uint8_t* out = rgb.data();
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* in = &image.pixels[layout.row_start(y)];
        for (std::int32_t x = 0; x < image.width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return rgb;
}

std::array<std::uint8_t, 54> bmp_head(std::int32_t width, std::int32_t height) {
    const std::uint64_t stride = (3 * std::uint64_t(width) + 3) & ~std::uint64_t{3};
    const std::uint64_t size = 54 + stride * std::uint64_t(height);
    if (size > UINT32_MAX) throw Error::of(ErrorNumber::file_access, "the picture is too large for a BMP file");
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

}  // namespace orvessa::platform

namespace orvessa {

std::optional<PictureFormat> picture_format_named(std::string_view name) noexcept {
    for (const auto& row : platform::formats) {
        for (const std::string_view text : row.names) {
            if (row.written && !text.empty() && text.size() == name.size() &&
                g_ascii_strncasecmp(text.data(), name.data(), text.size()) == 0) {
                return row.written;
            }
        }
    }
    return std::nullopt;
}

std::string_view picture_format_extension(PictureFormat format) noexcept {
    const auto& names = platform::format_row(format).names;
    return names[1].empty() ? names[0] : names[1];
}

std::string written_picture_formats() {
    std::string list;
    for (const auto& row : platform::formats) {
        if (!row.written) continue;
        list += (list.empty() ? "" : ", ") + std::string(row.names[0]);
        if (!row.names[1].empty()) list += " (" + std::string(row.names[1]) + ")";
    }
    return list;
}

std::optional<std::string_view> file_extension(std::string_view path) noexcept {
    const auto slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = base.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return base.substr(dot + 1);
}

bool has_quality(PictureFormat format) noexcept { return platform::format_row(format).quality; }

}  // namespace orvessa
