#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "bmp_reader.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/linux_platform.hpp"
#include "platform/platform.hpp"

namespace orvessa {
namespace {

namespace fs = std::filesystem;
using test::Bgr;

const std::string pictures = ORVESSA_PICTURES;

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("orvessa-platform-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::int32_t load_error(const std::string& path) {
    try {
        default_platform().load_picture(u16(path));
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().empty());
        return e.hresult();
    }
    return 0;
}

// An image of the given size whose every pixel differs from its neighbours.
Image pattern(std::int32_t width, std::int32_t height) {
    Image image{width, height, {}};
    image.pixels.assign(static_cast<std::size_t>(image.stride()) * height, 0);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[static_cast<std::size_t>(y) * image.stride() + 3 * x];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = static_cast<std::uint8_t>(7 * x + 13 * y);
        }
    }
    return image;
}

BitmapInfo header(std::int32_t width, std::int32_t height) {
    BitmapInfo info = creation_bitmap_info();
    info.header.width = width;
    info.header.height = height;
    return info;
}

std::uint32_t rgb_of(const Image& image, std::int32_t x, std::int32_t stored_row) {
    const std::uint8_t* p = &image.pixels[static_cast<std::size_t>(stored_row) * image.stride() + 3 * x];
    return static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

TEST(PortablePlatform, HimetricSizeIsThePixelSizeAt96PerInch) {
    TempDir dir;
    write_picture_file(dir / "4x3.png", pattern(4, 3));
    write_picture_file(dir / "12x1.bmp", pattern(12, 1));
    const auto small = default_platform().load_picture(u16(dir / "4x3.png"));
    EXPECT_EQ(small->himetric_width(), 106);
    EXPECT_EQ(small->himetric_height(), 79);
    const auto half = default_platform().load_picture(u16(dir / "12x1.bmp"));
    EXPECT_EQ(half->himetric_width(), 318);  // 317.5, halves up
    const auto coffee = default_platform().load_picture(u16(pictures + "/coffee.bmp"));
    EXPECT_EQ(coffee->himetric_width(), 15875);
    EXPECT_NE(coffee->handle(), 0);
    EXPECT_NE(coffee->handle(), small->handle());
}

TEST(PortablePlatform, LoadFailuresAreClearHresults) {
    TempDir dir;
    std::ofstream(dir / "empty.bmp").close();
    std::ofstream(dir / "text.png") << "not a picture";
    const auto jpeg = test::file_bytes(pictures + "/coffee.jpg");
    std::ofstream(dir / "cut.jpg", std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), 100);
    // Cut inside the pixel data, after the head that declares the size.
    const auto png = test::file_bytes(pictures + "/astronaut.png");
    std::ofstream(dir / "cut.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), 5000);
    EXPECT_EQ(load_error(dir / "missing.bmp"), control_hresult(53));
    EXPECT_EQ(load_error(dir / "no-such-dir/x.bmp"), control_hresult(53));
    EXPECT_EQ(load_error(dir / ""), control_hresult(75));  // a directory
    EXPECT_EQ(load_error(dir / "empty.bmp"), control_hresult(481));
    EXPECT_EQ(load_error(dir / "text.png"), control_hresult(481));
    EXPECT_EQ(load_error(dir / "cut.jpg"), control_hresult(481));
    EXPECT_EQ(load_error(dir / "cut.png"), control_hresult(481));
    const Surface surface(8, 8, 0x123456);
    Pictava effects;
    EXPECT_FALSE(effects.ColorToBN(u16(dir / "cut.png"), surface.hdc(), 0, 0, 128, 0, 8, 8));
    EXPECT_EQ(surface.pixel(3, 3), 0x123456u);
    EXPECT_THROW(default_platform().load_picture(std::u16string(u"a\0b", 3)), Error);
    EXPECT_THROW(default_platform().load_picture(std::u16string(1, char16_t(0xD800))), Error);
}

TEST(PortablePlatform, ReadGivesTheBitmapRowsInTheBufferLayout) {
    Platform& p = default_platform();
    // A 24-bit BMP file holds exactly the buffer layout after its 54-byte head.
    const std::string path = pictures + "/coffee.bmp";
    const auto file = test::file_bytes(path);
    const auto picture = p.load_picture(u16(path));
    BitmapInfo info = header(600, 400);
    std::vector<std::uint8_t> buffer(1800 * 400 + 1, 0);
    const MemoryDc dc(p);
    EXPECT_EQ(p.get_dibits(dc.get(), picture->handle(), 0, 400, buffer.data(), info, 0), 400);
    EXPECT_TRUE(std::equal(file.begin() + 54, file.end(), buffer.begin()));
    EXPECT_EQ(buffer.back(), 0);

    // Paletted, odd width: 171 pixels, stride 516 with alignment bytes untouched.
    const auto camera = test::read_bmp(pictures + "/camera-8bit.bmp");
    const auto cam = p.load_picture(u16(pictures + "/camera-8bit.bmp"));
    info = header(171, 128);
    std::vector<std::uint8_t> cam_buffer(516 * 128, 0xEE);
    p.get_dibits(dc.get(), cam->handle(), 0, 128, cam_buffer.data(), info, 0);
    for (int y = 0; y < 128; ++y) {
        const std::uint8_t* row = &cam_buffer[static_cast<std::size_t>(127 - y) * 516];
        for (int x = 0; x < 171; ++x) {
            ASSERT_EQ((Bgr{row[3 * x], row[3 * x + 1], row[3 * x + 2]}), camera.at(x, y)) << x << "," << y;
        }
        ASSERT_EQ(row[513], 0xEE);
    }
}

TEST(PortablePlatform, ReadOfAnotherSizeCopiesTheOverlapFromTheBottom) {
    Platform& p = default_platform();
    TempDir dir;
    const Image source = pattern(5, 4);
    write_picture_file(dir / "p.bmp", source);
    const auto picture = p.load_picture(u16(dir / "p.bmp"));
    const MemoryDc dc(p);
    // Two scan lines of a 3-wide buffer: the bitmap's two bottom rows, three columns.
    BitmapInfo info = header(3, 2);
    std::vector<std::uint8_t> buffer(24, 0xEE);
    EXPECT_EQ(p.get_dibits(dc.get(), picture->handle(), 0, 2, buffer.data(), info, 0), 2);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* b = &buffer[row * 12 + 3 * x];
            EXPECT_EQ(static_cast<std::uint32_t>(b[2]) << 16 | b[1] << 8 | b[0],
                      rgb_of(source, x, row));  // stored row 0 is the bottom
        }
    }
    // A top-down header takes the rows from the top.
    info = header(5, -1);
    std::vector<std::uint8_t> top(16, 0);
    p.get_dibits(dc.get(), picture->handle(), 0, 1, top.data(), info, 0);
    EXPECT_EQ(static_cast<std::uint32_t>(top[2]) << 16 | top[1] << 8 | top[0], rgb_of(source, 0, 3));
    // Unknown bitmap, unknown context, wrong format: nothing read.
    std::vector<std::uint8_t> untouched(64, 0xEE);
    info = header(3, 2);
    EXPECT_EQ(p.get_dibits(dc.get(), 0, 0, 2, untouched.data(), info, 0), 0);
    EXPECT_EQ(p.get_dibits(0, picture->handle(), 0, 2, untouched.data(), info, 0), 0);
    info.header.bit_count = 32;
    EXPECT_EQ(p.get_dibits(dc.get(), picture->handle(), 0, 2, untouched.data(), info, 0), 0);
    EXPECT_EQ(untouched, std::vector<std::uint8_t>(64, 0xEE));
}

