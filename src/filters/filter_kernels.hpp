// What a filter is to the walk, the part of its row (pixel_filters) that
// only the filters see: the literal filter, which every other path is
// checked against, the scalar row kernel, and the kernels over prepared
// rows of each path that has its own.
#pragma once

#include <cstdint>
#include <span>

#include "filters/prepared_rows.hpp"
#include "filters/row_kernel.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/filter_pixels.hpp"

namespace orvessa::filters {

struct PathKernel {
    FilterPath path;
    PreparedRowKernel kernel;
};

struct FilterKernels {
    // The filter written step by step over the caller's buffer.
    void (*literal)(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y);
    RowKernel row;
    // Paths missing here, or without a next_row, run `row`.
    std::span<const PathKernel> paths;

    const PreparedRowKernel* on_path(FilterPath path) const noexcept {
        for (const PathKernel& entry : paths) {
            if (entry.path == path && entry.kernel.next_row != nullptr) return &entry.kernel;
        }
        return nullptr;
    }
};

inline const FilterKernels& kernels_of(PixelFilter filter) noexcept { return *filter_row(filter).kernels; }

}  // namespace orvessa::filters
