// The 24-bit pixel buffer: rows bottom-up, each row padded to a multiple of
// four bytes, bytes blue, green, red. Every index into a pixel buffer is
// computed here, with the overflow checks of 32-bit signed arithmetic.
//
// WARNING: the stride counts the alignment bytes; 3 * dim_x counts only the
// pixel bytes of a row. The alignment bytes are never read or written.
#pragma once

#include <cstdint>

#include "orvessa/arith.hpp"

namespace orvessa {

// Bytes per row, alignment included: (3 * width + 3) with the two lowest
// bits cleared, in 64 bits, where no 32-bit width overflows.
constexpr std::int64_t row_stride(std::int64_t width) noexcept {
    return (3 * width + 3) & ~std::int64_t{3};
}

struct PixelLayout {
    // The row stride in 32 bits; overflow when the multiplication or the
    // addition leaves that range.
    static std::int32_t stride_for(std::int32_t dim_x) {
        checked_add(checked_mul(3, dim_x), 3);
        return static_cast<std::int32_t>(row_stride(dim_x));
    }

    explicit PixelLayout(std::int32_t dim_x, std::int32_t dim_y)
        : dim_x(dim_x), dim_y(dim_y), stride(stride_for(dim_x)) {}

    // Index of the first byte of image row r (r = 0 is the top row).
    std::int32_t row_start(std::int32_t r) const {
        return checked_mul(checked_sub(checked_sub(dim_y, 1), r), stride);
    }

    // Index of byte b (0 blue, 1 green, 2 red) of pixel (r, x).
    std::int32_t byte_index(std::int32_t r, std::int32_t x, std::int32_t b) const {
        return checked_add(checked_add(row_start(r), checked_mul(3, x)), b);
    }

    std::int32_t dim_x;
    std::int32_t dim_y;
    std::int32_t stride;
};

}  // namespace orvessa
