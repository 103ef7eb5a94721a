// Both filters on every path this processor runs, beside their OpenCV
// peers and two plain copies, on 1920 x 1080 and 4096 x 4096 pictures of
// noise and of a photo, single-threaded; and on 4096 x 4096 the fastest path
// on 2 threads and on every usable core, beside OpenCV on its default number
// of threads. After the runs a table gives megapixels per second (medians
// over the repetitions) and the ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "orvessa/filter_pixels.hpp"
#include "orvessa/filter_options.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pixel_layout.hpp"

#if ORVESSA_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using orvessa::FilterPath;

struct Image {
    std::int32_t dim_x = 0;
    std::int32_t dim_y = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bytes;
};

Image blank(std::int32_t dim_x, std::int32_t dim_y) {
    Image image{
        dim_x, dim_y, static_cast<std::size_t>(orvessa::PixelLayout::stride_for(dim_x)), {}};
    image.bytes.resize(image.stride * static_cast<std::size_t>(dim_y));
    return image;
}

Image noise(std::int32_t dim_x, std::int32_t dim_y) {
    Image image = blank(dim_x, dim_y);
    std::mt19937 rng(12345);
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(rng());
    return image;
}

// A 24-bit bottom-up BMP, stretched bilinearly to the size wanted.
Image photo(std::int32_t dim_x, std::int32_t dim_y) {
    std::ifstream in(std::string(ORVESSA_PICTURES) + "/coffee.bmp", std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    if (file.size() < 54) {
        std::fprintf(stderr, "cannot read the photo; using noise\n");
        return noise(dim_x, dim_y);
    }
    auto le32 = [&](std::size_t at) {
        return static_cast<std::int32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                         static_cast<std::uint32_t>(file[at + 3]) << 24);
    };
    const std::int32_t w = le32(18), h = le32(22);
    const std::size_t offset = static_cast<std::size_t>(le32(10));
    const std::size_t src_stride = static_cast<std::size_t>(orvessa::PixelLayout::stride_for(w));
    Image image = blank(dim_x, dim_y);
    for (std::int32_t y = 0; y < dim_y; ++y) {
        const double fy = (y + 0.5) * h / dim_y - 0.5;
        const std::int32_t y0 = std::clamp(static_cast<std::int32_t>(fy), 0, h - 2);
        const double wy = std::clamp(fy - y0, 0.0, 1.0);
        for (std::int32_t x = 0; x < dim_x; ++x) {
            const double fx = (x + 0.5) * w / dim_x - 0.5;
            const std::int32_t x0 = std::clamp(static_cast<std::int32_t>(fx), 0, w - 2);
            const double wx = std::clamp(fx - x0, 0.0, 1.0);
            for (std::int32_t b = 0; b < 3; ++b) {
                auto at = [&](std::int32_t yy, std::int32_t xx) {
                    return static_cast<double>(file[offset + yy * src_stride + 3 * xx + b]);
                };
                const double v = (1 - wy) * ((1 - wx) * at(y0, x0) + wx * at(y0, x0 + 1)) +
                                 wy * ((1 - wx) * at(y0 + 1, x0) + wx * at(y0 + 1, x0 + 1));
                image.bytes[y * image.stride + 3 * x + b] = static_cast<std::uint8_t>(v + 0.5);
            }
        }
    }
    return image;
}

struct Case {
    std::string filter;  // Blur_Buffer, MedianCut_Buffer, or a peer
    std::string path;
    std::string size;
    std::string content;
    std::int32_t threads = 1;
};
std::vector<std::pair<std::string, Case>> cases;  // benchmark name and what it measures
std::int32_t cv_default_threads = 1;  // what OpenCV would use on its own

std::string name_of(const Case& c) {
    std::string name = c.filter + "/" + c.path + "/" + c.size + "/" + c.content;
    if (c.threads != 1) name += "/threads:" + std::to_string(c.threads);
    return name;
}

// body(state, image, path, threads)
template <typename Body>
void add(const Case& c, Body body, const Image* image, FilterPath path) {
    const std::string name = name_of(c);
    cases.emplace_back(name, c);
    benchmark::RegisterBenchmark(name.c_str(), body, image, path, c.threads)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void count_pixels(benchmark::State& state, const Image& image) {
    state.SetItemsProcessed(state.iterations() * image.dim_x * image.dim_y);
}

// Each round filters a fresh copy of the picture, restored outside the timing.
void run_filter(orvessa::PixelFilter filter, benchmark::State& state, const Image* image, FilterPath path,
                std::int32_t threads) {
    orvessa::force_filter_path(path);
    std::vector<std::uint8_t> work = image->bytes;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), image->bytes.data(), work.size());
        state.ResumeTiming();
        orvessa::ByteArrayView view(work.data(), static_cast<std::uint32_t>(work.size()), 0);
        orvessa::filter_buffer(filter, view, image->dim_x, image->dim_y, {threads});
        benchmark::DoNotOptimize(work.data());
    }
    orvessa::force_filter_path(FilterPath::automatic);
    count_pixels(state, *image);
}

