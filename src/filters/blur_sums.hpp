// The scalar pieces of the blur over prepared rows, for the bytes at the end
// of a row that do not fill a vector. Internal linkage: each kernel file
// compiles its own copy with its own instruction-set flags (so blur_byte,
// shared by every file that uses it, is not called here).
#pragma once

#include <cstdint>

namespace orvessa::filters {
namespace {

inline std::uint16_t horizontal_sum(const std::uint8_t* row, std::int32_t i) {
    return static_cast<std::uint16_t>(row[i - 3] + 2 * row[i] + row[i + 3]);
}

// Byte positions from..end-1 of the summed blur step.
inline void blur_next_row_scalar(const std::uint8_t* below, const std::uint16_t* above,
                                 const std::uint16_t* centre, std::uint16_t* below_sums,
                                 std::uint8_t* out, std::int32_t from, std::int32_t end) {
    for (std::int32_t i = from; i < end; ++i) {
        const std::uint16_t next = horizontal_sum(below, i);
        const unsigned s = above[i] + 2u * centre[i] + next;
        below_sums[i] = next;
        out[i] = static_cast<std::uint8_t>((s + 7 + ((s >> 4) & 1)) >> 4);
    }
}

}  // namespace
}  // namespace orvessa::filters
