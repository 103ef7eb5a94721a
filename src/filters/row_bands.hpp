// The centre rows of a walk cut into bands of rows that threads filter at
// the same time. A band filters its rows exactly as the single walk does,
// from entry values: the rows just outside it belong to its neighbours,
// which overwrite them, so their entry values are copied before any band
// starts. The buffer bytes written are therefore those of one thread,
// whichever thread filters which band and in whatever order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvessa::filters {

// Image row r starts `r * stride` bytes below the top row (in a caller's
// buffer, rows run bottom-up, so "below" is a lower address; a picture in
// memory may run either way).
struct ImageRows {
    std::uint8_t* operator()(std::int32_t r) const {
        return top - static_cast<std::ptrdiff_t>(r) * stride;
    }
    std::uint8_t* top;
    std::ptrdiff_t stride;
};

// Centre rows first..last, written into `image`, and where to read the
// entry values of the rows first - 1 .. last + 1: `source`, which is `image`
// itself for a walk in place, but for the edge rows that neighbouring bands
// overwrite.
struct Band {
    std::int32_t first;
    std::int32_t last;
    ImageRows image;
    const std::uint8_t* above;  // row first - 1
    const std::uint8_t* below;  // row last + 1
    ImageRows source = image;

    const std::uint8_t* row(std::int32_t r) const {
        if (r == first - 1) return above;
        if (r == last + 1) return below;
        return source(r);
    }
};

// The threads that work on centre_rows rows when `threads` are allowed: at
// most one per row, and at most 1024; always 1 in a build without threads.
std::int32_t worker_count(std::int32_t threads, std::int32_t centre_rows) noexcept;

// The bands for that many threads: several each, taken in turn, so that a
// thread whose rows went fast (flat areas) or whose core was busy elsewhere
// does not leave the others waiting. One band for one thread.
std::int32_t band_count(std::int32_t workers, std::int32_t centre_rows) noexcept;

class RowBands {
public:
    // Centre rows 1..centre_rows (>= 1) in `count` bands of at least one row
    // each; one band, reading only the buffer, when the copies of the edge
    // rows cannot be allocated. Rows 0..centre_rows + 1 must be readable;
    // the copies are taken here, before any band runs.
    RowBands(const ImageRows& image, std::int32_t dim_x, std::int32_t centre_rows,
             std::int32_t count) noexcept;

    std::int32_t count() const noexcept { return count_; }
    Band operator[](std::int32_t i) const noexcept;

private:
    std::int32_t first_row(std::int32_t i) const noexcept;
    const std::uint8_t* copy(std::int32_t slot) const noexcept {
        return copies_.get() + static_cast<std::size_t>(slot) * row_bytes_;
    }

    ImageRows image_;
    std::size_t row_bytes_;
    std::int32_t centre_rows_;
    std::int32_t count_ = 1;
    std::unique_ptr<std::uint8_t[]> copies_;
};

// Runs work(w) for workers w = 0..count-1 at the same time and returns when
// all have returned: the calling thread is worker 0, and takes the place of
// every worker whose thread cannot be started. The threads compute under the
// calling thread's floating-point environment. `work` must not throw.
// Without thread support in the build (the Windows server) the calling
// thread runs them in turn.
void run_workers(std::int32_t count, void (*work)(void* context, std::int32_t worker),
                 void* context) noexcept;

template <typename F>
void run_workers(std::int32_t count, F& work) noexcept {
    run_workers(
        count, [](void* f, std::int32_t worker) { (*static_cast<F*>(f))(worker); }, &work);
}

}  // namespace orvessa::filters
