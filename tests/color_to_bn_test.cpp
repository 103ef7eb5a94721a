#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "convert/gray_rule.hpp"
#include "fake_platform.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa {
namespace {

using test::FakePlatform;
using test::Paint;
using Calls = std::vector<std::string>;

constexpr std::int32_t hdc = 0x1234;

// A fake whose form maps HIMETRIC to pixels one to one, so sizes read plainly,
// and whose read fills each pixel from `pixels` (top row first, BGR).
struct PlatformWithPicture : FakePlatform {
    PlatformWithPicture(std::int32_t width, std::int32_t height, std::vector<std::uint8_t> top_down_bgr = {}) {
        himetric_width = width;
        himetric_height = height;
        form_x = form_y = [](float h) { return h; };
        fill = [this, pixels = std::move(top_down_bgr)](std::uint8_t* bits, const BitmapInfo& info,
                                                      std::uint32_t lines) {
            const std::int32_t w = info.header.width, h = static_cast<std::int32_t>(lines);
            const auto stride = static_cast<std::int32_t>(row_stride(w));
            for (std::int32_t r = 0; r < h; ++r) {
                for (std::int32_t i = 0; i < 3 * w; ++i) {
                    const std::size_t from = static_cast<std::size_t>(r) * 3 * w + i;
                    bits[(h - 1 - r) * stride + i] = from < pixels.size() ? pixels[from] : 0;
                }
            }
        };
    }
};

bool run(Pictava& p, std::int16_t two_color = 0, std::uint8_t threshold = 128,
         std::int16_t hold = 0, std::int32_t width = 0, std::int32_t height = 0) {
    return p.ColorToBN(u"pic.bmp", hdc, 99, two_color, threshold, hold, width, height);
}

// The painted value of each pixel, top row first.
std::vector<std::uint8_t> painted_values(const Paint& paint) {
    const std::int32_t w = paint.info.header.width, h = paint.info.header.height;
    const auto stride = static_cast<std::int32_t>(row_stride(w));
    std::vector<std::uint8_t> values;
    for (std::int32_t r = h - 1; r >= 0; --r) {
        for (std::int32_t c = 0; c < w; ++c) {
            const std::uint8_t* px = &paint.bits[r * stride + 3 * c];
            EXPECT_TRUE(px[0] == px[1] && px[1] == px[2]) << "pixel " << c << " of row " << r;
            values.push_back(px[0]);
        }
    }
    return values;
}

TEST(GrayRule, SampleValues) {
    struct Row { std::uint8_t b, g, r, level, gray, t128, t0, t255; };
    const Row rows[] = {
        {0, 0, 0, 0, 128, 0, 0, 0},           {0, 1, 1, 1, 128, 0, 255, 0},
        {10, 20, 31, 20, 138, 0, 255, 0},     {10, 20, 32, 21, 138, 0, 255, 0},
        {129, 128, 128, 128, 192, 0, 255, 0}, {128, 129, 129, 129, 192, 255, 255, 0},
        {100, 150, 200, 150, 203, 255, 255, 0}, {255, 255, 255, 255, 255, 255, 255, 0},
    };
    const auto gray = convert::sum_table(false, 0);
    const auto t128 = convert::sum_table(true, 128), t0 = convert::sum_table(true, 0),
               t255 = convert::sum_table(true, 255);
    for (const Row& row : rows) {
        const int s = row.b + row.g + row.r;
        EXPECT_EQ(convert::gray_level(s), row.level) << s;
        EXPECT_EQ(gray[s], row.gray) << s;
        EXPECT_EQ(t128[s], row.t128) << s;
        EXPECT_EQ(t0[s], row.t0) << s;
        EXPECT_EQ(t255[s], row.t255) << s;
    }
    // Never darker than 128 in gray mode; two-colour only ever 0 or 255.
    EXPECT_EQ(*std::min_element(gray.begin(), gray.end()), 128);
    EXPECT_TRUE(std::all_of(t128.begin(), t128.end(), [](auto v) { return v == 0 || v == 255; }));
}

TEST(ColorToBN, CallsThePlatformInOrderAndPaintsAtNaturalSize) {
    PlatformWithPicture fake(4, 3);
    Pictava p(&fake);
    EXPECT_TRUE(run(p));
    const Calls want = {"load_picture(pic.bmp)", "himetric_width", "scale_x(4.000000)",
                        "himetric_height", "scale_y(3.000000)", "create_compatible_dc", "handle",
                        "get_dibits(2000,20816,0,3,4x3,0)", "delete_dc(2000)",
                        "set_stretch_blt_mode(4660,3)", "stretch_dibits(4660)", "release_picture"};
    EXPECT_EQ(fake.calls, want);
    ASSERT_EQ(fake.paints.size(), 1u);
    const Paint& paint = fake.paints[0];
    EXPECT_EQ(std::vector({paint.dest_x, paint.dest_y, paint.dest_width, paint.dest_height,
                           paint.src_x, paint.src_y, paint.src_width, paint.src_height}),
              std::vector({0, 0, 4, 3, 0, 0, 4, 3}));
    EXPECT_EQ(paint.usage, 0u);
    EXPECT_EQ(paint.rop, 0x00CC0020u);
    EXPECT_EQ(fake.pictures_alive, 0);
    EXPECT_EQ(fake.dcs_alive, 0);

    BitmapInfo want_info = creation_bitmap_info();
    want_info.header.width = 4;
    want_info.header.height = 3;
    EXPECT_EQ(std::memcmp(&paint.info, &want_info, sizeof want_info), 0);
    EXPECT_EQ(std::memcmp(&p.bitmap_info(), &want_info, sizeof want_info), 0);
}

TEST(ColorToBN, ConvertsEveryPixelByMode) {
    // Two rows of three pixels (odd width: the rows carry alignment bytes).
    const std::vector<std::uint8_t> pixels = {0, 0, 0,       10, 20, 31,   129, 128, 128,
                                              128, 129, 129, 100, 150, 200, 255, 255, 255};
    struct Mode { std::int16_t two_color; std::uint8_t threshold; std::vector<std::uint8_t> want; };
    const Mode modes[] = {
        {0, 128, {128, 138, 192, 192, 203, 255}},
        {-1, 128, {0, 0, 0, 255, 255, 255}},
        {1, 0, {0, 255, 255, 255, 255, 255}},  // any non-zero value is true
        {-1, 255, {0, 0, 0, 0, 0, 0}},
    };
    for (const Mode& mode : modes) {
        PlatformWithPicture fake(3, 2, pixels);
        Pictava p(&fake);
        EXPECT_TRUE(run(p, mode.two_color, mode.threshold));
        ASSERT_EQ(fake.paints.size(), 1u);
        EXPECT_EQ(painted_values(fake.paints[0]), mode.want) << int(mode.threshold);
    }
}

TEST(ColorToBN, HoldProportionPaintsTheFittedRectangleFromTheWholePicture) {
    PlatformWithPicture fake(100, 100);
    Pictava p(&fake);
    EXPECT_TRUE(run(p, 0, 128, -1, 101, 50));
    ASSERT_EQ(fake.paints.size(), 1u);
    const Paint& paint = fake.paints[0];
    EXPECT_EQ(std::vector({paint.dest_x, paint.dest_y, paint.dest_width, paint.dest_height,
                           paint.src_x, paint.src_y, paint.src_width, paint.src_height}),
              std::vector({26, 0, 50, 50, 0, 0, 100, 100}));
    // A 0 x 0 box paints nothing visible but still paints.
    PlatformWithPicture zero_box(640, 480);
    Pictava q(&zero_box);
    EXPECT_TRUE(run(q, 0, 128, 1, 0, 0));
    ASSERT_EQ(zero_box.paints.size(), 1u);
    EXPECT_EQ(zero_box.paints[0].dest_width, 0);
    EXPECT_EQ(zero_box.paints[0].dest_height, 0);
}

TEST(ColorToBN, FailedReadPaintsAUniformRectangle) {
    for (std::int16_t two_color : {0, -1}) {
        PlatformWithPicture fake(5, 2);
        fake.fill = nullptr;  // the handle is not a bitmap
        Pictava p(&fake);
        EXPECT_TRUE(run(p, two_color));
        ASSERT_EQ(fake.paints.size(), 1u);
        EXPECT_EQ(painted_values(fake.paints[0]),
                  std::vector<std::uint8_t>(10, two_color ? 0 : 128));
    }
}

// Every failure before the paint: result False, nothing painted, everything
// released; the header and the stretch mode change only once their step ran.
TEST(ColorToBN, AnyFailureEndsQuietlyAndReleasesEverything) {
    struct Case { const char* fail_at; std::int32_t width, height; bool header_written; };
    const Case cases[] = {
        {"load_picture", 4, 3, false}, {"himetric_width", 4, 3, false}, {"scale_x", 4, 3, false},
        {"himetric_height", 4, 3, false}, {"scale_y", 4, 3, false}, {"handle", 4, 3, true},
        {"", 40000, 3, false},     // ScaleX leaves the 16-bit range
        {"", 30000, 30000, true},  // stride x height leaves the 32-bit range
        {"", 2, -1, true},         // a buffer bound below 0 cannot be declared
    };
    for (const Case& c : cases) {
        PlatformWithPicture fake(c.width, c.height);
        fake.fail_at = c.fail_at;
        Pictava p(&fake);
        const std::string what = std::string(c.fail_at) + " " + std::to_string(c.width);
        EXPECT_FALSE(run(p)) << what;
        EXPECT_TRUE(fake.paints.empty()) << what;
        EXPECT_TRUE(fake.stretch_modes.empty()) << what;
        EXPECT_EQ(fake.pictures_alive, 0) << what;
        EXPECT_EQ(fake.dcs_alive, 0) << what;
        EXPECT_EQ(p.bitmap_info().header.width, c.header_written ? c.width : 0) << what;
        EXPECT_EQ(p.bitmap_info().header.height, c.header_written ? c.height : 0) << what;
    }
}

TEST(ColorToBN, ZeroSizedPicture) {
    // Natural size: a 0 x 0 paint goes ahead.
    PlatformWithPicture natural(0, 0);
    Pictava p(&natural);
    EXPECT_TRUE(run(p));
    ASSERT_EQ(natural.paints.size(), 1u);
    EXPECT_EQ(natural.paints[0].dest_width, 0);
    // Fitted: the fit divides by zero after the stretch mode was set.
    PlatformWithPicture fitted(0, 0);
    Pictava q(&fitted);
    EXPECT_FALSE(run(q, 0, 128, -1, 200, 100));
    EXPECT_TRUE(fitted.paints.empty());
    EXPECT_EQ(fitted.stretch_modes[hdc], 3);
    EXPECT_EQ(fitted.pictures_alive, 0);
    EXPECT_EQ(fitted.dcs_alive, 0);
}

}  // namespace
}  // namespace orvessa
