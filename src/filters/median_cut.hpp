#pragma once

#include <array>
#include <cstdint>

#include "filters/row_kernel.hpp"

namespace orvessa::filters {

// From this spread sum M on, the mix factor is exactly 1: the pixel keeps its value.
constexpr std::int32_t full_mix_spread = 3060;

// The mix factor for each M below full_mix_spread, computed as the filter
// defines it (M / 36 stored as float, / 255 * 3 stored as float). Folded at
// compile time, so it is correctly rounded whatever mode runs later.
constexpr std::array<float, full_mix_spread> make_mix_factors() {
    std::array<float, full_mix_spread> table{};
    for (std::int32_t m = 0; m < full_mix_spread; ++m) {
        float spread = static_cast<float>(m / 36.0);
        if (spread > 255.0f) spread = 255.0f;
        float mix = static_cast<float>(static_cast<double>(spread) / 255.0 * 3.0);
        if (mix > 1.0f) mix = 1.0f;
        table[static_cast<std::size_t>(m)] = mix;
    }
    return table;
}
inline constexpr std::array<float, full_mix_spread> mix_factors = make_mix_factors();

// One byte of the smoothing from the nine cells of its neighbourhood (row
// above, centre row, row below; left, centre, right) and their weighted sum.
// Needs round-to-nearest for the float stores (the callers set it).
std::uint8_t median_cut_byte(const unsigned (&cells)[9], unsigned sum) noexcept;

// The byte from the spread sum M (any value from 0), the own byte and Sum:
// the blend of the own value and the blur. Needs round-to-nearest as well.
std::uint8_t median_cut_blend(std::int32_t spread, unsigned own, unsigned sum) noexcept;

void median_cut_row_scalar(const std::uint8_t* above, const std::uint8_t* centre,
                           const std::uint8_t* below, std::uint8_t* out, std::int32_t dim_x);

// The prepared row of the vector smoothing (median_cut_prepared.hpp).
void median_cut_prepare_row(const std::uint8_t* row, std::uint16_t* prepared, std::int32_t dim_x);

}  // namespace orvessa::filters
