// The caller's array and the pixel buffer layout.
#include <gtest/gtest.h>

#include <climits>

#include "orvessa/byte_array.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa {
namespace {

TEST(ByteArrayView, AccessRuleHonoursLowestIndexAndDimensions) {
    std::uint8_t storage[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    ByteArrayView shifted(storage, 8, -4);
    EXPECT_EQ(shifted.at(-4), 0);
    EXPECT_EQ(shifted.at(3), 7);
    EXPECT_THROW(shifted.at(4), Error);
    EXPECT_THROW(shifted.at(-5), Error);

    ByteArrayView from_one(storage, 8, 1);
    EXPECT_FALSE(from_one.accessible(0));
    EXPECT_EQ(from_one.at(1), 0);

    EXPECT_FALSE(ByteArrayView().accessible(0));
    EXPECT_FALSE(ByteArrayView(storage, 8, 0, 2).accessible(0));
    EXPECT_FALSE(ByteArrayView(storage, 0, 0).accessible(0));

    // An array reaching past the 32-bit index range still has its top index.
    ByteArrayView high(storage, 8, INT_MAX - 3);
    EXPECT_TRUE(high.accessible(INT_MAX));
    EXPECT_EQ(high.upper_bound(), static_cast<std::int64_t>(INT_MAX) + 4);

    try {
        from_one.at(0);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 9);
    }
}

TEST(PixelLayout, StridesRowsAndBytes) {
    const std::pair<std::int32_t, std::int32_t> strides[] = {
        {0, 0}, {1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {6, 20}, {7, 24}, {8, 24}, {100, 300},
        {101, 304}, {715827881, 2147483644}};
    for (auto [dim_x, stride] : strides) EXPECT_EQ(PixelLayout::stride_for(dim_x), stride) << dim_x;
    EXPECT_THROW(PixelLayout::stride_for(715827882), Error);
    EXPECT_THROW(PixelLayout::stride_for(-715827883), Error);
    EXPECT_EQ(PixelLayout::stride_for(-715827882), (-2147483643) & ~3);

    // 2 x 2: bottom row at bytes 0..5, top row at 8..13; pixel (0, 1) is 11..13.
    const PixelLayout two(2, 2);
    EXPECT_EQ(two.byte_index(1, 0, 0), 0);
    EXPECT_EQ(two.byte_index(1, 1, 2), 5);
    EXPECT_EQ(two.byte_index(0, 0, 0), 8);
    EXPECT_EQ(two.byte_index(0, 1, 0), 11);
    EXPECT_EQ(two.byte_index(0, 1, 2), 13);

    EXPECT_THROW(PixelLayout(1000, 1000000).row_start(0), Error);
    EXPECT_THROW(PixelLayout(1, INT_MIN).row_start(0), Error);
}

}  // namespace
}  // namespace orvessa
