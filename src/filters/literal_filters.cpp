#include "filters/literal_filters.hpp"

#include <cmath>

#include "filters/literal_walk.hpp"
#include "orvessa/arith.hpp"

namespace orvessa::filters {

namespace {

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
