// The BMP and icon decoder over one small picture written here in each
// variant, over those files cut or broken, and over the sample pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>

#include "bmp_reader.hpp"
#include "codecs/bmp_decoder.hpp"

namespace orvessa::codecs {
namespace {

using Buf = std::vector<std::uint8_t>;
constexpr int W = 5, H = 3;
// R, G, B, A: channel values that 5-, 6-, 8- and 10-bit fields hold exactly.
constexpr std::uint8_t kColors[4][4] = {{255, 8, 49, 255}, {0, 206, 247, 0}, {49, 0, 255, 255}, {247, 255, 8, 255}};
int index_at(int bits, int x, int y) { return (x + y + (y > 1)) % (bits == 1 ? 2 : 4); }  // y from the top

struct Variant {
    const char* name;
    std::uint32_t head, bits, compression;
    std::array<std::uint32_t, 4> masks{};  // R, G, B, A as 16- and 32-bit pixels are packed
    std::uint32_t table = 0;                // colour table entries, when fewer than the picture uses
    bool top_down = false;
    int icon = 0;                           // 1 ICO, 2 CUR
    Buf rle{};                              // run-length pixels, written as they are
};
constexpr std::array<std::uint32_t, 4> k555{0x7C00, 0x3E0, 0x1F, 0}, k8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
// Run-length rows from the bottom (indices 3 0 1 2 3 / 1 2 3 0 1 / 0 1 2 3 0): a padded literal run, end of
// line, runs of one index (RLE4: two alternating), a delta right and up, runs past the row (dropped), end of bitmap.
const Variant kVariants[] = {
    {"1 bpp", 40, 1, 0}, {"2 bpp", 40, 2, 0}, {"4 bpp top-down", 40, 4, 0, {}, 0, true},
    {"8 bpp, indices past a 2-entry table", 40, 8, 0, {}, 2}, {"OS/2 1.x, 2 entries", 12, 8, 0, {}, 2},
    {"4 bpp OS/2 2.x", 64, 4, 0}, {"24 bpp OS/2 2.x 16-byte head", 16, 24, 0}, {"16 bpp 5-5-5", 40, 16, 0, k555},
    {"16 bpp 5-6-5", 40, 16, 3, {0xF800, 0x7E0, 0x1F, 0}}, {"16 bpp 1-5-5-5 V3", 56, 16, 3, {0x7C00, 0x3E0, 0x1F, 0x8000}},
    {"24 bpp", 40, 24, 0}, {"32 bpp, 4th byte not alpha", 40, 32, 0, k8888}, {"32 bpp V5 alpha", 124, 32, 3, k8888},
    {"32 bpp V4 10-10-10-2", 108, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
    {"32 bpp alpha bit fields, red low", 40, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
    {"RLE8", 40, 8, 1, {}, 0, false, 0, {0, 5, 3, 0, 1, 2, 3, 0, 0, 0, 1, 1, 1, 2, 1, 3, 0, 2, 1, 1, 1, 0, 1, 0, 1, 0, 0, 1}},
    {"RLE4", 40, 4, 2, {}, 0, false, 0, {0, 5, 0x30, 0x12, 0x30, 0, 0, 0, 2, 0x12, 1, 0x30, 0, 2, 1, 1, 2, 0, 1, 0, 0, 1}},
    {"ICO 4 bpp", 40, 4, 0, {}, 0, false, 1}, {"ICO 32 bpp alpha", 40, 32, 0, k8888, 0, false, 1},
    {"CUR 24 bpp", 40, 24, 0, {}, 0, false, 2},
};

void poke(Buf& b, std::size_t at, std::uint64_t v, std::size_t n) { while (n-- > 0) b[at + n] = v >> 8 * n & 0xFF; }
void put(Buf& b, std::uint64_t v, std::size_t n) { b.resize(b.size() + n), poke(b, b.size() - n, v, n); }

// Head, masks, colour table, (a gap in BMP files), pixel rows, an icon's mask rows; the file's head before them.
Buf file_of(const Variant& v) {
    Buf b;
    const std::uint32_t colours = v.table != 0 ? v.table : v.bits == 1 ? 2 : 4, n = v.head == 12 ? 2 : 4;
    put(b, v.head, 4), put(b, W, n), put(b, v.icon ? 2 * H : v.top_down ? -H : H, n), put(b, 1, 2), put(b, v.bits, 2);
    put(b, v.compression, 4), b.resize(v.head + (v.compression < 3 || v.head >= 56 ? 0 : v.compression == 6 ? 16 : 12));
    if (v.head >= 36 && v.bits <= 8) b[32] = colours;
    for (int i = 0; v.compression >= 3 && i < (b.size() >= 56 ? 4 : 3); ++i) poke(b, 40 + 4 * i, v.masks[i], 4);
    for (std::uint32_t i = 0; v.bits <= 8 && i < colours; ++i) {
        put(b, kColors[i][2] | kColors[i][1] << 8 | kColors[i][0] << 16, n == 2 ? 3 : 4);
    }
    b.resize(b.size() + (v.icon || n == 2 ? 0 : 7), 0xAB);  // OS/2 1.x tables end where the pixels start
    const std::size_t pixels = b.size();
    b.insert(b.end(), v.rle.begin(), v.rle.end());
    for (int r = 0; v.rle.empty() && r < H; ++r) {
        const std::size_t row = b.size();
        b.resize(row + (W * v.bits + 31) / 32 * 4);
        for (std::uint32_t x = 0; x < W; ++x) {
            const int i = index_at(v.bits, x, v.top_down ? r : H - 1 - r);
            const std::uint8_t* c = kColors[i];
            std::uint32_t p = v.bits <= 8 ? i << (8 - v.bits - x * v.bits % 8) : c[2] | c[1] << 8 | c[0] << 16;
            for (int ch = 0; (v.bits == 16 || v.bits == 32) && ch < 4; ++ch) {
                const std::uint32_t m = v.masks[ch], shift = m != 0 ? std::countr_zero(m) : 0;
                p = (ch == 0 ? 0 : p) | (c[ch] * (m >> shift) + 127) / 255 << shift;
            }
            for (std::uint32_t k = 0; k < std::max(v.bits / 8, 1u); ++k) b[row + x * v.bits / 8 + k] |= p >> 8 * k & 0xFF;
        }
    }
    for (int r = 0; v.icon && r < H; ++r) {  // set where transparent, but for 32 bits, whose alpha decides
        b.resize(b.size() + 4);
        for (int x = 0; x < W; ++x) b[b.size() - 4] |= (v.bits != 32 && kColors[index_at(v.bits, x, H - 1 - r)][3] == 0) << (7 - x);
    }
    Buf f = v.icon ? Buf{0, 0, static_cast<std::uint8_t>(v.icon), 0, 1, 0, W, H, 0, 0, 1, 0} : Buf{'B', 'M'};
    if (v.icon) put(f, v.bits, 2), put(f, b.size(), 4), put(f, 22, 4);
    else put(f, 14 + b.size(), 4), put(f, 0, 4), put(f, 14 + pixels, 4);
    f.insert(f.end(), b.begin(), b.end());
    return f;
}

RgbaImage decode(const Variant& v, Bytes f, std::int64_t max) {
    return v.icon ? decode_icon(f, max) : decode_bmp(f, max);
}

// Each variant decodes to the picture; cut anywhere, it ends inside the head or the pixels and is refused.
TEST(BmpDecoder, DecodesOnePictureInEveryVariant) {
    for (const Variant& v : kVariants) {
        Buf want;
        for (int y = 0; y < H; ++y) {
            for (int x = 0, i; x < W; ++x) {
                std::array<std::uint8_t, 4> c = std::to_array(kColors[i = index_at(v.bits, x, y)]);
                if (v.icon == 0 && (v.compression < 3 || v.masks[3] == 0)) c[3] = 255;
                if (v.table != 0 && i >= static_cast<int>(v.table)) c = {0, 0, 0, 255};
                if (!v.rle.empty() && (y == 1 ? x >= 3 : y == 0 && x < 4)) c = {0, 0, 0, 0};  // never set: transparent
                want.insert(want.end(), c.begin(), c.end());
            }
        }
        const Buf f = file_of(v);
        EXPECT_TRUE(v.icon ? is_icon(f) && !is_bmp(f) : is_bmp(f) && !is_icon(f)) << v.name;
        const RgbaImage got = decode(v, f, W * H);
        EXPECT_EQ(std::tie(got.width, got.height, got.rgba), std::tie(W, H, want)) << v.name;
        for (std::size_t n = 0; n < f.size(); ++n) EXPECT_THROW(decode(v, Bytes(f).first(n), 99), BadPicture) << v.name << n;
    }
}

TEST(BmpDecoder, RefusesBrokenFiles) {
    // A value written over a valid file: pixels past the end, no width, 2 planes, an unknown head size, JPEG, PNG,
    // RLE8 of 24 bits, pixels inside the heads (at 0, at 40); no icon, an icon past the end, in the directory,
    // run-length coded; then too large, before a
    // pixel is read: a pixel too many, a size too large with the data short, 2^31 rows top-down, a huge icon.
    struct Broken { std::string variant; std::size_t at, bytes; std::uint32_t value; bool too_large = false; std::int64_t max = 99; };
    const Broken rows[] = {
        {"1 bpp", 10, 4, 1000}, {"1 bpp", 18, 4, 0}, {"1 bpp", 26, 2, 2}, {"1 bpp", 14, 4, 100}, {"24 bpp", 30, 4, 4},
        {"24 bpp", 30, 4, 5}, {"24 bpp", 30, 4, 1}, {"24 bpp", 10, 4, 0}, {"24 bpp", 10, 4, 40}, {"CUR 24 bpp", 4, 2, 0}, {"CUR 24 bpp", 14, 4, 1000},
        {"CUR 24 bpp", 18, 4, 6}, {"ICO 4 bpp", 38, 4, 2}, {"1 bpp", 18, 4, W, true, W * H - 1},
        {"1 bpp", 18, 4, INT32_MAX, true, 1 << 20}, {"1 bpp", 22, 4, 0x80000000, true, INT64_MAX},
        {"CUR 24 bpp", 26, 4, 1 << 20, true},
    };
    for (const Broken& row : rows) {
        const Variant& v = *std::find_if(std::begin(kVariants), std::end(kVariants), [&](auto& v) { return v.name == row.variant; });
        Buf f = file_of(v);
        poke(f, row.at, row.value, row.bytes);
        if (row.too_large) EXPECT_THROW(decode(v, f, row.max), TooLarge) << row.variant << row.at;
        else EXPECT_THROW(decode(v, f, row.max), BadPicture) << row.variant << row.at;
    }
    Buf tga(30), tga_map(30), text{'B', 'M', ' ', 'i', 's', ' ', 't', 'e', 'x', 't', 1, 2, 3, 4, 5, 6, 7, 8};
    tga[2] = tga_map[2] = 2, tga[12] = tga_map[12] = tga[14] = tga_map[14] = 2, tga[16] = tga_map[16] = 24;
    tga_map[5] = 1;  // a colour map's length: 256 icon entries, at offset 0
    EXPECT_FALSE(is_icon(tga) || is_bmp(text));
    EXPECT_THROW(decode_icon(tga_map, 99), BadPicture);
}

TEST(BmpDecoder, SamplePicturesDecodeAsAHandReaderAndThePngDecoderSee) {
    for (const char* name : {"coffee.bmp", "camera-8bit.bmp", "chelsea-small.bmp"}) {
        const std::string path = std::string(ORVESSA_PICTURES) + "/" + name;
        const test::BmpPicture want = test::read_bmp(path);
        Buf rgba;
        for (const test::Bgr& p : want.pixels) rgba.insert(rgba.end(), {p.r, p.g, p.b, 255});
        const RgbaImage got = decode_bmp(test::file_bytes(path), 1 << 20);
        EXPECT_TRUE(want.width > 0 && got.width == want.width && got.rgba == rgba) << name;
    }
    // An icon's PNG image is handed over whole, for the PNG reader.
    const Buf ico = test::file_bytes(std::string(ORVESSA_PICTURES) + "/chelsea.ico");
    const IconImage image = first_icon_image(ico);
    EXPECT_TRUE(image.png && image.bytes.data() == ico.data() + 22 && image.bytes.size() == ico.size() - 22);
    EXPECT_THROW(decode_icon(ico, 1 << 20), BadPicture);
}

}  // namespace
}  // namespace orvessa::codecs
