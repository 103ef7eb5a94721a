// Path selection: the forced path if one is set and available, else the
// best the processor supports.
#include <atomic>

#include "filters/blur.hpp"
#include "filters/filters.hpp"
#include "filters/literal_filters.hpp"
#include "filters/median_cut.hpp"
#include "filters/row_walk.hpp"
#include "object/float_env.hpp"
#include "orvessa/filter_path.hpp"

namespace orvessa {

namespace {
std::atomic<FilterPath> forced{FilterPath::automatic};

constexpr struct {
    FilterPath path;
    std::string_view name;
} path_names[] = {
    {FilterPath::automatic, "auto"}, {FilterPath::literal, "literal"},
    {FilterPath::scalar, "scalar"},  {FilterPath::sse2, "sse2"},
    {FilterPath::avx2, "avx2"},      {FilterPath::avx512, "avx512"},
};
}  // namespace

void force_filter_path(FilterPath path) noexcept { forced.store(path); }
FilterPath forced_filter_path() noexcept { return forced.load(); }

bool filter_path_available(FilterPath path) noexcept {
    switch (path) {
        case FilterPath::automatic:
        case FilterPath::literal:
        case FilterPath::scalar:
            return true;
        default:
            return false;
    }
}

FilterPath best_filter_path() noexcept { return FilterPath::scalar; }

std::string_view filter_path_name(FilterPath path) noexcept {
    for (const auto& entry : path_names) {
        if (entry.path == path) return entry.name;
    }
    return "?";
}

std::optional<FilterPath> parse_filter_path(std::string_view name) noexcept {
    for (const auto& entry : path_names) {
        if (entry.name == name) return entry.path;
    }
    return std::nullopt;
}

namespace filters {

namespace {
FilterPath resolved_path() noexcept {
    const FilterPath path = forced_filter_path();
    if (path == FilterPath::automatic || !filter_path_available(path)) return best_filter_path();
    return path;
}
}  // namespace

void blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y) {
    switch (resolved_path()) {
        case FilterPath::literal:
            return literal_blur_buffer(buffer, dim_x, dim_y);
        default:
            return walk_rows(buffer, dim_x, dim_y, blur_row_scalar);
    }
}

void median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y) {
    const NearestRoundingScope nearest;
    switch (resolved_path()) {
        case FilterPath::literal:
            return literal_median_cut_buffer(buffer, dim_x, dim_y);
        default:
            return walk_rows(buffer, dim_x, dim_y, median_cut_row_scalar);
    }
}

}  // namespace filters
}  // namespace orvessa
