#include "filters/row_bands.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "orvessa/filter_options.hpp"

#if ORVESSA_FILTER_THREADS
#include <cfenv>
#include <thread>
#if defined(__linux__)
#include <sched.h>
#endif
#endif

namespace orvessa {

std::int32_t usable_cores() noexcept {
#if ORVESSA_FILTER_THREADS
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores > 0) return static_cast<std::int32_t>(std::min(cores, 1u << 16));
#endif
    return 1;
}

namespace filters {

namespace {
// Enough to even out uneven rows; each band costs two copied rows and the
// kernel's start on two rows.
constexpr std::int32_t bands_per_worker = 8;
// Far above any core count; a larger request would only cost memory and
// thread starts.
[[maybe_unused]] constexpr std::int32_t max_workers = 1024;
}  // namespace

std::int32_t worker_count(std::int32_t threads, std::int32_t centre_rows) noexcept {
#if ORVESSA_FILTER_THREADS
    return std::clamp(threads, 1, std::clamp(centre_rows, 1, max_workers));
#else
    (void)threads;
    (void)centre_rows;
    return 1;
#endif
}

std::int32_t band_count(std::int32_t workers, std::int32_t centre_rows) noexcept {
    if (workers <= 1) return 1;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(centre_rows, static_cast<std::int64_t>(workers) * bands_per_worker));
}

RowBands::RowBands(const ImageRows& image, std::int32_t dim_x, std::int32_t centre_rows,
                   std::int32_t count) noexcept
    : image_(image), row_bytes_(3 * static_cast<std::size_t>(dim_x)), centre_rows_(centre_rows) {
    count = std::clamp(count, 1, centre_rows);
    if (count == 1) return;
    // Two rows at each inner edge: the last of the band above and the first
    // of the band below, each read by the other band.
    const std::size_t slots = 2 * static_cast<std::size_t>(count - 1);
    copies_.reset(new (std::nothrow) std::uint8_t[slots * row_bytes_]);
    if (!copies_) return;
    count_ = count;
    for (std::int32_t k = 1; k < count_; ++k) {
        const std::int32_t edge = first_row(k);
        std::uint8_t* const slot = copies_.get() + 2 * static_cast<std::size_t>(k - 1) * row_bytes_;
        std::memcpy(slot, image_(edge - 1), row_bytes_);
        std::memcpy(slot + row_bytes_, image_(edge), row_bytes_);
    }
}

std::int32_t RowBands::first_row(std::int32_t i) const noexcept {
    return 1 + static_cast<std::int32_t>(static_cast<std::int64_t>(i) * centre_rows_ / count_);
}

Band RowBands::operator[](std::int32_t i) const noexcept {
    const std::int32_t first = first_row(i);
    const std::int32_t last = i + 1 < count_ ? first_row(i + 1) - 1 : centre_rows_;
    const std::uint8_t* above = i == 0 ? image_(0) : copy(2 * (i - 1));
    const std::uint8_t* below = i + 1 == count_ ? image_(centre_rows_ + 1) : copy(2 * i + 1);
    return {first, last, image_, above, below};
}

void run_workers(std::int32_t count, void (*work)(void* context, std::int32_t worker),
                 void* context) noexcept {
    std::int32_t next = 0;  // the first worker left to the calling thread after worker 0
#if ORVESSA_FILTER_THREADS
    std::fenv_t env;
    std::fegetenv(&env);
    // Declared after `env`, which the threads read: the threads are joined
    // when this array goes, before the function returns.
    std::unique_ptr<std::jthread[]> threads;
    if (count > 1) threads.reset(new (std::nothrow) std::jthread[count - 1]);
    next = 1;
    if (threads) {
        for (; next < count; ++next) {
            try {
                threads[next - 1] = std::jthread([work, context, next, &env] {
                    std::fesetenv(&env);
                    work(context, next);
                });
            } catch (...) {
                break;  // no more threads to be had: the rest run here
            }
        }
    }
    work(context, 0);
#endif
    for (; next < count; ++next) work(context, next);
}

}  // namespace filters
}  // namespace orvessa
