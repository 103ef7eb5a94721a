// For the 32-bit Windows build, run under Wine: every filter path that the
// processor supports against the literal filters, byte for byte, on noise
// over widths around each vector width. The DLL picks its path itself; this
// program links the same core and forces each path in turn, so the AVX
// kernels of that build (stack spills included) run even where the
// automatic choice would skip them. Exit code 0 when all agree.
#include <cstdio>
#include <random>
#include <vector>

#include "filters/filters.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pixel_layout.hpp"

namespace {

using orvessa::FilterPath;

std::vector<std::uint8_t> run(FilterPath path, bool blur, std::vector<std::uint8_t> bytes,
                              std::int32_t dim_x, std::int32_t dim_y) {
    orvessa::force_filter_path(path);
    orvessa::ByteArrayView view(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
    if (blur) {
        orvessa::filters::blur_buffer(view, dim_x, dim_y);
    } else {
        orvessa::filters::median_cut_buffer(view, dim_x, dim_y);
    }
    return bytes;
}

}  // namespace

int main() {
    int failures = 0;
    for (FilterPath path : {FilterPath::scalar, FilterPath::sse2, FilterPath::avx2, FilterPath::avx512}) {
        const auto name = orvessa::filter_path_name(path);
        if (!orvessa::filter_path_available(path)) {
            std::printf("%.*s: not supported here\n", static_cast<int>(name.size()), name.data());
            continue;
        }
        int compared = 0;
        for (std::int32_t dim_x = 1; dim_x <= 100; dim_x += (dim_x < 70 ? 1 : 7)) {
            const std::int32_t dim_y = 5;
            std::vector<std::uint8_t> bytes(
                static_cast<std::size_t>(orvessa::PixelLayout::stride_for(dim_x)) * dim_y);
            std::mt19937 rng(static_cast<std::uint32_t>(dim_x));
            for (auto& b : bytes) b = static_cast<std::uint8_t>(96 + rng() % (dim_x % 2 ? 64 : 160));
            for (bool blur : {true, false}) {
                try {
                    if (run(FilterPath::literal, blur, bytes, dim_x, dim_y) !=
                        run(path, blur, bytes, dim_x, dim_y)) {
                        std::printf("%.*s: %s differs at width %d\n", static_cast<int>(name.size()),
                                    name.data(), blur ? "blur" : "smoothing", dim_x);
                        ++failures;
                    }
                } catch (const orvessa::Error& e) {
                    std::printf("%.*s: error %s\n", static_cast<int>(name.size()), name.data(), e.what());
                    ++failures;
                }
                ++compared;
            }
        }
        std::printf("%.*s: %d images compared\n", static_cast<int>(name.size()), name.data(), compared);
    }
    return failures == 0 ? 0 : 1;
}