auto filter_body(orvessa::PixelFilter filter) {
    return [filter](benchmark::State& state, const Image* image, FilterPath path, std::int32_t threads) {
        run_filter(filter, state, image, path, threads);
    };
}

void run_memcpy(benchmark::State& state, const Image* image, FilterPath, std::int32_t) {
    std::vector<std::uint8_t> out(image->bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), image->bytes.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    count_pixels(state, *image);
}

// The memory traffic the in-place filters cannot avoid: each row is read
// once with its neighbour and once itself, and written once.
void run_two_reads_one_write(benchmark::State& state, const Image* image, FilterPath,
                             std::int32_t) {
    std::vector<std::uint8_t> work = image->bytes;
    const std::size_t row = image->stride;
    for (auto _ : state) {
        std::uint8_t* p = work.data();
        for (std::int32_t y = image->dim_y - 1; y > 0; --y) {
            std::uint8_t* here = p + static_cast<std::size_t>(y) * row;
            const std::uint8_t* next = here - row;
            for (std::size_t i = 0; i < row; ++i)
                here[i] = static_cast<std::uint8_t>(here[i] | next[i]);
        }
        benchmark::DoNotOptimize(work.data());
    }
    count_pixels(state, *image);
}

#if ORVESSA_HAVE_OPENCV
cv::Mat as_mat(const Image& image) {
    return cv::Mat(image.dim_y, image.dim_x, CV_8UC3, const_cast<std::uint8_t*>(image.bytes.data()),
                   image.stride);
}

// OpenCV runs on one thread except in the rows that give it its default.
struct CvThreads {
    explicit CvThreads(std::int32_t threads) { cv::setNumThreads(threads); }
    ~CvThreads() { cv::setNumThreads(1); }
};

void run_gaussian(benchmark::State& state, const Image* image, FilterPath, std::int32_t threads) {
    const CvThreads cv_threads(threads);
    const cv::Mat src = as_mat(*image);
    cv::Mat dst(src.size(), src.type());
    for (auto _ : state) {
        cv::GaussianBlur(src, dst, {3, 3}, 0);
        benchmark::DoNotOptimize(dst.data);
    }
    count_pixels(state, *image);
}

void run_bilateral(benchmark::State& state, const Image* image, FilterPath, std::int32_t threads) {
    const CvThreads cv_threads(threads);
    const cv::Mat src = as_mat(*image);
    cv::Mat dst(src.size(), src.type());
    for (auto _ : state) {
        cv::bilateralFilter(src, dst, 3, 25, 3);
        benchmark::DoNotOptimize(dst.data);
    }
    count_pixels(state, *image);
}
#endif

// Keeps the median of each benchmark's repetitions, for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single) continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end())
                mpps[run.run_name.function_name] = rate->second.value / 1e6;
        }
    }
    std::map<std::string, double> mpps;
};

