// The weighted blur: each byte becomes the 1 2 1 / 2 4 2 / 1 2 1 average
// of its 3 x 3 neighbourhood (same channel), rounded half to even.
#include "filters/blur.hpp"

namespace orvessa::filters {

void blur_row_scalar(const std::uint8_t* above, const std::uint8_t* centre,
                     const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    for (std::int32_t i = 3; i < end; ++i) {
        const unsigned s = above[i - 3] + 2u * above[i] + above[i + 3] +
                           2u * (centre[i - 3] + 2u * centre[i] + centre[i + 3]) +
                           below[i - 3] + 2u * below[i] + below[i + 3];
        out[i] = static_cast<std::uint8_t>(blur_byte(s));
    }
}

void blur_row_sums(const std::uint8_t* row, std::uint16_t* sums, std::int32_t dim_x) {
    const std::int32_t end = 3 * (dim_x - 1);
    for (std::int32_t i = 3; i < end; ++i) {
        sums[i] = static_cast<std::uint16_t>(row[i - 3] + 2 * row[i] + row[i + 3]);
    }
}

}  // namespace orvessa::filters
