// The walk of the literal filters, every index computed with checked
// arithmetic and every access tested against the array: a filter's literal
// form is the value of one centre pixel from its 3 x 3 window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "orvessa/arith.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa::filters {

// RowWindow(column, window row, channel), columns 0..dim_x; channel 0 holds
// byte 2 (red) of a pixel, channel 2 byte 0 (blue).
class RowWindow {
public:
    explicit RowWindow(std::int32_t dim_x) {
        if (dim_x < 0) throw Error::subscript_out_of_range();
        const std::uint64_t bytes = 9ULL * (static_cast<std::uint64_t>(dim_x) + 1);
        if (bytes > std::numeric_limits<std::size_t>::max() / 2) throw Error::out_of_memory();
        cells_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
        if (!cells_) throw Error::out_of_memory();
    }
    std::uint8_t& operator()(std::int32_t x, std::int32_t t, std::int32_t ch) {
        return cells_[(static_cast<std::size_t>(x) * 3 + static_cast<std::size_t>(t)) * 3 +
                      static_cast<std::size_t>(ch)];
    }

private:
    std::unique_ptr<std::uint8_t[]> cells_;
};

// The walk every literal filter runs; `pixel(window, x, out)` computes the three
// channel values of centre pixel x as floats.
template <typename PixelFn>
void literal_walk(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, PixelFn pixel) {
    PixelLayout layout(dim_x, dim_y);  // the stride first: its overflow comes before the window
    RowWindow window(dim_x);

    auto load = [&](std::int32_t r, std::int32_t t) {
        for (std::int32_t x = 0; x <= checked_sub(dim_x, 1); ++x) {
            window(x, t, 0) = buffer.at(layout.byte_index(r, x, 2));
            window(x, t, 1) = buffer.at(layout.byte_index(r, x, 1));
            window(x, t, 2) = buffer.at(layout.byte_index(r, x, 0));
        }
    };
    for (std::int32_t t = 0; t <= 2; ++t) load(t, t);

    const std::int32_t last_row = checked_sub(dim_y, 3);
    for (std::int32_t y = 1; y <= last_row; ++y) {
        for (std::int32_t x = 1; x <= checked_sub(dim_x, 2); ++x) {
            float out[3];
            pixel(window, x, out);
            buffer.at(layout.byte_index(y, x, 2)) = round_to_byte(out[0]);
            buffer.at(layout.byte_index(y, x, 1)) = round_to_byte(out[1]);
            buffer.at(layout.byte_index(y, x, 0)) = round_to_byte(out[2]);
        }
        for (std::int32_t x = 0; x <= dim_x - 1; ++x) {
            for (std::int32_t k = 0; k <= 2; ++k) window(x, 0, k) = window(x, 1, k);
        }
        load(checked_add(y, 1), 1);
        load(checked_add(y, 2), 2);
    }
}

}  // namespace orvessa::filters
