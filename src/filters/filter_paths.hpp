// The filter paths: the one list that path selection, the tool's path
// names and the tests read. Each filter's kernels for a path are in its
// row (filter_kernels.hpp); a path without one runs the scalar row kernel,
// which also serves a band whose prepared rows cannot be allocated.
#pragma once

#include <span>
#include <string_view>

#include "orvessa/filter_path.hpp"

namespace orvessa::filters {

struct FilterPathEntry {
    FilterPath path;
    std::string_view name;
    // Whether this build and this processor can run it.
    bool (*available)() noexcept;
};

// Every path, slower before faster: `automatic` and `literal` first, then
// the paths that run kernels, each faster than the one before.
std::span<const FilterPathEntry> filter_path_table() noexcept;

// Whether the path runs the walk with kernels (every path but `automatic`
// and `literal`).
constexpr bool runs_kernels(FilterPath path) noexcept {
    return path != FilterPath::automatic && path != FilterPath::literal;
}

// The path a call takes: the forced one where it can run, else the best.
FilterPath resolved_path() noexcept;

}  // namespace orvessa::filters
