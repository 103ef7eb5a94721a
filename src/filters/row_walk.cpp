#include "filters/row_walk.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "filters/row_bands.hpp"
#include "orvessa/pixel_layout.hpp"

namespace orvessa::filters {

namespace {

constexpr std::int64_t int32_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();

// The first failure met while reading image row r (bytes 2, 1, 0 of pixel
// 0, then of pixel 1, ...), or none. Needs dim_x >= 1.
std::optional<Error> row_read_failure(const ByteArrayView& buffer, const PixelLayout& layout,
                                      std::int32_t r) {
    std::int32_t start;
    try {
        start = layout.row_start(r);
    } catch (const Error& e) {
        return e;
    }
    // The stride is a multiple of 4, so start + 2 of pixel 0 never overflows.
    if (buffer.dimensions() != 1 || start < buffer.lower_bound()) {
        return Error::subscript_out_of_range();
    }
    // Indices rise with the column; within a pixel byte 2 is read first and
    // is the highest, so the first failure is at the first pixel whose byte 2
    // lies past the highest index or past the 32-bit range.
    const std::int64_t limit = std::min(buffer.upper_bound(), int32_max);
    const std::int64_t last = static_cast<std::int64_t>(start) + 3LL * (layout.dim_x - 1) + 2;
    if (last <= limit) return std::nullopt;
    const std::int64_t room = limit - start - 2;
    const std::int64_t x = room < 0 ? 0 : room / 3 + 1;
    if (start + 3 * x + 2 > int32_max) return Error::overflow();
    return Error::subscript_out_of_range();
}

struct WindowDeleter {
    void operator()(std::uint8_t* p) const noexcept { ::operator delete[](p, std::nothrow); }
};
using WindowStorage = std::unique_ptr<std::uint8_t[], WindowDeleter>;

// 9 * (dim_x + 1) bytes: three rows of three channels, as the row window is
// declared; only 9 * dim_x of them are used. Empty when it cannot be had.
WindowStorage try_allocate_window(std::int32_t dim_x) noexcept {
    const std::uint64_t bytes = 9ULL * (static_cast<std::uint64_t>(dim_x) + 1);
    if (bytes > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
    return WindowStorage(static_cast<std::uint8_t*>(
        ::operator new[](static_cast<std::size_t>(bytes), std::nothrow)));
}

WindowStorage allocate_window(std::int32_t dim_x) {
    WindowStorage window = try_allocate_window(dim_x);
    if (!window) throw Error::out_of_memory();
    return window;
}

}  // namespace

std::int32_t walk_stride(std::int32_t dim_x) {
    const std::int32_t stride = PixelLayout::stride_for(dim_x);
    // The row window's column range 0..dim_x is empty for a negative width.
    if (dim_x < 0) throw Error::subscript_out_of_range();
    return stride;
}

WalkPlan plan_walk(const ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                   std::int32_t stride) {
    if (dim_x == 0) {
        // No byte is read; only the loop bound dim_y - 3 can overflow.
        if (dim_y < int32_min + 3) return {0, Error::overflow()};
        return {};
    }
    PixelLayout layout(dim_x, dim_y);
    for (std::int32_t r = 0; r < 3; ++r) {
        if (auto failure = row_read_failure(buffer, layout, r)) return {0, std::move(failure)};
    }
    if (dim_y < 4) return {};
    const std::int32_t centre_rows = dim_y - 3;
    // Rows 3..dim_y-1 start at (dim_y - 1 - r) * stride >= 0, below the rows
    // already checked: only the lowest index can stop them, and only when it
    // is above 0. The first such row is read right after centre row r - 2.
    const std::int32_t lowest = buffer.lower_bound();
    if (lowest <= 0) return {centre_rows, std::nullopt};
    const std::int64_t first_failing =
        std::max<std::int64_t>(3, static_cast<std::int64_t>(dim_y) - 1 - (lowest - 1) / stride);
    return {static_cast<std::int32_t>(first_failing - 2), Error::subscript_out_of_range()};
}

namespace {

// Centre rows first..last of a band through three row copies in `window`.
void run_window(const Band& band, std::int32_t dim_x, std::uint8_t* window, RowKernel kernel) {
    const std::size_t row_bytes = 3 * static_cast<std::size_t>(dim_x);
    std::uint8_t* rows[3] = {window, window + row_bytes, window + 2 * row_bytes};
    for (std::int32_t t = 0; t < 3; ++t) {
        std::memcpy(rows[t], band.row(band.first - 1 + t), row_bytes);
    }
    for (std::int32_t y = band.first;; ++y) {
        kernel(rows[0], rows[1], rows[2], band.image(y), dim_x);
        if (y == band.last) break;
        // Slide: the rows at and below the centre move up; row y + 2,
        // not yet written, comes in below.
        std::uint8_t* const recycled = rows[0];
        rows[0] = rows[1];
        rows[1] = rows[2];
        rows[2] = recycled;
        std::memcpy(rows[2], band.row(y + 2), row_bytes);
    }
}

// The kernels prefetch the row this many rows below the centre, two rows
// ahead of the one they read: nearer came too late on large images.
constexpr std::int32_t prefetch_distance = 3;

struct WordsDeleter {
    void operator()(std::uint16_t* p) const noexcept { ::operator delete[](p, std::nothrow); }
};

struct PreparedStorage {
    std::unique_ptr<std::uint16_t[], WordsDeleter> storage;
    std::uint16_t* rows[3] = {};
};

// Three prepared rows of `words` arrays of 3 * dim_x words each. Word 3 of
// each row starts a 64-byte line, so that the kernels' blocks, which start
// at position 3, are aligned. No storage when it cannot be had.
PreparedStorage allocate_prepared_rows(std::int32_t dim_x, std::int32_t words) {
    constexpr std::uint64_t line_words = 32;
    const std::uint64_t used = 3ULL * static_cast<std::uint64_t>(dim_x) * words;
    const std::uint64_t row_words = (used + 3 + line_words - 1) / line_words * line_words;
    const std::uint64_t bytes = (3 * row_words + line_words) * sizeof(std::uint16_t);
    PreparedStorage prepared;
    if (bytes > std::numeric_limits<std::size_t>::max() / 2) return prepared;
    prepared.storage.reset(static_cast<std::uint16_t*>(
        ::operator new[](static_cast<std::size_t>(bytes), std::nothrow)));
    if (!prepared.storage) return prepared;
    const auto third = reinterpret_cast<std::uintptr_t>(prepared.storage.get() + 3);
    prepared.rows[0] = prepared.storage.get() + (64 - third % 64) % 64 / 2;
    prepared.rows[1] = prepared.rows[0] + row_words;
    prepared.rows[2] = prepared.rows[1] + row_words;
    return prepared;
}

// Centre rows first..last of a band over prepared rows.
void run_prepared(const Band& band, std::int32_t dim_x, const PreparedStorage& prepared,
                  const PreparedRowKernel& kernel) {
    std::uint16_t* above = prepared.rows[0];
    std::uint16_t* centre = prepared.rows[1];
    std::uint16_t* below = prepared.rows[2];
    kernel.prepare(band.row(band.first - 1), above, dim_x);
    kernel.prepare(band.row(band.first), centre, dim_x);
    for (std::int32_t y = band.first; y <= band.last; ++y) {
        const std::uint8_t* ahead =
            y + prefetch_distance <= band.last + 1 ? band.row(y + prefetch_distance) : nullptr;
        kernel.next_row(band.row(y + 1), ahead, above, centre, below, band.image(y), dim_x);
        // Slide: row y + 1, prepared, becomes the centre.
        std::uint16_t* const recycled = above;
        above = centre;
        centre = below;
        below = recycled;
    }
}

// Centre rows 1..centre_rows in bands that up to `threads` threads take in
// turn: the bytes of the single walk. `window` serves the calling thread;
// `prepared` (or null) is the kernel over prepared rows, `row` the kernel
// of threads without them.
void run_bands_of_rows(const ImageRows& image, std::int32_t dim_x, std::int32_t centre_rows,
                       std::uint8_t* window, std::int32_t threads, RowKernel row,
                       const PreparedRowKernel* prepared) noexcept {
    // Each further thread needs a row window of its own; as many threads as
    // there is memory for.
    const std::int32_t wanted = worker_count(threads, centre_rows);
    std::vector<WindowStorage> windows;
    try {
        windows.reserve(static_cast<std::size_t>(wanted - 1));
        while (windows.size() + 1 < static_cast<std::size_t>(wanted)) {
            WindowStorage more = try_allocate_window(dim_x);
            if (!more) break;
            windows.push_back(std::move(more));
        }
    } catch (const std::bad_alloc&) {
        // Fewer threads: those with a window.
    }
    const auto workers = static_cast<std::int32_t>(windows.size()) + 1;
    const RowBands bands(image, dim_x, centre_rows, band_count(workers, centre_rows));

    // Threads without prepared rows run the row kernel: the same bytes.
    std::vector<PreparedStorage> prepared_rows;
    if (prepared != nullptr) {
        try {
            prepared_rows.reserve(static_cast<std::size_t>(workers));
            for (std::int32_t w = 0; w < workers; ++w) {
                prepared_rows.push_back(allocate_prepared_rows(dim_x, prepared->words));
            }
        } catch (const std::bad_alloc&) {
        }
    }

    std::atomic<std::int32_t> next_band{0};
    auto work = [&](std::int32_t w) {
        const auto at = static_cast<std::size_t>(w);
        for (;;) {
            const std::int32_t i = next_band.fetch_add(1, std::memory_order_relaxed);
            if (i >= bands.count()) return;
            if (at < prepared_rows.size() && prepared_rows[at].storage) {
                run_prepared(bands[i], dim_x, prepared_rows[at], *prepared);
            } else {
                run_window(bands[i], dim_x, w == 0 ? window : windows[at - 1].get(), row);
            }
        }
    };
    run_workers(workers, work);
}

// The whole call: validation, the row window, the bands, then the planned error.
void walk(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, std::int32_t threads,
          RowKernel row, const PreparedRowKernel* prepared) {
    const std::int32_t stride = walk_stride(dim_x);
    const WindowStorage window = allocate_window(dim_x);
    WalkPlan plan = plan_walk(buffer, dim_x, dim_y, stride);

    // Narrower images have no filtered column: their walk only reads.
    if (dim_x >= 3 && plan.centre_rows > 0) {
        const ImageRows image{buffer.unchecked(PixelLayout(dim_x, dim_y).row_start(0)), stride};
        run_bands_of_rows(image, dim_x, plan.centre_rows, window.get(), threads, row, prepared);
    }
    if (plan.error) throw *plan.error;
}

}  // namespace

void walk_rows(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, RowKernel kernel,
               std::int32_t threads) {
    walk(buffer, dim_x, dim_y, threads, kernel, nullptr);
}

void walk_prepared_rows(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                        const PreparedRowKernel& kernel, RowKernel fallback, std::int32_t threads) {
    walk(buffer, dim_x, dim_y, threads, fallback, &kernel);
}

void walk_picture(const ImageRows& image, std::int32_t width, std::int32_t height,
                  RowKernel row, const PreparedRowKernel* prepared, std::int32_t threads) {
    const WindowStorage window = allocate_window(width);
    run_bands_of_rows(image, width, height - 3, window.get(), threads, row, prepared);
}

void filter_rows_into(const ImageRows& in, const ImageRows& out, std::int32_t width,
                      std::int32_t first, std::int32_t last, RowKernel row,
                      const PreparedRowKernel* prepared) {
    // The kernels write pixels 1..width-2; the row's ends come from `in`.
    const std::size_t last_pixel = 3 * static_cast<std::size_t>(width - 1);
    for (std::int32_t y = first; y <= last; ++y) {
        std::memcpy(out(y), in(y), 3);
        std::memcpy(out(y) + last_pixel, in(y) + last_pixel, 3);
    }
    const Band band{first, last, out, in(first - 1), in(last + 1), in};
    if (prepared != nullptr) {
        const PreparedStorage storage = allocate_prepared_rows(width, prepared->words);
        if (storage.storage) return run_prepared(band, width, storage, *prepared);
    }
    const WindowStorage window = allocate_window(width);
    run_window(band, width, window.get(), row);
}

}  // namespace orvessa::filters
