#include "convert/gray_rule.hpp"

#include "orvessa/arith.hpp"

namespace orvessa::convert {

std::uint8_t gray_level(std::int32_t sum) {
    // s / 3 never ends in exactly one half, so no tie arises.
    return round_to_byte(static_cast<double>(sum) / 3.0);
}

std::uint8_t gray_value(std::uint8_t level) noexcept {
    return static_cast<std::uint8_t>(level / 2 + 128);
}

std::uint8_t two_color_value(std::uint8_t level, std::uint8_t threshold) noexcept {
    return level > threshold ? 255 : 0;
}

SumTable sum_table(bool two_color, std::uint8_t threshold) {
    SumTable table{};
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(table.size()); ++s) {
        const std::uint8_t g = gray_level(s);
        table[s] = two_color ? two_color_value(g, threshold) : gray_value(g);
    }
    return table;
}

void convert_pixels(std::uint8_t* buffer, std::int32_t width, std::int32_t height,
                    std::int32_t stride, const SumTable& table, std::int32_t pixel_bytes) noexcept {
    if (width <= 0 || height <= 0) return;
    for (std::int32_t row = 0; row < height; ++row) {
        std::uint8_t* p = buffer + static_cast<std::int64_t>(row) * stride;
        for (std::int32_t c = 0; c < width; ++c, p += pixel_bytes) {
            const std::uint8_t v = table[p[0] + p[1] + p[2]];
            p[0] = v;
            p[1] = v;
            p[2] = v;
        }
    }
}

}  // namespace orvessa::convert
