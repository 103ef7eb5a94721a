// The three-row walk both filters share: which errors stop it, where, and
// what the caller's array holds then; and every fast path against the
// literal implementation on random buffers.
#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "filter_harness.hpp"

namespace orvessa::test {
namespace {

constexpr std::int32_t overflow = 6;
constexpr std::int32_t subscript = 9;

class WalkFailures : public ::testing::TestWithParam<std::tuple<PixelFilter, FilterPath>> {
protected:
    // The outcome on one thread, which every thread count must repeat.
    Outcome run(const std::vector<std::uint8_t>& bytes, std::int32_t dim_x, std::int32_t dim_y,
                ArrayShape shape = {}) {
        const auto [filter, path] = GetParam();
        const Outcome one = run_filter(filter, path, bytes, dim_x, dim_y, shape);
        for (std::int32_t threads : thread_counts) {
            EXPECT_EQ(run_filter(filter, path, bytes, dim_x, dim_y, shape, threads), one)
                << dim_x << "x" << dim_y << " lowest " << shape.lower_bound << " threads "
                << threads;
        }
        return one;
    }
    std::mt19937 rng{12345};
};

TEST_P(WalkFailures, StrideOverflowAndNegativeWidthTouchNothing) {
    const auto bytes = random_bytes(rng, 64);
    for (std::int32_t dim_x : {715827882, INT_MAX, -715827883, INT_MIN}) {
        EXPECT_EQ(run(bytes, dim_x, 5), (Outcome{bytes, overflow})) << dim_x;
    }
    for (std::int32_t dim_x : {-1, -2, -715827882}) {
        EXPECT_EQ(run(bytes, dim_x, 5), (Outcome{bytes, subscript})) << dim_x;
    }
}

TEST_P(WalkFailures, MissingOrTwoDimensionalArrayFailsAtFirstRead) {
    const auto bytes = random_bytes(rng, 200);
    EXPECT_EQ(run(bytes, 4, 5, {0, 0}), (Outcome{bytes, subscript}));
    EXPECT_EQ(run(bytes, 1, 5, {0, 2}), (Outcome{bytes, subscript}));
    // With no column nothing is read, so a missing array goes unnoticed.
    EXPECT_EQ(run(bytes, 0, 10, {0, 0}), (Outcome{bytes, std::nullopt}));
    EXPECT_EQ(run(bytes, 0, 10, {0, 2}), (Outcome{bytes, std::nullopt}));
    // Row arithmetic is checked before the array is.
    EXPECT_EQ(run(bytes, 4, INT_MIN, {0, 0}), (Outcome{bytes, overflow}));
}

TEST_P(WalkFailures, RowOffsetOverflowComesBeforeAnyAccess) {
    const auto bytes = random_bytes(rng, 300);
    EXPECT_EQ(run(bytes, 1000, 1000000), (Outcome{bytes, overflow}));
    EXPECT_EQ(run(bytes, 1, INT_MAX), (Outcome{bytes, overflow}));
    // Without columns only the loop bound dim_y - 3 can overflow.
    for (std::int32_t dim_y : {INT_MIN, INT_MIN + 2}) {
        EXPECT_EQ(run(bytes, 0, dim_y), (Outcome{bytes, overflow})) << dim_y;
    }
    EXPECT_EQ(run(bytes, 0, INT_MIN + 3), (Outcome{bytes, std::nullopt}));
}

TEST_P(WalkFailures, ShortBufferFailsBeforeAnyWrite) {
    for (std::int32_t dim_x : {1, 2, 3, 5, 8}) {
        const std::int32_t dim_y = 6;
        const std::int32_t minimum = (dim_y - 1) * PixelLayout::stride_for(dim_x) + 3 * dim_x;
        const auto exact = random_bytes(rng, static_cast<std::size_t>(minimum));
        auto padded = exact;
        padded.resize(static_cast<std::size_t>(PixelLayout::stride_for(dim_x) * dim_y), 0xA5);

        const Outcome from_exact = run(exact, dim_x, dim_y);
        const Outcome from_padded = run(padded, dim_x, dim_y);
        EXPECT_FALSE(from_exact.error) << dim_x;
        EXPECT_EQ(from_exact.bytes, std::vector<std::uint8_t>(from_padded.bytes.begin(),
                                                              from_padded.bytes.begin() + minimum));
        auto one_short = exact;
        one_short.pop_back();
        EXPECT_EQ(run(one_short, dim_x, dim_y), (Outcome{one_short, subscript})) << dim_x;
    }
}

TEST_P(WalkFailures, FewerThanThreeRowsReadBelowIndexZero) {
    const auto bytes = random_bytes(rng, 100);
    for (std::int32_t dim_y : {2, 1, 0, -1, -100}) {
        EXPECT_EQ(run(bytes, 3, dim_y), (Outcome{bytes, subscript})) << dim_y;
    }
    // A lowest index low enough serves those rows: the call reads and completes.
    EXPECT_EQ(run(bytes, 3, 2, {-60}), (Outcome{bytes, std::nullopt}));
}

TEST_P(WalkFailures, LowestIndexAboveZeroStopsAfterTheRowsItServes) {
    const std::int32_t dim_x = 5;
    const std::int32_t dim_y = 7;
    const std::int32_t stride = PixelLayout::stride_for(dim_x);
    const auto bytes = random_bytes(rng, static_cast<std::size_t>(stride * dim_y));
    const Outcome whole = run(bytes, dim_x, dim_y);
    ASSERT_FALSE(whole.error);

    // The array holds positions lowest.. only: storage element i is position i + lowest.
    auto from = [](const std::vector<std::uint8_t>& v, std::int32_t lowest) {
        return std::vector<std::uint8_t>(v.begin() + lowest, v.end());
    };
    // Lowest index 1: every centre row is filtered, then the bottom row
    // (at position 0) cannot be read. The two bottom rows are never written.
    EXPECT_EQ(run(from(bytes, 1), dim_x, dim_y, {1}), (Outcome{from(whole.bytes, 1), subscript}));

    // Lowest index stride + 1: row dim_y - 2 cannot be read either, so the
    // walk stops before the last centre row (row dim_y - 3, positions 2S..3S-1).
    auto partly = whole.bytes;
    std::copy(bytes.begin(), bytes.begin() + 3 * stride, partly.begin());
    EXPECT_EQ(run(from(bytes, stride + 1), dim_x, dim_y, {stride + 1}),
              (Outcome{from(partly, stride + 1), subscript}));

    // The lowest index honoured: an array starting at -4 shifts positions by 4.
    auto shifted = random_bytes(rng, 4);
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    const Outcome from_shifted = run(shifted, dim_x, dim_y, {-4});
    EXPECT_FALSE(from_shifted.error);
    EXPECT_EQ(std::vector<std::uint8_t>(from_shifted.bytes.begin() + 4, from_shifted.bytes.end()),
              whole.bytes);
    EXPECT_TRUE(std::equal(shifted.begin(), shifted.begin() + 4, from_shifted.bytes.begin()));
}

TEST_P(WalkFailures, NarrowImagesReadEveryRowButWriteNothing) {
    for (std::int32_t dim_x : {1, 2}) {
        const auto bytes = random_bytes(rng, static_cast<std::size_t>(PixelLayout::stride_for(dim_x) * 6));
        EXPECT_EQ(run(bytes, dim_x, 6), (Outcome{bytes, std::nullopt}));
        EXPECT_EQ(run(bytes, dim_x, 6, {1}), (Outcome{bytes, subscript}));
    }
    const auto bytes = random_bytes(rng, 60);
    EXPECT_EQ(run(bytes, 4, 3), (Outcome{bytes, std::nullopt}));
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<PixelFilter, FilterPath>>& info) {
    return std::string(filter_name(std::get<0>(info.param))) + "_" +
           std::string(filter_path_name(std::get<1>(info.param)));
}

std::vector<FilterPath> every_path() {
    auto paths = fast_paths();
    paths.insert(paths.begin(), FilterPath::literal);
    return paths;
}

INSTANTIATE_TEST_SUITE_P(AllPaths, WalkFailures,
                         ::testing::Combine(::testing::ValuesIn(test::every_filter()),
                                            ::testing::ValuesIn(every_path())),
                         case_name);

// Random sizes, lengths, lowest indices and contents: every fast path, on
// every thread count, must leave the same bytes and raise the same error as
// the literal walk. A lowest index above 0 stops the walk part way, often
// inside what would be a later band.
class FastPathsMatchLiteral : public ::testing::TestWithParam<PixelFilter> {};

TEST_P(FastPathsMatchLiteral, OnRandomBuffers) {
    const PixelFilter filter = GetParam();
    std::mt19937 rng(filter == PixelFilter::blur ? 1u : 2u);
    std::uniform_int_distribution<std::int32_t> small(0, 70);
    const auto paths = fast_paths();
    for (int round = 0; round < 400; ++round) {
        const std::int32_t dim_x = round % 10 == 0 ? 200 + small(rng) : small(rng);
        const std::int32_t dim_y = small(rng);
        const std::int32_t stride = PixelLayout::stride_for(dim_x);
        const std::int64_t minimum =
            dim_y > 0 ? static_cast<std::int64_t>(dim_y - 1) * stride + 3 * dim_x : 0;
        const std::int64_t lengths[] = {minimum, minimum - 1, static_cast<std::int64_t>(stride) * dim_y,
                                        minimum + small(rng)};
        const std::int64_t length = std::max<std::int64_t>(0, lengths[round % 4]);
        const std::int32_t lowers[] = {0, 0, -7, 1, stride, stride + 1, -stride};
        const ArrayShape shape{lowers[round % 7], 1};

        const auto bytes = random_bytes(rng, static_cast<std::size_t>(length));
        const Outcome expected = run_filter(filter, FilterPath::literal, bytes, dim_x, dim_y, shape);
        for (FilterPath path : paths) {
            for (std::int32_t threads : thread_counts) {
                ASSERT_EQ(run_filter(filter, path, bytes, dim_x, dim_y, shape, threads), expected)
                    << filter_path_name(path) << " " << dim_x << "x" << dim_y << " length "
                    << length << " lowest " << shape.lower_bound << " threads " << threads;
            }
        }
    }
}

TEST_P(FastPathsMatchLiteral, OnLargeSmoothAndNoisyImages) {
    const PixelFilter filter = GetParam();
    std::mt19937 rng(7);
    for (auto [dim_x, dim_y] : {std::pair{301, 37}, std::pair{64, 65}, std::pair{333, 9}}) {
        auto bytes = random_bytes(rng, static_cast<std::size_t>(PixelLayout::stride_for(dim_x) * dim_y));
        // Half the image a gentle gradient, so the smoothing's blend runs, not only its edges.
        for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
            bytes[i] = static_cast<std::uint8_t>(100 + (i / 3) % 7 + (bytes[i] & 3));
        }
        const Outcome expected = run_filter(filter, FilterPath::literal, bytes, dim_x, dim_y);
        for (FilterPath path : fast_paths()) {
            for (std::int32_t threads : thread_counts) {
                EXPECT_EQ(run_filter(filter, path, bytes, dim_x, dim_y, {}, threads), expected)
                    << filter_path_name(path) << " " << dim_x << "x" << dim_y << " threads "
                    << threads;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothFilters, FastPathsMatchLiteral,
                         ::testing::ValuesIn(test::every_filter()),
                         [](const auto& info) { return std::string(filter_name(info.param)); });

}  // namespace
}  // namespace orvessa::test
