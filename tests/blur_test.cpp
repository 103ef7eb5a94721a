// The weighted blur on images whose results can be worked out by hand.
#include <gtest/gtest.h>

#include "filter_harness.hpp"
#include "filters/blur.hpp"
#include "orvessa/arith.hpp"

namespace orvessa::test {
namespace {

Outcome blur(std::vector<std::uint8_t> bytes, std::int32_t dim_x, std::int32_t dim_y) {
    return run_filter(PixelFilter::blur, FilterPath::automatic, std::move(bytes), dim_x, dim_y);
}

TEST(Blur, WorkedExampleUsesEntryValuesOnly) {
    // 4 x 5, one bright pixel at row 2, column 2 (elements 30..32).
    std::vector<std::uint8_t> bytes(60, 0);
    bytes[30] = 8;
    bytes[31] = 24;
    bytes[32] = 40;
    std::vector<std::uint8_t> expected(60, 0);
    const std::pair<int, std::array<int, 3>> changed[] = {
        {39, {0, 2, 2}}, {42, {1, 3, 5}}, {27, {1, 3, 5}}, {30, {2, 6, 10}}};
    for (const auto& [at, values] : changed) {
        for (int b = 0; b < 3; ++b) expected[static_cast<std::size_t>(at + b)] = static_cast<std::uint8_t>(values[b]);
    }
    for (FilterPath path : {FilterPath::literal, FilterPath::automatic}) {
        EXPECT_EQ(run_filter(PixelFilter::blur, path, bytes, 4, 5), (Outcome{expected, std::nullopt}));
    }
}

TEST(Blur, RoundsHalfToEven) {
    // A corner neighbour has weight 1, so it alone makes the weighted sum.
    for (auto [corner, want] : {std::pair{8, 0}, {24, 2}, {40, 2}, {56, 4}, {7, 0}, {9, 1}}) {
        auto bytes = gray_image({{corner, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
        EXPECT_EQ(pixel_at(blur(bytes, 3, 4).bytes, 3, 4, 1, 1), want) << corner;
    }
    // 4072 and 4080: white with one darker corner, and all white.
    auto almost_white = gray_image({{247, 255, 255}, {255, 255, 255}, {255, 255, 255}, {0, 0, 0}});
    EXPECT_EQ(pixel_at(blur(almost_white, 3, 4).bytes, 3, 4, 1, 1), 254);
    auto white = gray_image({{255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {0, 0, 0}});
    EXPECT_EQ(pixel_at(blur(white, 3, 4).bytes, 3, 4, 1, 1), 255);
}

TEST(Blur, FastRoundingEqualsHalfToEvenForEverySum) {
    for (unsigned s = 0; s <= 4080; ++s) {
        ASSERT_EQ(filters::blur_byte(s), round_to_byte(s / 16.0)) << s;
    }
}

TEST(Blur, BorderPaddingAndFlatAreasStay) {
    // 7 x 6 of one value, odd width so rows carry a pad byte: nothing changes.
    const std::vector<std::vector<int>> flat(6, std::vector<int>(7, 77));
    const auto bytes = gray_image(flat, 0xEE);
    EXPECT_EQ(blur(bytes, 7, 6), (Outcome{bytes, std::nullopt}));

    // Pad bytes are neither read nor written: other garbage there, same pixels.
    std::mt19937 rng(3);
    auto noisy = random_bytes(rng, static_cast<std::size_t>(PixelLayout::stride_for(7) * 6));
    auto other_pad = noisy;
    for (std::int32_t row = 0; row < 6; ++row) other_pad[static_cast<std::size_t>(row * PixelLayout::stride_for(7) + 21)] ^= 0xFF;
    const auto a = blur(noisy, 7, 6).bytes;
    const auto b = blur(other_pad, 7, 6).bytes;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i % static_cast<std::size_t>(PixelLayout::stride_for(7)) == 21) {
            EXPECT_EQ(a[i], noisy[i]);
            EXPECT_EQ(b[i], other_pad[i]);
        } else {
            EXPECT_EQ(a[i], b[i]) << i;
        }
    }
}

TEST(Blur, OnlyTheInnerRowsAndColumnsChange) {
    std::mt19937 rng(4);
    // dim_y 4: only row 1 (elements 2S + 3 .. 2S + 3 (dim_x - 1) - 1) may change.
    const std::int32_t dim_x = 6, stride = PixelLayout::stride_for(dim_x);
    const auto bytes = random_bytes(rng, static_cast<std::size_t>(stride * 4));
    const auto out = blur(bytes, dim_x, 4).bytes;
    for (std::int32_t i = 0; i < stride * 4; ++i) {
        const bool may_change = i >= 2 * stride + 3 && i < 2 * stride + 3 * (dim_x - 1);
        if (!may_change) {
            EXPECT_EQ(out[static_cast<std::size_t>(i)], bytes[static_cast<std::size_t>(i)]) << i;
        }
    }
    // dim_x 3: only column 1 of the filtered rows.
    const auto narrow = random_bytes(rng, static_cast<std::size_t>(PixelLayout::stride_for(3) * 8));
    const auto narrow_out = blur(narrow, 3, 8).bytes;
    for (std::int32_t r = 0; r < 8; ++r) {
        for (std::int32_t x : {0, 2}) {
            for (std::int32_t b = 0; b < 3; ++b) {
                EXPECT_EQ(pixel_at(narrow_out, 3, 8, r, x, b), pixel_at(narrow, 3, 8, r, x, b));
            }
        }
    }
}

}  // namespace
}  // namespace orvessa::test
