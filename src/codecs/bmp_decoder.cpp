#include "codecs/bmp_decoder.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

namespace orvessa::codecs {
namespace {

using u64 = std::uint64_t;

constexpr const char* head_cut = "the bitmap's head is cut short";
constexpr const char* data_cut = "the pixel data ends early";

[[noreturn]] void bad(const char* why) { throw BadPicture(why); }

// Every read goes through fits() first: offsets come from the file.
bool fits(Bytes b, u64 at, u64 n) noexcept { return at <= b.size() && n <= b.size() - at; }
std::uint32_t u16(Bytes b, u64 at) noexcept { return b[at] | b[at + 1] << 8; }
std::uint32_t u32(Bytes b, u64 at) noexcept {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

enum Compression : std::uint32_t { rgb, rle8, rle4, bitfields, jpeg, png_inside, alpha_bitfields };

// 12: OS/2 1.x; 16 to 64: OS/2 2.x and the Windows heads of 40, 52 and 56
// bytes; 108 and 124: the Windows V4 and V5 heads.
bool known_head_size(std::uint32_t n) noexcept { return n == 12 || (n >= 16 && n <= 64) || n == 108 || n == 124; }
bool windows_head(std::uint32_t n) noexcept { return n == 40 || n == 52 || n == 56 || n == 108 || n == 124; }

bool allowed(unsigned bits, std::uint32_t compression) noexcept {
    switch (compression) {
        case rgb: return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
        case rle8: return bits == 8;
        case rle4: return bits == 4;
        case bitfields:
        case alpha_bitfields: return bits == 16 || bits == 32;
        default: return false;
    }
}

// What the info header says, sizes made positive.
struct Dib {
    std::uint32_t head_size = 0;
    std::int64_t width = 0, height = 0;
    bool top_down = false;
    unsigned bits = 0;
    std::uint32_t compression = rgb;
    u64 colors_used = 0;
    unsigned entry_size = 4;     // a colour table entry: 3 bytes in OS/2 1.x files
    u64 palette_at = 0;          // just past the head and its masks
    std::uint32_t masks[4] = {};  // R, G, B, A of 16- and 32-bit pixels
    std::int32_t pixels_per_metre[2] = {};  // x, y; OS/2 1.x heads have none
};

Dib read_dib(Bytes f, u64 at) {
    if (!fits(f, at, 4)) bad(head_cut);
    Dib d;
    d.head_size = u32(f, at);
    if (!known_head_size(d.head_size)) bad("the bitmap's info header has an unknown size");
    if (!fits(f, at, d.head_size)) bad(head_cut);
    unsigned planes;
    if (d.head_size == 12) {
        d.width = u16(f, at + 4);
        d.height = u16(f, at + 6);
        planes = u16(f, at + 8);
        d.bits = u16(f, at + 10);
        d.entry_size = 3;
    } else {
        d.width = static_cast<std::int32_t>(u32(f, at + 4));
        d.height = static_cast<std::int32_t>(u32(f, at + 8));
        planes = u16(f, at + 12);
        d.bits = u16(f, at + 14);
        if (d.head_size >= 20) d.compression = u32(f, at + 16);
        if (d.head_size >= 32) {
            d.pixels_per_metre[0] = static_cast<std::int32_t>(u32(f, at + 24));
            d.pixels_per_metre[1] = static_cast<std::int32_t>(u32(f, at + 28));
        }
        if (d.head_size >= 36) d.colors_used = u32(f, at + 32);
    }
    if (planes != 1) bad("the bitmap's plane count is not 1");
    if (d.width <= 0 || d.height == 0) bad("the picture has no pixels");
    d.top_down = d.height < 0;
    d.height = d.height < 0 ? -d.height : d.height;

    if (d.compression == jpeg) bad(windows_head(d.head_size) ? "JPEG data inside a BMP file is not supported"
                                                              : "OS/2 RLE24 compression is not supported");
    if (d.compression == png_inside) bad("PNG data inside a BMP file is not supported");
    if (d.compression == bitfields && !windows_head(d.head_size)) bad("OS/2 Huffman compression is not supported");
    if (d.compression > alpha_bitfields) bad("the bitmap's compression is unknown");
    if (!allowed(d.bits, d.compression)) bad("the bitmap's bit count is not allowed with its compression");

    u64 after = at + d.head_size;
    if (d.compression == bitfields || d.compression == alpha_bitfields) {
        // Heads of 52 bytes and more hold the masks; a 40-byte head is followed by them.
        const bool inside = d.head_size >= 52;
        const int count = inside ? (d.head_size >= 56 ? 4 : 3) : (d.compression == alpha_bitfields ? 4 : 3);
        const u64 masks_at = inside ? at + 40 : after;
        if (!fits(f, masks_at, 4 * count)) bad(head_cut);
        for (int i = 0; i < count; ++i) d.masks[i] = u32(f, masks_at + 4 * i);
        if (!inside) after += 4 * count;
    } else {
        // Without bit fields 16 bits are 5-5-5, and a 32-bit pixel's fourth byte is not alpha.
        static constexpr std::uint32_t five[4] = {0x7C00, 0x3E0, 0x1F, 0}, eight[4] = {0xFF0000, 0xFF00, 0xFF, 0};
        std::memcpy(d.masks, d.bits == 16 ? five : eight, sizeof d.masks);
    }
    d.palette_at = after;
    return d;
}

// Indices past the colour table (a short table, a bad index) read as opaque
// black rather than being refused: files with a few such pixels are common.
using Palette = std::array<std::array<std::uint8_t, 4>, 256>;

Palette read_palette(Bytes f, const Dib& d, u64 end) {
    Palette p;
    p.fill({0, 0, 0, 255});
    if (d.bits > 8) return p;
    const u64 all = u64{1} << d.bits;
    const u64 declared = d.colors_used == 0 || d.colors_used > all ? all : d.colors_used;
    end = std::min<u64>(end, f.size());
    const u64 room = end > d.palette_at ? (end - d.palette_at) / d.entry_size : 0;
    for (u64 i = 0; i < std::min(declared, room); ++i) {
        const u64 e = d.palette_at + i * d.entry_size;
        p[i] = {f[e + 2], f[e + 1], f[e], 255};
    }
    return p;
}

void check_dimensions(std::int64_t width, std::int64_t height, std::int64_t max_pixels) {
    if (width <= 0 || height <= 0) bad("the picture has no pixels");
    constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
    if (width > most || height > most || width * height > max_pixels ||
        static_cast<u64>(width * height) > std::vector<std::uint8_t>().max_size() / 4) {
        throw TooLarge{width, height};
    }
}

// Zero: pixels that run-length data never sets stay transparent black.
RgbaImage blank(const Dib& d) {
    RgbaImage p;
    p.width = static_cast<std::int32_t>(d.width);
    p.height = static_cast<std::int32_t>(d.height);
    p.rgba.assign(static_cast<std::size_t>(d.width * d.height * 4), 0);
    return p;
}

std::uint8_t* row_of(RgbaImage& p, const Dib& d, u64 file_row) {
    const u64 y = d.top_down ? file_row : static_cast<u64>(d.height) - 1 - file_row;
    return p.rgba.data() + static_cast<std::size_t>(y * static_cast<u64>(d.width) * 4);
}

u64 stride_of(std::int64_t width, unsigned bits) { return (static_cast<u64>(width) * bits + 31) / 32 * 4; }

bool rows_fit(Bytes f, u64 at, u64 stride, std::int64_t rows) {
    return at <= f.size() && static_cast<u64>(rows) <= (f.size() - at) / stride;
}

// One channel of a 16- or 32-bit pixel, scaled from its mask's width to 8
// bits; a mask with holes reads as the span from its lowest to its highest bit.
struct Channel {
    std::uint32_t mask;
    int shift;
    u64 max;
    std::uint8_t absent;
    Channel(std::uint32_t m, std::uint8_t absent_value)
        : mask(m), shift(m != 0 ? std::countr_zero(m) : 0),
          max(m != 0 ? (u64{1} << std::bit_width(m >> shift)) - 1 : 1), absent(absent_value) {}
    std::uint8_t operator()(std::uint32_t v) const noexcept {
        if (mask == 0) return absent;
        return static_cast<std::uint8_t>((((v & mask) >> shift) * u64{255} + max / 2) / max);
    }
};

// Uncompressed rows; the caller has checked that they are in `f`.
void decode_rows(Bytes f, u64 at, const Dib& d, const Palette& pal, RgbaImage& pic) {
    const u64 stride = stride_of(d.width, d.bits), width = static_cast<u64>(d.width);
    const unsigned bits = d.bits, index_mask = (1u << std::min(bits, 8u)) - 1;
    const Channel r(d.masks[0], 0), g(d.masks[1], 0), b(d.masks[2], 0), a(d.masks[3], 255);
    for (u64 row = 0; row < static_cast<u64>(d.height); ++row) {
        const std::uint8_t* src = f.data() + at + row * stride;
        std::uint8_t* out = row_of(pic, d, row);
        for (u64 x = 0; x < width; ++x, out += 4) {
            if (bits <= 8) {
                const u64 bit = x * bits;
                std::memcpy(out, pal[src[bit / 8] >> (8 - bits - bit % 8) & index_mask].data(), 4);
            } else if (bits == 24) {
                const std::uint8_t* p = src + 3 * x;
                out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
            } else {
                const std::uint8_t* p = src + x * (bits / 8);
                const std::uint32_t v = bits == 16 ? p[0] | p[1] << 8 : u32(Bytes(p, 4), 0);
                out[0] = r(v), out[1] = g(v), out[2] = b(v), out[3] = a(v);
            }
        }
    }
}

// RLE8 and RLE4 from `at` to the end of the file, which must hold the
// end-of-bitmap mark. Pixels that fall outside the picture (a run past the
// row's end, a delta past the last row) are dropped.
void decode_rle(Bytes f, u64 at, const Dib& d, const Palette& pal, RgbaImage& pic) {
    const Bytes data = f.subspan(at);
    const bool four = d.compression == rle4;
    const u64 width = static_cast<u64>(d.width), height = static_cast<u64>(d.height);
    u64 x = 0, y = 0, pos = 0;
    auto put = [&](unsigned index) {
        if (x < width && y < height) std::memcpy(row_of(pic, d, y) + 4 * x, pal[index].data(), 4);
        ++x;
    };
    for (;;) {
        if (!fits(data, pos, 2)) bad(data_cut);
        const unsigned n = data[pos], c = data[pos + 1];
        pos += 2;
        if (n > 0) {  // n pixels of one index, or of two alternating ones in RLE4
            for (unsigned i = 0; i < n; ++i) put(!four ? c : i % 2 != 0 ? c & 15 : c >> 4);
        } else if (c == 0) {  // end of line
            x = 0;
            ++y;
        } else if (c == 1) {  // end of bitmap
            return;
        } else if (c == 2) {  // delta: right and up
            if (!fits(data, pos, 2)) bad(data_cut);
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
        } else {  // c literal pixels, padded to a 16-bit boundary
            const u64 bytes = four ? (c + 1) / 2 : c, padded = (bytes + 1) & ~u64{1};
            if (!fits(data, pos, padded)) bad(data_cut);
            for (unsigned i = 0; i < c; ++i) {
                const unsigned v = data[pos + (four ? i / 2 : i)];
                put(!four ? v : i % 2 != 0 ? v & 15 : v >> 4);
            }
            pos += padded;
        }
    }
}

// A DIB in an icon: the head, the colour table, the colour rows, then a
// 1-bit mask whose set bits are transparent; the head's height counts both.
RgbaImage decode_icon_dib(Bytes image, std::int64_t max_pixels) {
    Dib d = read_dib(image, 0);
    if (d.compression != rgb && d.compression != bitfields && d.compression != alpha_bitfields) {
        bad("an icon's bitmap may not be run-length compressed");
    }
    d.height /= 2;
    check_dimensions(d.width, d.height, max_pixels);
    if (d.bits == 32 && d.compression == rgb) d.masks[3] = 0xFF000000;  // icons keep alpha there
    const u64 table = d.colors_used != 0 ? d.colors_used : d.bits <= 8 ? u64{1} << d.bits : 0;
    const u64 at = d.palette_at + table * d.entry_size;
    const u64 stride = stride_of(d.width, d.bits), mask_stride = stride_of(d.width, 1);
    if (!rows_fit(image, at, stride + mask_stride, d.height)) bad("the icon's bitmap ends early");

    RgbaImage pic = blank(d);
    decode_rows(image, at, d, read_palette(image, d, at), pic);
    // An icon with alpha ignores its mask, unless its alpha is all zero, as
    // in icons written before alpha was used.
    bool alpha = false;
    for (std::size_t i = 3; d.masks[3] != 0 && !alpha && i < pic.rgba.size(); i += 4) alpha = pic.rgba[i] != 0;
    if (alpha) return pic;
    const u64 mask_at = at + stride * static_cast<u64>(d.height);
    for (u64 row = 0; row < static_cast<u64>(d.height); ++row) {
        const std::uint8_t* bits = image.data() + mask_at + row * mask_stride;
        std::uint8_t* out = row_of(pic, d, row);
        for (u64 x = 0; x < static_cast<u64>(d.width); ++x) {
            out[4 * x + 3] = (bits[x / 8] >> (7 - x % 8) & 1) != 0 ? 0 : 255;
        }
    }
    return pic;
}

}  // namespace

bool is_bmp(Bytes head) noexcept {
    return head.size() >= 18 && head[0] == 'B' && head[1] == 'M' && known_head_size(u32(head, 14));
}

bool is_icon(Bytes head) noexcept {
    return head.size() >= 6 && u16(head, 0) == 0 && (u16(head, 2) == 1 || u16(head, 2) == 2) && u16(head, 4) != 0;
}

RgbaImage decode_bmp(Bytes f, std::int64_t max_pixels) {
    if (f.size() < 18) bad("the BMP file's head is cut short");
    if (f[0] != 'B' || f[1] != 'M') bad("not a BMP file");
    const Dib d = read_dib(f, 14);
    check_dimensions(d.width, d.height, max_pixels);
    const u64 at = u32(f, 10);
    // Pixels at an offset inside the heads would be the heads' own bytes.
    if (at < d.palette_at) bad("the pixel data would start inside the file's heads");
    if (at >= f.size()) bad("the pixel data starts past the end of the file");
    const bool rle = d.compression == rle8 || d.compression == rle4;
    if (!rle && !rows_fit(f, at, stride_of(d.width, d.bits), d.height)) bad(data_cut);

    // A colour table shorter than its declared size ends where the pixels start.
    const Palette pal = read_palette(f, d, at > d.palette_at ? at : f.size());
    RgbaImage pic = blank(d);
    if (rle) {
        decode_rle(f, at, d, pal, pic);
    } else {
        decode_rows(f, at, d, pal, pic);
    }
    pic.x_pixels_per_metre = d.pixels_per_metre[0];
    pic.y_pixels_per_metre = d.pixels_per_metre[1];
    return pic;
}

IconImage first_icon_image(Bytes f) {
    if (f.size() < 6) bad("the icon file's head is cut short");
    if (u16(f, 0) != 0 || (u16(f, 2) != 1 && u16(f, 2) != 2)) bad("not an icon file");
    const u64 count = u16(f, 4), directory_end = 6 + 16 * count;
    if (count == 0) bad("the icon file holds no image");
    if (f.size() < directory_end) bad("the icon directory is cut short");
    // The first entry; its sizes in the directory (0 meaning 256) are not
    // used: the image's own head decides.
    const u64 size = u32(f, 14), at = u32(f, 18);
    if (size == 0 || at < directory_end || !fits(f, at, size)) bad("the icon's image lies outside the file");
    const Bytes image = f.subspan(at, size);
    static constexpr std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return {image, image.size() >= 8 && std::equal(png_signature, png_signature + 8, image.begin())};
}

RgbaImage decode_icon(Bytes f, std::int64_t max_pixels) {
    const IconImage image = first_icon_image(f);
    if (image.png) bad("the icon's image is a PNG file");
    return decode_icon_dib(image.bytes, max_pixels);
}

}  // namespace orvessa::codecs
