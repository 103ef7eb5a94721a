// The edge-adaptive smoothing: hand-worked images, and exhaustive proofs
// that the fast formulation equals the step-by-step one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filter_harness.hpp"
#include "filters/median_cut.hpp"
#include "orvessa/arith.hpp"

namespace orvessa::test {
namespace {

std::vector<std::vector<int>> smooth_rows(const std::vector<std::vector<int>>& rows, FilterPath path) {
    const auto dim_y = static_cast<std::int32_t>(rows.size());
    const auto dim_x = static_cast<std::int32_t>(rows[0].size());
    const Outcome out = run_filter(PixelFilter::median_cut, path, gray_image(rows), dim_x, dim_y);
    EXPECT_FALSE(out.error);
    auto result = rows;
    for (std::int32_t r = 0; r < dim_y; ++r) {
        for (std::int32_t x = 0; x < dim_x; ++x) {
            result[r][x] = pixel_at(out.bytes, dim_x, dim_y, r, x);
            // All three channels see the same values, so they must agree.
            EXPECT_EQ(pixel_at(out.bytes, dim_x, dim_y, r, x, 1), result[r][x]);
            EXPECT_EQ(pixel_at(out.bytes, dim_x, dim_y, r, x, 2), result[r][x]);
        }
    }
    return result;
}

class MedianCutImages : public ::testing::TestWithParam<FilterPath> {};

TEST_P(MedianCutImages, BrightDotIsSoftenedSlightly) {
    std::vector<std::vector<int>> rows(5, std::vector<int>(5, 100));
    rows[2][2] = 110;
    auto expected = rows;
    expected[1] = {100, 101, 101, 101, 100};
    expected[2] = {100, 101, 103, 101, 100};
    EXPECT_EQ(smooth_rows(rows, GetParam()), expected);
}

TEST_P(MedianCutImages, SpreadBlendsOwnValueWithBlur) {
    const std::vector<std::vector<int>> rows = {
        {100, 110, 100}, {110, 130, 110}, {100, 110, 100}, {50, 60, 70}};
    auto expected = rows;
    expected[1][1] = 118;
    EXPECT_EQ(smooth_rows(rows, GetParam()), expected);
}

TEST_P(MedianCutImages, BlurTiesGoToEven) {
    const std::vector<std::vector<int>> low = {{101, 101, 101}, {100, 101, 100}, {100, 100, 100}, {0, 0, 0}};
    EXPECT_EQ(smooth_rows(low, GetParam())[1][1], 100);
    auto high = low;
    for (auto& row : high) {
        for (auto& v : row) v += 1;
    }
    EXPECT_EQ(smooth_rows(high, GetParam())[1][1], 102);
}

TEST_P(MedianCutImages, EdgesRampsAndFlatAreasSurvive) {
    const std::vector<std::vector<int>> step(5, {40, 40, 40, 200, 200, 200});
    EXPECT_EQ(smooth_rows(step, GetParam()), step);
    const std::vector<std::vector<int>> ramp(5, {100, 104, 108, 112, 116, 120});
    EXPECT_EQ(smooth_rows(ramp, GetParam()), ramp);
    const std::vector<std::vector<int>> flat(6, std::vector<int>(9, 255));
    EXPECT_EQ(smooth_rows(flat, GetParam()), flat);
}

INSTANTIATE_TEST_SUITE_P(AllPaths, MedianCutImages,
                         ::testing::Values(FilterPath::literal, FilterPath::automatic),
                         [](const auto& info) { return std::string(filter_path_name(info.param)); });

// The rounded square of cell - Sum / 16 is (d * d + 128) >> 8 with
// d = 16 * cell - Sum, for every cell and every Sum.
TEST(MedianCutIdentities, RoundedSquareFromIntegers) {
    for (std::int32_t cell = 0; cell <= 255; ++cell) {
        for (std::int32_t sum = 0; sum <= 4080; ++sum) {
            const double diff = cell - static_cast<double>(static_cast<float>(sum / 16.0));
            const std::int32_t d = 16 * cell - sum;
            ASSERT_EQ((d * d + 128) >> 8, round_to_int32(diff * diff)) << cell << " " << sum;
        }
    }
}

// The mix factor table against the literal filter's own computation: noise
// of every amplitude up to 64 meets spread sums M from 0 to past 3060,
// where the factor reaches 1.
TEST(MedianCutIdentities, MixFactorsMatchTheLiteralFilterOverTheRangeOfSpreads) {
    std::mt19937 rng(11);
    const std::int32_t dim_x = 64, dim_y = 6;
    for (unsigned amplitude = 0; amplitude <= 64; ++amplitude) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(PixelLayout::stride_for(dim_x)) * dim_y);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(100 + rng() % (amplitude + 1));
        EXPECT_EQ(run_filter(PixelFilter::median_cut, FilterPath::scalar, bytes, dim_x, dim_y),
                  run_filter(PixelFilter::median_cut, FilterPath::literal, bytes, dim_x, dim_y))
            << "amplitude " << amplitude;
    }
}

}  // namespace
}  // namespace orvessa::test
