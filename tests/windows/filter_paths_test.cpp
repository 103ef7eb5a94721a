// Every filter path of the 32-bit Windows build against the literal
// filters, byte for byte, run under Wine. The DLL picks its path itself;
// this test links the same core and forces each path in turn, so that the
// AVX kernels of this build (their stack spills included) run even where
// the automatic choice would pass them by.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filters/filters.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pixel_layout.hpp"

namespace {

using orvessa::FilterPath;

std::vector<std::uint8_t> filtered(FilterPath path, bool blur, std::vector<std::uint8_t> bytes,
                                   std::int32_t dim_x, std::int32_t dim_y) {
    orvessa::force_filter_path(path);
    orvessa::ByteArrayView view(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
    if (blur) {
        orvessa::filters::blur_buffer(view, dim_x, dim_y);
    } else {
        orvessa::filters::median_cut_buffer(view, dim_x, dim_y);
    }
    orvessa::force_filter_path(FilterPath::automatic);
    return bytes;
}

class WindowsFilterPaths : public testing::TestWithParam<FilterPath> {};

TEST_P(WindowsFilterPaths, MatchTheLiteralFiltersAroundEveryVectorWidth) {
    if (!orvessa::filter_path_available(GetParam())) GTEST_SKIP() << "not supported here";
    for (std::int32_t dim_x = 1; dim_x <= 100; dim_x += (dim_x < 70 ? 1 : 7)) {
        const std::int32_t dim_y = 5;
        std::vector<std::uint8_t> bytes(
            static_cast<std::size_t>(orvessa::PixelLayout::stride_for(dim_x)) * dim_y);
        std::mt19937 rng(static_cast<std::uint32_t>(dim_x));
        // Narrow and wide spreads, so that the smoothing meets every kind of mix.
        const unsigned spread = dim_x % 2 ? 64 : 160;
        for (auto& b : bytes) b = static_cast<std::uint8_t>(96 + rng() % spread);
        for (bool blur : {true, false}) {
            EXPECT_EQ(filtered(GetParam(), blur, bytes, dim_x, dim_y),
                      filtered(FilterPath::literal, blur, bytes, dim_x, dim_y))
                << (blur ? "blur" : "smoothing") << ", width " << dim_x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, WindowsFilterPaths,
                         testing::Values(FilterPath::scalar, FilterPath::sse2, FilterPath::ssse3,
                                         FilterPath::avx2, FilterPath::avx512),
                         [](const testing::TestParamInfo<FilterPath>& info) {
                             return std::string(orvessa::filter_path_name(info.param));
                         });

}  // namespace