TEST(PortablePlatform, StretchSamplesTheNearestPixelAndClips) {
    Platform& p = default_platform();
    const Image dib = pattern(4, 2);  // stored bottom-up: stored row 1 is the top
    const BitmapInfo info = header(4, 2);
    const std::uint8_t* bits = dib.pixels.data();
    {  // Natural size at an offset, clipped at the right and bottom edges.
        Surface s(5, 2, 0x123456);
        EXPECT_EQ(p.stretch_dibits(s.hdc(), 2, 1, 4, 2, 0, 0, 4, 2, bits, info, 0, 0xCC0020), 2);
        EXPECT_EQ(s.pixel(1, 1), 0x123456u);
        EXPECT_EQ(s.pixel(4, 0), 0x123456u);
        EXPECT_EQ(s.pixel(2, 1), rgb_of(dib, 0, 1));
        EXPECT_EQ(s.pixel(4, 1), rgb_of(dib, 2, 1));
    }
    {  // Doubled: each source pixel repeated; halved: every other one kept.
        Surface big(8, 4), small(2, 1);
        p.stretch_dibits(big.hdc(), 0, 0, 8, 4, 0, 0, 4, 2, bits, info, 0, 0xCC0020);
        p.stretch_dibits(small.hdc(), 0, 0, 2, 1, 0, 0, 4, 2, bits, info, 0, 0xCC0020);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) EXPECT_EQ(big.pixel(x, y), rgb_of(dib, x / 2, 1 - y / 2));
        }
        EXPECT_EQ(small.pixel(0, 0), rgb_of(dib, 1, 0));
        EXPECT_EQ(small.pixel(1, 0), rgb_of(dib, 3, 0));
    }
    {  // A negative destination width mirrors; x runs leftwards from dest_x.
        Surface s(4, 2);
        p.stretch_dibits(s.hdc(), 4, 0, -4, 2, 0, 0, 4, 2, bits, info, 0, 0xCC0020);
        EXPECT_EQ(s.pixel(0, 0), rgb_of(dib, 3, 1));
        EXPECT_EQ(s.pixel(3, 1), rgb_of(dib, 0, 0));
    }
    {  // Unknown or null handles and empty extents paint nothing.
        Surface s(2, 2);
        EXPECT_EQ(p.stretch_dibits(0, 0, 0, 2, 2, 0, 0, 4, 2, bits, info, 0, 0xCC0020), 0);
        EXPECT_EQ(p.stretch_dibits(s.hdc() + 1, 0, 0, 2, 2, 0, 0, 4, 2, bits, info, 0, 0xCC0020), 0);
        EXPECT_EQ(p.stretch_dibits(s.hdc(), 0, 0, 0, 0, 0, 0, 4, 2, bits, info, 0, 0xCC0020), 0);
        EXPECT_EQ(p.set_stretch_blt_mode(0, 3), 0);
        EXPECT_EQ(s.stretch_mode(), 1);
        EXPECT_EQ(p.set_stretch_blt_mode(s.hdc(), 3), 1);
        EXPECT_EQ(s.stretch_mode(), 3);
        EXPECT_EQ(p.delete_dc(s.hdc()), 0);  // the Surface owns its context
        EXPECT_EQ(s.pixel(0, 0), 0xFFFFFFu);
    }
    const std::int32_t gone = [] { Surface s(1, 1); return s.hdc(); }();
    EXPECT_EQ(p.set_stretch_blt_mode(gone, 3), 0);
}

TEST(PortablePlatform, OneConversionFormPerThreadAtTheLogicalResolution) {
    Platform& p = default_platform();
    ConversionForm* mine = &p.conversion_form();
    EXPECT_EQ(&p.conversion_form(), mine);
    ConversionForm* other = nullptr;
    std::thread([&] { other = &p.conversion_form(); }).join();
    EXPECT_NE(other, mine);

    Pictava effects;
    EXPECT_EQ(effects.ScaleX(2540.0f), 96);
    EXPECT_EQ(mine->scale_x(100.0f), static_cast<float>(100.0 * 96 / 2540));
    set_logical_resolution(120, 72);
    EXPECT_EQ(effects.ScaleX(2540.0f), 120);
    EXPECT_EQ(effects.ScaleY(2540.0f), 72);
    set_logical_resolution(96, 96);
    EXPECT_THROW(set_logical_resolution(0, 96), std::invalid_argument);
}

}  // namespace
}  // namespace orvessa
