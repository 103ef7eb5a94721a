// Every filter path this machine can run, on every thread count, gives the
// literal implementation's bytes: whole buffers (pads, borders, errors
// included) over widths around each vector width, short buffers, odd lower
// bounds, photos and noise.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "filter_harness.hpp"
#include "filters/blur.hpp"
#include "filters/filters.hpp"
#include "filters/median_cut.hpp"
#include "filters/prepared_rows.hpp"
#include "filters/row_kernel.hpp"
#include "filters/simd_kernels.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa {
namespace {

enum class Filter { blur, median_cut };

// Restores automatic selection when a test ends.
struct ForcedPath {
    explicit ForcedPath(FilterPath path) { force_filter_path(path); }
    ~ForcedPath() { force_filter_path(FilterPath::automatic); }
};

struct Outcome {
    std::vector<std::uint8_t> bytes;
    std::optional<std::int32_t> error;
};

Outcome run(FilterPath path, Filter filter, std::vector<std::uint8_t> bytes, std::int32_t dim_x,
            std::int32_t dim_y, std::int32_t lower_bound = 0, std::int32_t threads = 1) {
    const ForcedPath forced(path);
    ByteArrayView view(bytes.data(), static_cast<std::uint32_t>(bytes.size()), lower_bound);
    Outcome outcome;
    try {
        if (filter == Filter::blur) {
            filters::blur_buffer(view, dim_x, dim_y, {threads});
        } else {
            filters::median_cut_buffer(view, dim_x, dim_y, {threads});
        }
    } catch (const Error& e) {
        outcome.error = e.number();
    }
    outcome.bytes = std::move(bytes);
    return outcome;
}

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

