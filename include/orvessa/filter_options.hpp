// How one call of a buffer filter runs. The bytes written and the error
// raised are the same for every setting; only the speed differs.
#pragma once

#include <cstdint>

namespace orvessa {

struct FilterOptions {
    // Threads that filter the picture, the calling thread among them, taking
    // bands of rows in turn. 1 (or less) starts no thread. A library
    // caller decides: it may already run filters side by side. The Windows
    // server build, and the literal path, always run on the calling thread.
    std::int32_t threads = 1;
};

// The cores this process may run on (its affinity), at least 1: the thread
// count that uses the whole machine.
std::int32_t usable_cores() noexcept;

}  // namespace orvessa
