// Every filter path of the Windows build (32- or 64-bit) against the literal
// filters, byte for byte, run under Wine. The DLL picks its path itself;
// this test links the same core and forces each path in turn, so that the
// vector kernels of this build (their stack spills included) run even where
// the automatic choice would pass them by.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter_harness.hpp"

namespace orvessa::test {
namespace {

class WindowsFilterPaths : public ::testing::TestWithParam<FilterPath> {};

TEST_P(WindowsFilterPaths, MatchTheLiteralFiltersAroundEveryVectorWidth) {
    if (!filter_path_available(GetParam())) GTEST_SKIP() << "not supported here";
    for (std::int32_t dim_x = 1; dim_x <= 100; dim_x += (dim_x < 70 ? 1 : 7)) {
        const std::int32_t dim_y = 5;
        std::vector<std::uint8_t> bytes(
            static_cast<std::size_t>(PixelLayout::stride_for(dim_x)) * dim_y);
        std::mt19937 rng(static_cast<std::uint32_t>(dim_x));
        // Narrow and wide spreads, so that the smoothing meets every kind of mix.
        const unsigned spread = dim_x % 2 ? 64 : 160;
        for (auto& b : bytes) b = static_cast<std::uint8_t>(96 + rng() % spread);
        for (PixelFilter filter : test::every_filter()) {
            EXPECT_EQ(run_filter(filter, GetParam(), bytes, dim_x, dim_y),
                      run_filter(filter, FilterPath::literal, bytes, dim_x, dim_y))
                << filter_name(filter) << ", width " << dim_x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, WindowsFilterPaths, ::testing::ValuesIn(kernel_paths()),
                         [](const ::testing::TestParamInfo<FilterPath>& info) {
                             return std::string(filter_path_name(info.param));
                         });

}  // namespace
}  // namespace orvessa::test
