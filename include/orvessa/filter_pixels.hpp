// The two filters over a picture already in memory, for callers that do not
// hold the pixel buffer layout: a picture whose rows lie any fixed distance
// apart (a window of a larger picture, rows upside down) or arrive a few
// rows at a time. The bytes are those that Blur_Buffer and MedianCut_Buffer
// write over the same pixels in the buffer layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "orvessa/filter_options.hpp"

namespace orvessa {

// The filters, by the names of the buffer methods they are (Blur_Buffer,
// MedianCut_Buffer); the faces call the second "smooth" (pixel_filters).
enum class PixelFilter { blur, median_cut };

// Every filter, a row each: the name that the tool's command and the Python
// and Dask functions take, the buffer method that it is, and what it does.
struct FilterRow {
    PixelFilter filter;
    std::string_view name;
    std::string_view method;
    std::string_view summary;
};
inline constexpr FilterRow pixel_filters[] = {
    {PixelFilter::blur, "blur", "Blur_Buffer", "3 x 3 weighted blur (1 2 1 / 2 4 2 / 1 2 1 over 16)"},
    {PixelFilter::median_cut, "smooth", "MedianCut_Buffer",
     "edge-adaptive smoothing: each byte blends with its blur by how widely its neighbourhood spreads"},
};
constexpr const FilterRow* filter_named(std::string_view name) noexcept {
    for (const FilterRow& row : pixel_filters) {
        if (row.name == name) return &row;
    }
    return nullptr;
}
constexpr const FilterRow& filter_row(PixelFilter filter) noexcept {
    for (const FilterRow& row : pixel_filters) {
        if (row.filter == filter) return row;
    }
    return pixel_filters[0];
}

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

// Filters a width x height picture in place as the buffer filters do: rows
// 1..height-3 and columns 1..width-2 change; the top row, the two bottom
// rows and the first and last column keep their values. Raises
// Error::out_of_memory when the row window cannot be had; nothing else.
void filter_pixels(PixelFilter filter, const PixelRows& picture, std::int32_t width,
                   std::int32_t height, const FilterOptions& options = {});

// One step of a filter that streams: rows first..last (1 <= first <= last)
// of `out` from the entry values of rows first-1..last+1 of `in`, on the
// calling thread. `in` and `out` may be different windows of the picture
// or different copies of it, but must not overlap. Which rows a picture
// filters is the caller's business: 1..height-3, as above. The first and
// last pixel of each row are copied from `in`. Raises Error::out_of_memory.
void filter_pixel_rows(PixelFilter filter, const PixelRows& in, const PixelRows& out,
                       std::int32_t width, std::int32_t first, std::int32_t last);

}  // namespace orvessa
