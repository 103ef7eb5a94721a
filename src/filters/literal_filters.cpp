#include "filters/literal_filters.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>

#include "orvessa/arith.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa::filters {

namespace {

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

// The walk both filters share; `pixel(window, x, out)` computes the three
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

std::int32_t weighted_sum(RowWindow& w, std::int32_t x, std::int32_t k) {
    return w(x - 1, 0, k) + 2 * w(x, 0, k) + w(x + 1, 0, k) + 2 * w(x - 1, 1, k) + 4 * w(x, 1, k) +
           2 * w(x + 1, 1, k) + w(x - 1, 2, k) + 2 * w(x, 2, k) + w(x + 1, 2, k);
}

void check_float(double v) {
    if (std::isnan(v)) throw Error::floating_point("invalid operation");
    if (std::isinf(v)) throw Error::floating_point("overflow");
}

}  // namespace

void literal_blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y) {
    literal_walk(buffer, dim_x, dim_y, [](RowWindow& w, std::int32_t x, float (&out_pixel)[3]) {
        for (std::int32_t k = 0; k <= 2; ++k) {
            out_pixel[k] = static_cast<float>(weighted_sum(w, x, k) / 16.0);
        }
    });
}

void literal_median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y) {
    literal_walk(buffer, dim_x, dim_y, [](RowWindow& w, std::int32_t x, float (&out)[3]) {
        float blur_pixel[3];
        float spread_pixel[3];
        for (std::int32_t ch = 0; ch <= 2; ++ch) {
            blur_pixel[ch] = static_cast<float>(weighted_sum(w, x, ch) / 16.0);
        }
        for (std::int32_t ch = 0; ch <= 2; ++ch) {
            std::int32_t m = 0;
            for (std::int32_t i = 0; i <= 2; ++i) {
                for (std::int32_t d = -1; d <= 1; ++d) {
                    const double diff = static_cast<double>(w(x + d, i, ch)) - blur_pixel[ch];
                    const double square = diff * diff;
                    check_float(square);
                    m = checked_add(m, round_to_int32(square));
                }
            }
            const double spread = m / 36.0;
            check_float(spread);
            spread_pixel[ch] = static_cast<float>(spread);
            if (spread_pixel[ch] > 255.0f) spread_pixel[ch] = 255.0f;
        }
        for (std::int32_t ch = 0; ch <= 2; ++ch) {
            const double factor = static_cast<double>(spread_pixel[ch]) / 255.0 * 3.0;
            check_float(factor);
            float mix_factor = static_cast<float>(factor);
            if (mix_factor > 1.0f) mix_factor = 1.0f;
            const double blended = static_cast<double>(mix_factor) * w(x, 1, ch) +
                                   (1.0 - static_cast<double>(mix_factor)) * blur_pixel[ch];
            check_float(blended);
            out[ch] = static_cast<float>(blended);
        }
    });
}

}  // namespace orvessa::filters
