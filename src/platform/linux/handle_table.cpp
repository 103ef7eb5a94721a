#include "platform/linux/handle_table.hpp"

#include <atomic>

namespace orvessa::platform {

// Positive and never 0, even after the counter wraps.
std::int32_t next_handle_number() noexcept {
    static std::atomic<std::uint32_t> counter{0x100};
    std::uint32_t n = counter.fetch_add(4) & 0x7FFFFFFFu;
    if (n == 0) n = counter.fetch_add(4) & 0x7FFFFFFFu;
    return static_cast<std::int32_t>(n);
}

}  // namespace orvessa::platform
