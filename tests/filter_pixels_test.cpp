// Pictures in memory, whatever their row distance and direction, and the
// same picture filtered a few rows at a time, come out with the bytes the
// buffer filters write over the same pixels.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filter_harness.hpp"
#include "orvessa/filter_pixels.hpp"

namespace orvessa::test {
namespace {

struct Picture {
    std::int32_t width, height;
    std::ptrdiff_t row_step;  // negative: rows upward in memory
    std::vector<std::uint8_t> storage;

    std::uint8_t* top() {
        const std::ptrdiff_t span = (height - 1) * (row_step < 0 ? -row_step : row_step);
        return storage.data() + (row_step < 0 ? span : 0);
    }
    PixelRows rows() { return {top(), row_step}; }

    // The same pixels in a buffer laid out as the filters take it (bottom-up, padded).
    std::vector<std::uint8_t> as_buffer() {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(PixelLayout::stride_for(width) * height));
        for (std::int32_t r = 0; r < height; ++r) {
            std::copy_n(rows().row(r), 3 * width, &buffer[(height - 1 - r) * PixelLayout::stride_for(width)]);
        }
        return buffer;
    }
};

Picture random_picture(std::mt19937& rng, std::int32_t width, std::int32_t height,
                       std::ptrdiff_t row_step) {
    const std::size_t span = static_cast<std::size_t>((height - 1) * std::abs(row_step) + 3 * width);
    return {width, height, row_step, random_bytes(rng, span)};
}

class FilterPixels : public ::testing::TestWithParam<std::tuple<FilterPath, PixelFilter>> {};

TEST_P(FilterPixels, AnyRowLayoutAndAnyCutGiveTheBufferFiltersBytes) {
    const auto [path, filter] = GetParam();
    std::mt19937 rng(17);
    for (const auto& [width, height] : {std::pair{3, 4}, {5, 7}, {17, 9}, {64, 33}, {101, 12}}) {
        for (const std::ptrdiff_t gap : {0, 5}) {
            for (const int direction : {1, -1}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " gap " << gap
                                                << " direction " << direction);
                Picture original = random_picture(rng, width, height, direction * (3 * width + gap));
                const auto expected =
                    run_filter(filter, FilterPath::literal, original.as_buffer(), width, height).bytes;

                for (const std::int32_t threads : thread_counts) {
                    Picture whole = original;
                    const ForcedPath forced(path);
                    filter_pixels(filter, whole.rows(), width, height, {threads});
                    EXPECT_EQ(whole.as_buffer(), expected) << threads << " threads";
                }

                // Every row in random pieces from the unfiltered copy, into
                // rows that held other bytes: the border rows come back too.
                Picture streamed = original;
                for (std::int32_t r = 0; r < height; ++r) {
                    std::fill_n(streamed.rows().row(r), 3 * width, std::uint8_t{0xA5});
                }
                const ForcedPath forced(path);
                for (std::int32_t top = 0; top < height;) {
                    const std::int32_t count =
                        std::min(height - top, 1 + std::uniform_int_distribution<>(0, 4)(rng));
                    const auto piece = [&](Picture& p) { return PixelRows{p.rows().row(top), p.rows().row_step}; };
                    filter_pixel_rows(filter, piece(original), piece(streamed), width, height, top, count);
                    top += count;
                }
                EXPECT_EQ(streamed.as_buffer(), expected) << "streamed";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FilterPixels,
                         ::testing::Combine(::testing::ValuesIn(fast_paths()),
                                            ::testing::ValuesIn(test::every_filter())));

}  // namespace
}  // namespace orvessa::test
