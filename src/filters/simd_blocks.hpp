// How a vector kernel covers a row: the output bytes 3 .. 3 * dim_x - 4 in
// blocks of `width` bytes, the last block moved back so that it ends at the
// last output byte (it then rewrites a few bytes with the same values).
// Every block reads 3 bytes either side of itself, all inside the row.
// Included only by the per-instruction-set kernel files.
#pragma once

#include <cstdint>

// The kernels' helpers must be inlined into their loops: a call passing
// vectors costs more than the work, and spills them through the stack.
#define ORVESSA_VECTOR_INLINE inline __attribute__((always_inline))
#define ORVESSA_VECTOR_LAMBDA __attribute__((always_inline))

namespace orvessa::filters {
namespace {

// False when the row has fewer output bytes than one block.
template <std::int32_t width, typename Block>
ORVESSA_VECTOR_INLINE bool for_each_block(std::int32_t dim_x, Block block) {
    const std::int32_t end = 3 * (dim_x - 1);
    if (end - 3 < width) return false;
    std::int32_t i = 3;
    for (; i + width < end; i += width) block(i);
    block(end - width);
    return true;
}

// The same blocks in two stages: `start(i)` returns the state of block i
// and `finish(state)` completes it. A block finishes after the next one has
// started, so that the long-latency end of one block overlaps the next.
template <std::int32_t width, typename Start, typename Finish>
ORVESSA_VECTOR_INLINE bool for_each_block_pipelined(std::int32_t dim_x, Start start, Finish finish) {
    const std::int32_t end = 3 * (dim_x - 1);
    if (end - 3 < width) return false;
    auto pending = start(3);
    for (std::int32_t i = 3 + width; i + width < end; i += width) {
        const auto next = start(i);
        finish(pending);
        pending = next;
    }
    const auto last = start(end - width);
    finish(pending);
    finish(last);
    return true;
}

}  // namespace
}  // namespace orvessa::filters