void print_table(const std::map<std::string, double>& mpps) {
    auto find = [&](const std::string& filter, const std::string& path, const Case& like,
                    std::int32_t threads) {
        const auto it = mpps.find(name_of({filter, path, like.size, like.content, threads}));
        return it == mpps.end() ? 0.0 : it->second;
    };
    auto ratio = [](double a, double b) {
        char text[32] = "-";
        if (a > 0 && b > 0) std::snprintf(text, sizeof text, "%.2f", a / b);
        return std::string(text);
    };
    // Filters first, then peers and copies; within each, sizes and contents.
    const std::vector<std::string> order = {"Blur_Buffer",      "MedianCut_Buffer",
                                            "cv::GaussianBlur", "cv::bilateralFilter",
                                            "copy_memcpy",      "copy_2r1w"};
    auto rank = [&](const Case& c) {
        return std::make_tuple(std::find(order.begin(), order.end(), c.filter) - order.begin(),
                               c.size, c.content, c.threads);
    };
    auto rows = cases;
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const auto& a, const auto& b) { return rank(a.second) < rank(b.second); });
    // Threaded rows compare with OpenCV on its default threads, and with
    // themselves on one thread.
    std::printf(
        "\n| filter | path | threads | size | content | MP/s | x 1 thread | x peer | x "
        "GaussianBlur | x 2-read copy | x memcpy |\n");
    std::printf("|---|---|---:|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (const auto& [name, c] : rows) {
        const auto it = mpps.find(name);
        if (it == mpps.end()) continue;
        const double v = it->second;
        const std::int32_t peer_threads = c.threads == 1 ? 1 : cv_default_threads;
        std::string scaling = "-", peer = "-", gauss = "-", copy = "-", memcpy_ratio = "-";
        if (c.threads != 1) scaling = ratio(v, find(c.filter, c.path, c, 1));
        if (c.filter == "Blur_Buffer") {
            peer = ratio(v, find("cv::GaussianBlur", "opencv", c, peer_threads));
            copy = ratio(v, find("copy_2r1w", "plain", c, 1));
            memcpy_ratio = ratio(v, find("copy_memcpy", "plain", c, 1));
        } else if (c.filter == "MedianCut_Buffer") {
            peer = ratio(v, find("cv::bilateralFilter", "opencv", c, peer_threads));
            gauss = ratio(v, find("cv::GaussianBlur", "opencv", c, peer_threads));
        }
        // Which row runs on every core, or on OpenCV's own choice.
        std::string threads = std::to_string(c.threads);
        if (c.path == "opencv" && c.threads != 1) {
            threads += " (default)";
        } else if (c.path != "opencv" && c.path != "plain" && c.threads > 1 &&
                   c.threads == orvessa::usable_cores()) {
            threads += " (all)";
        }
        std::printf("| %s | %s | %s | %s | %s | %.0f | %s | %s | %s | %s | %s |\n",
                    c.filter.c_str(), c.path.c_str(), threads.c_str(), c.size.c_str(),
                    c.content.c_str(), v, scaling.c_str(), peer.c_str(), gauss.c_str(),
                    copy.c_str(), memcpy_ratio.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
#if ORVESSA_HAVE_OPENCV
    cv_default_threads = cv::getNumThreads();
    cv::setNumThreads(1);
#endif
    // One thread, two, and every usable core (when that is more than two).
    std::vector<std::int32_t> thread_counts = {2};
    if (orvessa::usable_cores() > 2) thread_counts.push_back(orvessa::usable_cores());
    struct Size {
        std::int32_t x, y;
        const char* name;
    };
    std::vector<Image> images;
    images.reserve(4);
    for (const Size size : {Size{1920, 1080, "1920x1080"}, Size{4096, 4096, "4096x4096"}}) {
        for (const char* content : {"photo", "noise"}) {
            images.push_back(content[0] == 'p' ? photo(size.x, size.y) : noise(size.x, size.y));
            const Image* image = &images.back();
            for (FilterPath path : {FilterPath::scalar, FilterPath::sse2, FilterPath::ssse3,
                                    FilterPath::avx2, FilterPath::avx512}) {
                if (!orvessa::filter_path_available(path)) continue;
                const std::string name(orvessa::filter_path_name(path));
                for (const orvessa::FilterRow& row : orvessa::pixel_filters) {
                    add({std::string(row.method), name, size.name, content}, filter_body(row.filter), image, path);
                }
            }
#if ORVESSA_HAVE_OPENCV
            add({"cv::GaussianBlur", "opencv", size.name, content}, run_gaussian, image, {});
            add({"cv::bilateralFilter", "opencv", size.name, content}, run_bilateral, image, {});
#endif
            add({"copy_memcpy", "plain", size.name, content}, run_memcpy, image, {});
            add({"copy_2r1w", "plain", size.name, content}, run_two_reads_one_write, image, {});
            if (size.x != 4096) continue;  // threads on the large picture only
            const FilterPath best = orvessa::best_filter_path();
            const std::string best_name(orvessa::filter_path_name(best));
            for (std::int32_t threads : thread_counts) {
                for (const orvessa::FilterRow& row : orvessa::pixel_filters) {
                    add({std::string(row.method), best_name, size.name, content, threads},
                        filter_body(row.filter), image, best);
                }
            }
#if ORVESSA_HAVE_OPENCV
            if (cv_default_threads != 1) {
                add({"cv::GaussianBlur", "opencv", size.name, content, cv_default_threads},
                    run_gaussian, image, {});
                add({"cv::bilateralFilter", "opencv", size.name, content, cv_default_threads},
                    run_bilateral, image, {});
            }
#endif
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_table(reporter.mpps);
    benchmark::Shutdown();
    return 0;
}
