#include "platform/linux/picture_formats.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "codecs/bmp_codec.hpp"
#include "codecs/gif_codec.hpp"
#include "codecs/jpeg_codec.hpp"
#include "codecs/png_codec.hpp"
#include "codecs/pnm_codec.hpp"
#include "codecs/tiff_codec.hpp"
#include "codecs/webp_codec.hpp"

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
    return h.size() >= 3 && h[0] == 'P' && h[1] != 0 && std::strchr("123456Ff", h[1]) != nullptr && is_space(h[2]);
}

// XML whose first element is <svg>: declarations, comments and a DOCTYPE
// may come before it.
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
            skip_past(subset != std::string_view::npos && subset < t.find('>') ? "]>" : ">");
        } else {
            break;
        }
    }
    return t.size() > 4 && t.substr(0, 4) == "<svg" && (is_space(static_cast<std::uint8_t>(t[4])) || t[4] == '>' || t[4] == '/');
}

using enum PictureFormat;
using namespace codecs;
constexpr FormatRow formats[] = {
    {"PNG", is_png, open_png, {}, png, {"png"}, false,
     [](ByteSink& sink, const PictureInfo& info, int) { return png_writer(sink, info); }},
    {"JPEG", is_jpeg, open_jpeg, {}, jpeg, {"jpeg", "jpg"}, true, jpeg_writer},
    {"BMP", is_bmp, open_bmp, {}, bmp, {"bmp"}, false,
     [](ByteSink& sink, const PictureInfo& info, int) { return bmp_writer(sink, info); }},
    {"WebP", is_webp, open_webp, {}, webp, {"webp"}, true, webp_writer},
    {"TIFF", is_tiff, open_tiff, {}, tiff, {"tiff", "tif"}, false,
     [](ByteSink& sink, const PictureInfo& info, int) { return tiff_writer(sink, info); }},
    {"GIF", is_gif, open_gif, {}, std::nullopt, {}, false, nullptr},
    {"ICO, CUR", is_icon, open_icon, {}, std::nullopt, {}, false, nullptr},
    {"PNM", is_pnm, open_pnm, {}, std::nullopt, {}, false, nullptr},
    // Drawing SVG would bring a renderer and its libraries into every
    // install for a rare input; the message says how to make a picture of it.
    {"SVG", is_svg, nullptr,
     "an SVG drawing is not read here: draw it into a PNG first, for example with "
     "rsvg-convert -o drawing.png drawing.svg",
     std::nullopt, {}, false, nullptr},
};

bool same_letters(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

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
    for (const FormatRow& row : formats) {
        if (row.open != nullptr) list += (list.empty() ? "" : ", ") + std::string(row.name);
    }
    return list;
}

}  // namespace orvessa::platform

namespace orvessa {

std::optional<PictureFormat> picture_format_named(std::string_view name) noexcept {
    for (const auto& row : platform::formats) {
        for (const std::string_view text : row.names) {
            if (row.written && !text.empty() && platform::same_letters(text, name)) return row.written;
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
