// Every filter path this machine can run, on every thread count, gives the
// literal implementation's bytes: whole buffers (pads, borders, errors
// included) over widths around each vector width, short buffers, odd lower
// bounds, photos and noise.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bmp_reader.hpp"
#include "filter_harness.hpp"
#include "filters/blur.hpp"
#include "filters/filter_kernels.hpp"
#include "filters/filter_paths.hpp"
#include "filters/median_cut.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa {
namespace {

using test::Outcome;

// Random bytes around a diagonal gradient; `amplitude` sets how far they
// stray, so the smoothing meets flat areas (small spread), edges (mix
// factor 1) and everything between.
std::vector<std::uint8_t> noise(std::size_t size, std::int32_t amplitude, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::int32_t> jitter(0, amplitude);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::int32_t base = static_cast<std::int32_t>((i * 7) / 5 % 256) - amplitude / 2;
        const std::int32_t v = base + jitter(rng);
        bytes[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return bytes;
}

std::size_t full_size(std::int32_t dim_x, std::int32_t dim_y) {
    return static_cast<std::size_t>(PixelLayout::stride_for(dim_x)) *
           static_cast<std::size_t>(dim_y);
}

class FilterVariants : public testing::TestWithParam<FilterPath> {
protected:
    void SetUp() override {
        if (!filter_path_available(GetParam())) GTEST_SKIP() << "this processor cannot run it";
    }

    void expect_literal(PixelFilter filter, const std::vector<std::uint8_t>& bytes, std::int32_t dim_x,
                        std::int32_t dim_y, std::int32_t lower_bound = 0) {
        const test::ArrayShape shape{lower_bound};
        const Outcome want = test::run_filter(filter, FilterPath::literal, bytes, dim_x, dim_y, shape);
        for (std::int32_t threads : test::thread_counts) {
            const Outcome got =
                test::run_filter(filter, GetParam(), bytes, dim_x, dim_y, shape, threads);
            const std::string name = test::filter_name(filter);
            EXPECT_EQ(got.error, want.error) << name << " " << dim_x << " x " << dim_y << ", "
                                             << threads << " threads";
            ASSERT_EQ(got.bytes.size(), want.bytes.size());
            for (std::size_t i = 0; i < want.bytes.size(); ++i) {
                if (got.bytes[i] != want.bytes[i]) {
                    ADD_FAILURE() << name << " " << dim_x << " x " << dim_y << ", " << threads
                                  << " threads: first difference at byte " << i << ": "
                                  << int(got.bytes[i]) << " instead of " << int(want.bytes[i]);
                    return;
                }
            }
        }
    }
};

// Widths 1..100 cover 1, 2, 3, N - 1, N, N + 1 and 3N + 2 pixels for the
// 16-, 32- and 64-byte blocks; rows are 3 * width bytes, pads random.
TEST_P(FilterVariants, EveryWidthUpToAHundredMatchesTheLiteralFilter) {
    for (PixelFilter filter : test::every_filter()) {
        for (std::int32_t dim_x = 1; dim_x <= 100; ++dim_x) {
            for (std::int32_t amplitude : {3, 40, 255}) {
                const std::int32_t dim_y = 4 + dim_x % 3;
                expect_literal(filter, noise(full_size(dim_x, dim_y), amplitude, dim_x), dim_x,
                               dim_y);
            }
        }
    }
}

TEST_P(FilterVariants, WideImagesMatchTheLiteralFilter) {
    for (PixelFilter filter : test::every_filter()) {
        for (std::int32_t dim_x : {255, 256, 257, 1001}) {
            expect_literal(filter, noise(full_size(dim_x, 9), 24, 7), dim_x, 9);
        }
    }
}

// Near-flat areas (every spread 0: the blur's bytes, here all ties between
// 76 and 77) beside full-range noise (spreads at the limit: the own bytes)
// and the edge between them; the vector smoothing takes shortcuts for whole
// blocks of either kind.
TEST_P(FilterVariants, FlatAreasAndNoiseMatchTheLiteralFilter) {
    for (std::int32_t dim_x : {40, 101}) {
        const std::int32_t dim_y = 8;
        std::vector<std::uint8_t> bytes = noise(full_size(dim_x, dim_y), 255, 5);
        const std::size_t stride = static_cast<std::size_t>(PixelLayout::stride_for(dim_x));
        for (std::size_t row = 0; row < static_cast<std::size_t>(dim_y); ++row) {
            for (std::size_t i = 0; i < 3 * static_cast<std::size_t>(dim_x) / 2; ++i) {
                bytes[row * stride + i] = static_cast<std::uint8_t>(76 + row % 2);
            }
        }
        for (PixelFilter filter : test::every_filter()) {
            expect_literal(filter, bytes, dim_x, dim_y);
        }
    }
}

// A lowest index of k * stride + 1 stops the walk when it comes to read row
// dim_y - 1 - k: on 12 rows, k = 3 and 4 stop it inside the second of two
// bands that the whole image would be cut into.
TEST_P(FilterVariants, ShortBuffersAndUnusualLowerBoundsFailAsTheLiteralFilterDoes) {
    for (PixelFilter filter : test::every_filter()) {
        for (std::int32_t dim_x : {5, 22, 43}) {
            for (std::int32_t dim_y : {6, 12}) {
                const auto stride = PixelLayout::stride_for(dim_x);
                const auto minimal = static_cast<std::size_t>((dim_y - 1) * stride + 3 * dim_x);
                expect_literal(filter, noise(minimal, 30, 1), dim_x, dim_y);
                expect_literal(filter, noise(minimal - 1, 30, 2), dim_x, dim_y);
                for (std::int32_t lower_bound :
                     {-1000, -1, 1, 7, stride + 1, 3 * stride + 1, 4 * stride + 1}) {
                    expect_literal(filter, noise(full_size(dim_x, dim_y) + 50, 30, 3), dim_x,
                                   dim_y, lower_bound);
                }
            }
        }
    }
}

TEST_P(FilterVariants, PhotosMatchTheLiteralFilter) {
    for (const char* name : {"coffee.bmp", "chelsea-small.bmp"}) {
        const test::BmpPicture picture = test::read_bmp(std::string(ORVESSA_PICTURES) + "/" + name);
        ASSERT_FALSE(picture.pixels.empty()) << name;
        for (PixelFilter filter : test::every_filter()) {
            expect_literal(filter, test::buffer_of(picture), picture.width, picture.height);
        }
    }
}

// The kernels on their own, over rows allocated to their exact length, so
// that the sanitizers see any access outside a row.
TEST_P(FilterVariants, KernelsStayInsideTheirRows) {
    bool any = false;
    for (std::int32_t dim_x = 3; dim_x <= 70; ++dim_x) {
        const std::size_t n = 3 * static_cast<std::size_t>(dim_x);
        const auto above = noise(n, 20, 1), centre = noise(n, 20, 2), below = noise(n, 20, 3);
        // A step over prepared rows writes the centre row and prepares the row below.
        auto expect_step = [&](const filters::PreparedRowKernel& fast, filters::RowKernel plain,
                               const std::string& what) {
            const std::size_t words = n * static_cast<std::size_t>(fast.words);
            std::vector<std::uint16_t> prepared[3] = {std::vector<std::uint16_t>(words),
                                                      std::vector<std::uint16_t>(words),
                                                      std::vector<std::uint16_t>(words)};
            std::vector<std::uint16_t> stepped(words);
            fast.prepare(above.data(), prepared[0].data(), dim_x);
            fast.prepare(centre.data(), prepared[1].data(), dim_x);
            fast.prepare(below.data(), prepared[2].data(), dim_x);
            std::vector<std::uint8_t> got(n, 0xA5), want(n, 0xA5);
            fast.next_row(below.data(), nullptr, prepared[0].data(), prepared[1].data(),
                          stepped.data(), got.data(), dim_x);
            plain(above.data(), centre.data(), below.data(), want.data(), dim_x);
            EXPECT_EQ(got, want) << what << ", width " << dim_x;
            EXPECT_EQ(stepped, prepared[2]) << what << " prepared, width " << dim_x;
        };
        for (const FilterRow& row : pixel_filters) {
            const filters::PreparedRowKernel* fast = row.kernels->on_path(GetParam());
            if (fast == nullptr) continue;
            any = true;
            expect_step(*fast, row.kernels->row, std::string(row.name) + " step");
        }
    }
    if (!any) GTEST_SKIP() << "no kernels of its own";
}

std::string path_name(const testing::TestParamInfo<FilterPath>& info) {
    return std::string(filter_path_name(info.param));
}

INSTANTIATE_TEST_SUITE_P(Paths, FilterVariants, testing::ValuesIn(test::kernel_paths()),
                         path_name);

// Automatic selection runs a path that this processor can run, and every
// path is known by its name.
TEST(FilterPathSelection, AutomaticRunsAnAvailablePath) {
    EXPECT_TRUE(filter_path_available(best_filter_path()));
    EXPECT_TRUE(filters::runs_kernels(best_filter_path()));
    for (const auto& entry : filters::filter_path_table()) {
        EXPECT_EQ(parse_filter_path(filter_path_name(entry.path)), entry.path);
    }
}

}  // namespace
}  // namespace orvessa
