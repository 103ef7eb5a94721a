// The filters, a row each, and the entry points that run them: over a
// buffer in the pixel buffer layout (Blur_Buffer, MedianCut_Buffer), over a
// picture in memory whose rows lie any fixed distance apart (a window of a
// larger picture, rows upside down), and a few rows at a time for pictures
// that stream. Every entry point writes the bytes that the buffer method
// writes over the same pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "orvessa/byte_array.hpp"
#include "orvessa/filter_options.hpp"

namespace orvessa {

// The filters, by the names of the buffer methods they are (Blur_Buffer,
// MedianCut_Buffer); the faces call the second "smooth" (pixel_filters).
enum class PixelFilter { blur, median_cut };

// The rows and columns a filter leaves as they are: it changes rows
// top..height-1-bottom (counted from the top of the picture) and columns
// left..width-1-right, each pixel from its 3 x 3 neighbourhood.
struct FilterBorder {
    std::int32_t top, bottom, left, right;
    constexpr std::int32_t first_row() const noexcept { return top; }
    constexpr std::int32_t last_row(std::int32_t height) const noexcept { return height - 1 - bottom; }
    // Whether a width x height picture has any pixel the filter changes.
    constexpr bool changes_any(std::int32_t width, std::int32_t height) const noexcept {
        return width > left + right && height > top + bottom;
    }
    constexpr bool operator==(const FilterBorder&) const = default;
};
// The border of the buffer walk that every filter runs on: the top row,
// the two bottom rows and the first and last column stay.
inline constexpr FilterBorder walk_border{1, 2, 1, 1};

namespace filters {
struct FilterKernels;  // the literal filter and each path's kernels
extern const FilterKernels blur_kernels;
extern const FilterKernels median_cut_kernels;
}  // namespace filters

// Every filter, a row each: the name that the tool's command and the Python,
// Dask and JavaScript functions take, the buffer method that it is, what it
// does, the rows and columns it leaves, and its kernels.
struct FilterRow {
    PixelFilter filter;
    std::string_view name;
    std::string_view method;
    std::string_view summary;
    FilterBorder border;
    const filters::FilterKernels* kernels;
};
inline constexpr FilterRow pixel_filters[] = {
    {PixelFilter::blur, "blur", "Blur_Buffer", "3 x 3 weighted blur (1 2 1 / 2 4 2 / 1 2 1 over 16)",
     walk_border, &filters::blur_kernels},
    {PixelFilter::median_cut, "smooth", "MedianCut_Buffer",
     "edge-adaptive smoothing: each byte blends with its blur by how widely its neighbourhood spreads",
     walk_border, &filters::median_cut_kernels},
};
constexpr const FilterRow* filter_named(std::string_view name) noexcept {
    for (const FilterRow& row : pixel_filters) {
        if (row.name == name) return &row;
    }
    return nullptr;
}
// Every filter has its row (filter_table_test).
constexpr const FilterRow& filter_row(PixelFilter filter) noexcept {
    for (const FilterRow& row : pixel_filters) {
        if (row.filter == filter) return row;
    }
    return pixel_filters[0];
}

// The buffer method of the filter (Blur_Buffer, MedianCut_Buffer): the
// buffer's checks and errors, the path decided once, the rows on
// options.threads threads.
void filter_buffer(PixelFilter filter, ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                   const FilterOptions& options = {});

// Rows of 3 * width pixel bytes (any channel order); row r, counted from
// the top of the picture, starts at top + r * row_step (negative: the rows
// run upward in memory).
struct PixelRows {
    std::uint8_t* top;
    std::ptrdiff_t row_step;
    std::uint8_t* row(std::int32_t r) const noexcept {
        return top + static_cast<std::ptrdiff_t>(r) * row_step;
    }
};

// Filters a width x height picture in place as the buffer method does: the
// rows and columns of the filter's border keep their values. Raises
// Error::out_of_memory when the row window cannot be had; nothing else.
void filter_pixels(PixelFilter filter, const PixelRows& picture, std::int32_t width,
                   std::int32_t height, const FilterOptions& options = {});

// The step of a filter that streams, on the calling thread: `count` rows
// of a picture of `height` rows, from row `top` (counted from the top of
// the picture) on, from their entry values in `in` into `out`: in.row(i)
// and out.row(i) are the picture's row top + i. The rows the filter changes
// are filtered, from in.row(-1) to in.row(count) as far as those rows exist
// in the picture; the others are copied. `in` and `out` may be different
// windows of the picture or different copies of it, but must not overlap.
// Raises Error::out_of_memory.
void filter_pixel_rows(PixelFilter filter, const PixelRows& in, const PixelRows& out, std::int32_t width,
                       std::int32_t height, std::int32_t top, std::int32_t count);

}  // namespace orvessa