    void expect_literal(Filter filter, const std::vector<std::uint8_t>& bytes, std::int32_t dim_x,
                        std::int32_t dim_y, std::int32_t lower_bound = 0) {
        const Outcome want = run(FilterPath::literal, filter, bytes, dim_x, dim_y, lower_bound);
        for (std::int32_t threads : test::thread_counts) {
            const Outcome got = run(GetParam(), filter, bytes, dim_x, dim_y, lower_bound, threads);
            const char* name = filter == Filter::blur ? "blur" : "smoothing";
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
    for (Filter filter : {Filter::blur, Filter::median_cut}) {
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
    for (Filter filter : {Filter::blur, Filter::median_cut}) {
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
        for (Filter filter : {Filter::blur, Filter::median_cut}) {
            expect_literal(filter, bytes, dim_x, dim_y);
        }
    }
}

// A lowest index of k * stride + 1 stops the walk when it comes to read row
// dim_y - 1 - k: on 12 rows, k = 3 and 4 stop it inside the second of two
// bands that the whole image would be cut into.
TEST_P(FilterVariants, ShortBuffersAndUnusualLowerBoundsFailAsTheLiteralFilterDoes) {
    for (Filter filter : {Filter::blur, Filter::median_cut}) {
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

// The pixel bytes of a 24-bit bottom-up BMP are a pixel buffer as they stand.
struct Picture {
    std::vector<std::uint8_t> pixels;
    std::int32_t dim_x = 0;
    std::int32_t dim_y = 0;
};

Picture read_bmp(const std::string& name) {
    std::ifstream in(std::string(ORVESSA_PICTURES) + "/" + name, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    auto le32 = [&](std::size_t at) {
        return static_cast<std::int32_t>(file.at(at) | file.at(at + 1) << 8 |
                                         file.at(at + 2) << 16 |
                                         static_cast<std::uint32_t>(file.at(at + 3)) << 24);
    };
    Picture p;
    p.dim_x = le32(18);
    p.dim_y = le32(22);
    const std::size_t offset = static_cast<std::size_t>(le32(10));
    const std::size_t size = full_size(p.dim_x, p.dim_y);
    if (file.size() >= offset + size && p.dim_x > 0 && p.dim_y > 0) {
        p.pixels.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                        file.begin() + static_cast<std::ptrdiff_t>(offset + size));
    }
    return p;
}

TEST_P(FilterVariants, PhotosMatchTheLiteralFilter) {
    for (const char* name : {"coffee.bmp", "chelsea-small.bmp"}) {
        const Picture picture = read_bmp(name);
        ASSERT_FALSE(picture.pixels.empty()) << name;
        for (Filter filter : {Filter::blur, Filter::median_cut}) {
            expect_literal(filter, picture.pixels, picture.dim_x, picture.dim_y);
        }
    }
}

// The kernels on their own, over rows allocated to their exact length, so
// that the sanitizers see any access outside a row.
struct PathKernels {
    filters::RowKernel blur_row = nullptr;
    filters::RowKernel smooth_row = nullptr;
    filters::PreparedRowKernel blur_step{};
    filters::PreparedRowKernel smooth_step{};
};

PathKernels kernels_of(FilterPath path) {
    using namespace filters;
    switch (path) {
#if defined(__x86_64__) || defined(__i386__)
        case FilterPath::sse2:
            return {blur_row_sse2,
                    median_cut_row_sse2,
                    {1, blur_row_sums, blur_next_row_sse2},
                    {2, median_cut_prepare_row, median_cut_next_row_sse2}};
        case FilterPath::ssse3:
            return {nullptr,
                    nullptr,
                    {1, blur_row_sums, blur_next_row_ssse3},
                    {2, median_cut_prepare_row, median_cut_next_row_ssse3}};
        case FilterPath::avx2:
            return {nullptr,
                    nullptr,
                    {1, blur_prepare_row_avx2, blur_next_row_avx2},
                    {2, median_cut_prepare_row, median_cut_next_row_avx2}};
        case FilterPath::avx512:
            return {nullptr, nullptr, {}, {2, median_cut_prepare_row, median_cut_next_row_avx512}};
#endif
        default:
            return {};
    }
}

TEST_P(FilterVariants, KernelsStayInsideTheirRows) {
    const PathKernels k = kernels_of(GetParam());
    if (k.blur_step.next_row == nullptr && k.smooth_step.next_row == nullptr) {
        GTEST_SKIP() << "no kernels of its own";
    }
    for (std::int32_t dim_x = 3; dim_x <= 70; ++dim_x) {
        const std::size_t n = 3 * static_cast<std::size_t>(dim_x);
        const auto above = noise(n, 20, 1), centre = noise(n, 20, 2), below = noise(n, 20, 3);
        auto expect_row = [&](filters::RowKernel fast, filters::RowKernel plain, const char* what) {
            if (fast == nullptr) return;
            std::vector<std::uint8_t> got(n, 0xA5), want(n, 0xA5);
            fast(above.data(), centre.data(), below.data(), got.data(), dim_x);
            plain(above.data(), centre.data(), below.data(), want.data(), dim_x);
            EXPECT_EQ(got, want) << what << ", width " << dim_x;
        };
        expect_row(k.blur_row, filters::blur_row_scalar, "blur row");
        expect_row(k.smooth_row, filters::median_cut_row_scalar, "smoothing row");

        // A step over prepared rows writes the centre row and prepares the row below.
        auto expect_step = [&](const filters::PreparedRowKernel& fast, filters::RowKernel plain,
                               const char* what) {
            if (fast.next_row == nullptr) return;
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
        expect_step(k.blur_step, filters::blur_row_scalar, "blur step");
        expect_step(k.smooth_step, filters::median_cut_row_scalar, "smoothing step");
    }
}

std::string path_name(const testing::TestParamInfo<FilterPath>& info) {
    return std::string(filter_path_name(info.param));
}

INSTANTIATE_TEST_SUITE_P(Paths, FilterVariants,
                         testing::Values(FilterPath::scalar, FilterPath::sse2, FilterPath::ssse3,
                                         FilterPath::avx2, FilterPath::avx512),
                         path_name);

TEST(FilterPathSelection, AutomaticRunsTheBestAvailablePath) {
    EXPECT_TRUE(filter_path_available(best_filter_path()));
    const std::vector<FilterPath> faster_first = {FilterPath::avx512, FilterPath::avx2,
                                                  FilterPath::ssse3, FilterPath::sse2,
                                                  FilterPath::scalar};
    for (FilterPath path : faster_first) {
        if (filter_path_available(path)) {
            EXPECT_EQ(best_filter_path(), path);
            break;
        }
    }
    for (FilterPath path : faster_first) {
        EXPECT_EQ(parse_filter_path(filter_path_name(path)), path);
    }
}

}  // namespace
}  // namespace orvessa
