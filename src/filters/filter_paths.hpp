// The filter paths and their kernels: the one list that path selection, the
// tool's path names and the tests read. A path with a kernel over prepared
// rows runs it; the others run the scalar row kernel, which also serves a
// band whose prepared rows cannot be allocated.
#pragma once

#include <span>
#include <string_view>

#include "filters/prepared_rows.hpp"
#include "orvessa/filter_path.hpp"

namespace orvessa::filters {

struct FilterPathEntry {
    FilterPath path;
    std::string_view name;
    // Whether this build and this processor can run it.
    bool (*available)() noexcept;
    // next_row is null where the path has no kernel over prepared rows.
    PreparedRowKernel blur{};
    PreparedRowKernel median_cut{};
};

// Every path, slower before faster: `automatic` and `literal` first, then
// the paths that run kernels, each faster than the one before.
std::span<const FilterPathEntry> filter_path_table() noexcept;

// Whether the path runs the walk with kernels (every path but `automatic`
// and `literal`).
constexpr bool runs_kernels(FilterPath path) noexcept {
    return path != FilterPath::automatic && path != FilterPath::literal;
}

}  // namespace orvessa::filters
