// The BMP and icon decoder over one small picture written here in every
// variant, over those files cut and broken, and over the sample pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "bmp_reader.hpp"
#include "codecs/bmp_decoder.hpp"

namespace orvessa::codecs {
namespace {

using Buf = std::vector<std::uint8_t>;
constexpr int W = 5, H = 3;
// R, G, B, A: channel values that 5-, 6-, 8- and 10-bit fields hold exactly.
constexpr std::uint8_t kColors[4][4] = {{255, 8, 49, 255}, {0, 206, 247, 0}, {49, 0, 255, 255}, {247, 255, 8, 255}};

struct Variant {
    const char* name;
    std::uint32_t head, bits, compression;
    std::array<std::uint32_t, 4> masks{};  // R, G, B, A as the encoder packs 16- and 32-bit pixels
    std::uint32_t table = 0;                // colour table entries, when fewer than the picture uses
    bool top_down = false;
    int icon = 0;  // 1 ICO, 2 CUR
    int gap = 0;   // bytes between the colour table and the pixels
};
const Variant kVariants[] = {
    {"1 bpp", 40, 1, 0}, {"2 bpp", 40, 2, 0}, {"4 bpp top-down", 40, 4, 0, {}, 0, true},
    {"8 bpp, indices past a 2-entry table", 40, 8, 0, {}, 2, false, 0, 8}, {"8 bpp OS/2 1.x, 2 entries", 12, 8, 0, {}, 2},
    {"4 bpp OS/2 2.x", 64, 4, 0}, {"24 bpp OS/2 2.x 16-byte head", 16, 24, 0},
    {"16 bpp 5-5-5", 40, 16, 0, {0x7C00, 0x3E0, 0x1F, 0}}, {"16 bpp 5-6-5", 40, 16, 3, {0xF800, 0x7E0, 0x1F, 0}},
    {"16 bpp 1-5-5-5 V3", 56, 16, 3, {0x7C00, 0x3E0, 0x1F, 0x8000}},
    {"24 bpp, a gap before the pixels", 40, 24, 0, {}, 0, false, 0, 7},
    {"32 bpp, 4th byte not alpha", 40, 32, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
    {"32 bpp V5 alpha", 124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
    {"32 bpp V4 10-10-10-2", 108, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
    {"32 bpp alpha bit fields, red low", 40, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
    {"RLE8", 40, 8, 1}, {"RLE4", 40, 4, 2}, {"ICO 4 bpp with mask", 40, 4, 0, {}, 0, false, 1},
    {"ICO 32 bpp alpha", 40, 32, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0, false, 1},
    {"CUR 24 bpp with mask", 40, 24, 0, {}, 0, false, 2},
};
const Variant& named(const char* name) {
    return *std::find_if(std::begin(kVariants), std::end(kVariants), [&](auto& v) { return !strcmp(v.name, name); });
}

int index_at(const Variant& v, int x, int y) { return (x + y + (y > 1)) % (v.bits == 1 ? 2 : 4); }  // y from the top
bool rle(const Variant& v) { return v.compression == 1 || v.compression == 2; }
void put(Buf& b, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}
void set32(Buf& b, std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = v >> 8 * i & 0xFF; }

// Head, masks, colour table, pixel rows (and an icon's mask rows).
Buf dib(const Variant& v, std::size_t& pixels) {
    Buf b;
    const std::uint32_t colours = v.table != 0 ? v.table : v.bits == 1 ? 2 : 4;
    put(b, v.head, 4);
    put(b, W, v.head == 12 ? 2 : 4), put(b, v.icon ? 2 * H : v.top_down ? -H : H, v.head == 12 ? 2 : 4);
    put(b, 1, 2), put(b, v.bits, 2), put(b, v.compression, 4);
    b.resize(v.head);
    if (v.head >= 36 && v.bits <= 8) b[32] = colours;
    if (v.compression >= 3 && v.head < 56) b.resize(v.head + (v.compression == 6 ? 16 : 12));
    for (int i = 0; v.compression >= 3 && i < (b.size() >= 56 ? 4 : 3); ++i) set32(b, 40 + 4 * i, v.masks[i]);
    for (std::uint32_t i = 0; v.bits <= 8 && i < colours; ++i) put(b, kColors[i][2] | kColors[i][1] << 8 | kColors[i][0] << 16, v.head == 12 ? 3 : 4);
    b.resize(b.size() + v.gap, 0xAB);
    pixels = b.size();
    const int step = v.compression == 2 ? 2 : 1;  // pixels a byte
    auto pair = [&](int r, int x) {
        auto idx = [&](int x) { return x < W ? index_at(v, x, H - 1 - r) : 0; };
        return step == 2 ? idx(x) << 4 | idx(x + 1) : idx(x);
    };
    auto runs = [&](int r, int from, int to) {
        for (int x = from; x < to; x += step) b.push_back(std::min(step, to - x)), b.push_back(pair(r, x));
    };
    if (rle(v)) {  // a padded literal run, end of line, runs, a delta up and right,
                   // runs two pixels past the row's end (dropped), end of bitmap
        b.push_back(0), b.push_back(W);
        for (int x = 0; x < W; x += step) b.push_back(pair(0, x));
        b.resize(b.size() + (W + step - 1) / step % 2);
        b.insert(b.end(), {0, 0}), runs(1, 0, 3), b.insert(b.end(), {0, 2, 1, 1}), runs(2, 4, W + 2);
        b.insert(b.end(), {0, 1});
    }
    for (int r = 0; !rle(v) && r < H; ++r) {
        const int y = v.top_down ? r : H - 1 - r;
        auto idx = [&](int x) { return index_at(v, x, y); };
        const std::size_t at = b.size();
        b.resize(at + (W * v.bits + 31) / 32 * 4);
        for (std::uint32_t x = 0; x < W; ++x) {
            const std::uint8_t* c = kColors[idx(x)];
            std::uint32_t p = v.bits <= 8 ? idx(x) << (8 - v.bits - x * v.bits % 8) : c[2] | c[1] << 8 | c[0] << 16;
            for (int ch = 0; (v.bits == 16 || v.bits == 32) && ch < 4; ++ch) {
                const std::uint32_t m = v.masks[ch], shift = m != 0 ? std::countr_zero(m) : 0;
                if (ch == 0) p = 0;
                p |= (c[ch] * (m >> shift) + 127) / 255 << shift;
            }
            for (std::uint32_t i = 0; i < std::max(v.bits / 8, 1u); ++i) b[at + x * v.bits / 8 + i] |= p >> 8 * i & 0xFF;
        }
    }
    for (int r = 0; v.icon && r < H; ++r) {  // set where transparent, but for 32 bits, whose alpha decides
        b.resize(b.size() + 4);
        for (int x = 0; x < W; ++x) b[b.size() - 4 + x / 8] |= (v.bits != 32 && kColors[index_at(v, x, H - 1 - r)][3] == 0) << (7 - x % 8);
    }
    return b;
}

Buf file_of(const Variant& v) {
    std::size_t pixels = 0;
    const Buf d = dib(v, pixels);
    Buf b = v.icon ? Buf{0, 0, static_cast<std::uint8_t>(v.icon), 0, 1, 0, W, H, 0, 0, 1, 0} : Buf{'B', 'M'};
    if (v.icon) put(b, v.bits, 2), put(b, d.size(), 4), put(b, 22, 4);
    else put(b, 14 + d.size(), 4), put(b, 0, 4), put(b, 14 + pixels, 4);
    b.insert(b.end(), d.begin(), d.end());
    return b;
}

RgbaPicture decode(const Variant& v, Bytes f, std::int64_t max) {
    return v.icon ? decode_icon(f, max, nullptr) : decode_bmp(f, max);
}

TEST(BmpDecoder, DecodesOnePictureInEveryVariant) {
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        const Buf f = file_of(v);
        EXPECT_TRUE(v.icon ? is_icon(f) && !is_bmp(f) : is_bmp(f) && !is_icon(f));
        Buf want;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const int i = index_at(v, x, y);
                std::array<std::uint8_t, 4> c{kColors[i][0], kColors[i][1], kColors[i][2], kColors[i][3]};
                if (v.icon == 0 && (v.compression < 3 || v.masks[3] == 0)) c[3] = 255;
                if (v.table != 0 && i >= static_cast<int>(v.table)) c = {0, 0, 0, 255};
                if (rle(v) && (y == 1 ? x >= 3 : y == 0 && x < 4)) c = {0, 0, 0, 0};  // never set: transparent
                want.insert(want.end(), c.begin(), c.end());
            }
        }
        RgbaPicture got;
        ASSERT_NO_THROW(got = decode(v, f, W * H));
        EXPECT_EQ(got.width, W);
        EXPECT_EQ(got.height, H);
        EXPECT_EQ(got.rgba, want);
    }
}

TEST(BmpDecoder, RefusesBrokenFiles) {
    for (const Variant& v : kVariants) {  // every cut ends inside the head or the pixels
        const Buf f = file_of(v);
        for (std::size_t n = 0; n < f.size(); ++n) EXPECT_THROW(decode(v, Bytes(f).first(n), 99), BadPicture) << v.name << " cut to " << n;
    }
    struct Broken { const char* name; const char* variant; void (*change)(Buf&); bool too_large = false; std::int64_t max = 99; };
    const Broken rows[] = {
        {"pixels past the end", "1 bpp", [](Buf& b) { set32(b, 10, b.size()); }},
        {"zero width", "1 bpp", [](Buf& b) { set32(b, 18, 0); }},
        {"two planes", "1 bpp", [](Buf& b) { b[26] = 2; }},
        {"unknown head size", "1 bpp", [](Buf& b) { b[14] = 100; }},
        {"JPEG inside", "24 bpp, a gap before the pixels", [](Buf& b) { b[30] = 4; }},
        {"PNG inside", "24 bpp, a gap before the pixels", [](Buf& b) { b[30] = 5; }},
        {"RLE8 at 24 bpp", "24 bpp, a gap before the pixels", [](Buf& b) { b[30] = 1; }},
        {"one pixel too many", "1 bpp", [](Buf&) {}, true, W * H - 1},
        {"huge, short of data", "1 bpp", [](Buf& b) { set32(b, 18, INT_MAX), set32(b, 22, INT_MAX); }, true, INT64_MAX},
        {"2^31 rows top-down", "1 bpp", [](Buf& b) { set32(b, 22, 0x80000000); }, true, INT64_MAX},
        {"icon of no image", "CUR 24 bpp with mask", [](Buf& b) { b[4] = 0; }},
        {"icon image past the end", "CUR 24 bpp with mask", [](Buf& b) { set32(b, 14, b.size()); }},
        {"icon image in the directory", "CUR 24 bpp with mask", [](Buf& b) { set32(b, 18, 6); }},
        {"run-length icon", "ICO 4 bpp with mask", [](Buf& b) { b[38] = 2; }},
        {"huge icon", "CUR 24 bpp with mask", [](Buf& b) { set32(b, 26, 1 << 20), set32(b, 30, 1 << 21); }, true},
    };
    for (const Broken& row : rows) {
        Buf f = file_of(named(row.variant));
        row.change(f);
        if (row.too_large) EXPECT_THROW(decode(named(row.variant), f, row.max), TooLarge) << row.name;
        else EXPECT_THROW(decode(named(row.variant), f, row.max), BadPicture) << row.name;
    }
    Buf tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0}, tga_map = tga;
    tga.resize(30), tga_map.resize(30), tga_map[5] = 1;  // a colour map's length: 256 entries, at offset 0
    EXPECT_FALSE(is_icon(tga) || is_icon(tga_map) || is_bmp(Buf{'B', 'M', ' ', 'i', 's', ' ', 't', 'e', 'x', 't', 14, 15, 16, 17, 18, 19, 20, 21}));
    EXPECT_THROW(decode_icon(tga_map, 99, nullptr), BadPicture);
}

TEST(BmpDecoder, SamplePicturesMatchAHandReader) {
    for (const char* name : {"coffee.bmp", "camera-8bit.bmp", "chelsea-small.bmp"}) {
        const std::string path = std::string(ORVESSA_PICTURES) + "/" + name;
        const test::BmpPicture want = test::read_bmp(path);
        ASSERT_GT(want.width, 0) << name;
        Buf rgba;
        for (const test::Bgr& p : want.pixels) rgba.insert(rgba.end(), {p.r, p.g, p.b, 255});
        const RgbaPicture got = decode_bmp(test::file_bytes(path), 1 << 20);
        EXPECT_EQ(got.width, want.width);
        EXPECT_EQ(got.rgba, rgba) << name;
    }
}

TEST(IconDecoder, HandsItsPngImageToThePngDecoder) {
    const Buf f = test::file_bytes(std::string(ORVESSA_PICTURES) + "/chelsea.ico");
    Bytes seen;
    const PngDecoder png = [&](Bytes b) {
        seen = b;
        return RgbaPicture{1, 1, {1, 2, 3, 4}};
    };
    EXPECT_THROW(decode_icon(f, 32 * 32 - 1, png), TooLarge);  // its PNG head says 32 x 32
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(decode_icon(f, 32 * 32, png).rgba, (Buf{1, 2, 3, 4}));
    EXPECT_EQ(seen.data(), f.data() + 22);  // one entry, the PNG up to the file's end
    EXPECT_EQ(seen.size(), f.size() - 22);
}

}  // namespace
}  // namespace orvessa::codecs
