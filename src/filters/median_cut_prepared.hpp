// The smoothing over prepared rows (prepared_rows.hpp), two words per byte
// position: the byte times 128 at every position 0 .. 3 * dim_x - 1, then
// its [1 2 1] sum with its horizontal neighbours at 3 .. 3 * dim_x - 4.
// The scalar pieces, for rows narrower than one vector. Internal linkage:
// each kernel file compiles its own copy with its own instruction-set flags
// (and uses no standard-library template, whose shared copies the linker
// could take from a file built for a wider instruction set).
#pragma once

#include <cstdint>

#include "filters/median_cut.hpp"

namespace orvessa::filters {
namespace {

struct PreparedRows {
    PreparedRows(const std::uint16_t* above, const std::uint16_t* centre, std::uint16_t* below,
                 std::int32_t dim_x)
        : row(3 * dim_x),
          above_scaled(above),
          above_sums(above + row),
          centre_scaled(centre),
          centre_sums(centre + row),
          below_scaled(below),
          below_sums(below + row) {}
    std::int32_t row;
    const std::uint16_t* above_scaled;
    const std::uint16_t* above_sums;
    const std::uint16_t* centre_scaled;
    const std::uint16_t* centre_sums;
    std::uint16_t* below_scaled;
    std::uint16_t* below_sums;
};

// The scaled bytes of the row below that no output position covers.
inline void scale_row_ends(const std::uint8_t* below, const PreparedRows& p) {
    for (std::int32_t k = 0; k < 3; ++k) {
        p.below_scaled[k] = static_cast<std::uint16_t>(below[k] << 7);
        p.below_scaled[p.row - 1 - k] = static_cast<std::uint16_t>(below[p.row - 1 - k] << 7);
    }
}

// Output positions from..end-1, one byte at a time.
inline void median_cut_next_row_scalar(const std::uint8_t* below, const PreparedRows& p,
                                       std::uint8_t* out, std::int32_t from, std::int32_t end) {
    for (std::int32_t i = from; i < end; ++i) {
        auto byte = [](std::uint16_t scaled) { return static_cast<unsigned>(scaled >> 7); };
        const unsigned cells[9] = {byte(p.above_scaled[i - 3]),
                                   byte(p.above_scaled[i]),
                                   byte(p.above_scaled[i + 3]),
                                   byte(p.centre_scaled[i - 3]),
                                   byte(p.centre_scaled[i]),
                                   byte(p.centre_scaled[i + 3]),
                                   below[i - 3],
                                   below[i],
                                   below[i + 3]};
        const unsigned below_sum = cells[6] + 2 * cells[7] + cells[8];
        p.below_scaled[i] = static_cast<std::uint16_t>(cells[7] << 7);
        p.below_sums[i] = static_cast<std::uint16_t>(below_sum);
        out[i] = median_cut_byte(cells, p.above_sums[i] + 2u * p.centre_sums[i] + below_sum);
    }
}

}  // namespace
}  // namespace orvessa::filters
