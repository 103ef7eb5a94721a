// Runs a filter on a byte array under a chosen path and thread count and
// reports what the caller would see: the array's bytes afterwards and the
// error, if any.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "filters/filter_paths.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa::test {

inline std::string filter_name(PixelFilter f) { return std::string(filter_row(f).name); }

// Every filter of the table: a filter is tested by being a row.
inline std::vector<PixelFilter> every_filter() {
    std::vector<PixelFilter> filters;
    for (const FilterRow& row : pixel_filters) filters.push_back(row.filter);
    return filters;
}

struct Outcome {
    std::vector<std::uint8_t> bytes;
    std::optional<std::int32_t> error;  // the error number
    bool operator==(const Outcome&) const = default;
};

// How the array variable looks to the method.
struct ArrayShape {
    std::int32_t lower_bound = 0;
    std::uint32_t dimensions = 1;  // 0: holds no array
};

class ForcedPath {
public:
    explicit ForcedPath(FilterPath path) { force_filter_path(path); }
    ~ForcedPath() { force_filter_path(FilterPath::automatic); }
};

// The thread counts that every path is compared over: one thread, two, and
// an odd count whose bands differ in length and are often a row or two.
inline constexpr std::int32_t thread_counts[] = {1, 2, 5};

inline Outcome run_filter(PixelFilter filter, FilterPath path, std::vector<std::uint8_t> bytes,
                          std::int32_t dim_x, std::int32_t dim_y, ArrayShape shape = {},
                          std::int32_t threads = 1) {
    const ForcedPath forced(path);
    ByteArrayView array = shape.dimensions == 0
                              ? ByteArrayView()
                              : ByteArrayView(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                              shape.lower_bound, shape.dimensions);
    Outcome outcome;
    try {
        filter_buffer(filter, array, dim_x, dim_y, FilterOptions{threads});
    } catch (const Error& e) {
        outcome.error = e.number();
    }
    outcome.bytes = std::move(bytes);
    return outcome;
}

// Every path of the table that runs kernels, whether or not this processor
// can run it (tests skip those it cannot).
inline std::vector<FilterPath> kernel_paths() {
    std::vector<FilterPath> paths;
    for (const auto& entry : filters::filter_path_table()) {
        if (filters::runs_kernels(entry.path)) paths.push_back(entry.path);
    }
    return paths;
}

// Every path this build and processor can run, besides the literal one.
inline std::vector<FilterPath> fast_paths() {
    std::vector<FilterPath> paths{FilterPath::automatic};
    for (FilterPath path : kernel_paths()) {
        if (filter_path_available(path)) paths.push_back(path);
    }
    return paths;
}

inline std::vector<std::uint8_t> random_bytes(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : v) b = static_cast<std::uint8_t>(byte(rng));
    return v;
}

// An image given top row first, each pixel one gray value (all three bytes
// equal), laid out bottom-up with the row padding filled with `pad`.
inline std::vector<std::uint8_t> gray_image(const std::vector<std::vector<int>>& rows_top_down,
                                            std::uint8_t pad = 0) {
    const auto dim_y = static_cast<std::int32_t>(rows_top_down.size());
    const auto dim_x = static_cast<std::int32_t>(rows_top_down.front().size());
    const std::int32_t stride = PixelLayout::stride_for(dim_x);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride * dim_y), pad);
    for (std::int32_t r = 0; r < dim_y; ++r) {
        for (std::int32_t x = 0; x < dim_x; ++x) {
            for (std::int32_t b = 0; b < 3; ++b) {
                bytes[static_cast<std::size_t>((dim_y - 1 - r) * stride + 3 * x + b)] =
                    static_cast<std::uint8_t>(rows_top_down[r][x]);
            }
        }
    }
    return bytes;
}

// Gray value of byte b of pixel (r, x) in such an image.
inline int pixel_at(const std::vector<std::uint8_t>& bytes, std::int32_t dim_x, std::int32_t dim_y,
                    std::int32_t r, std::int32_t x, std::int32_t b = 0) {
    return bytes[static_cast<std::size_t>((dim_y - 1 - r) * PixelLayout::stride_for(dim_x) + 3 * x + b)];
}

}  // namespace orvessa::test
