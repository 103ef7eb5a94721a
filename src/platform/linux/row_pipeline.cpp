#include "platform/linux/row_pipeline.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvessa::platform {

namespace {

// A band of rows [top, top + rows): `in` holds them with one row of margin
// above and below (rows 0 and rows + 1), `out` the filtered rows from its
// second row on, so that row pointers never fall before either buffer.
struct Band {
    std::int32_t top = 0, rows = 0;
    std::vector<std::uint8_t> in, out;
    std::int32_t filtered = -1;  // the number of the band last filtered here
};

class Pipeline {
public:
    Pipeline(RowSource& source, std::optional<PixelFilter> filter, RowSink& sink, std::int32_t width,
             std::int32_t height, std::int32_t threads)
        : source_(source), filter_(filter), sink_(sink), width_(width), height_(height),
          row_bytes_(static_cast<std::size_t>(width) * 3), band_(band_rows(width)),
          bands_((height + band_ - 1) / band_), threaded_(threads > 1),
          workers_wanted_(threaded_ ? std::max(1, threads - 1) : 0),
          slots_(static_cast<std::size_t>(threaded_ ? threads + 2 : 2)) {}

    void run() {
        guarded([this] {
            if (!threaded_) return;
            encoder_ = std::thread([this] { guarded([this] { encode(); }); });
            for (std::int32_t i = 0; i < workers_wanted_; ++i) {
                workers_.emplace_back([this] { guarded([this] { filter_bands(); }); });
            }
        });
        guarded([this] { decode(); });
        {
            const std::lock_guard lock(mutex_);
            decoded_ = true;
        }
        changed_.notify_all();
        if (encoder_.joinable()) encoder_.join();
        for (std::thread& worker : workers_) worker.join();
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    std::uint8_t* in_row(Band& band, std::int32_t i) { return band.in.data() + static_cast<std::size_t>(i) * row_bytes_; }
    Band& slot(std::int32_t k) { return slots_[static_cast<std::size_t>(k) % slots_.size()]; }

    // Any failure stops every step; the first one is kept.
    template <typename Step>
    void guarded(Step step) noexcept {
        try {
            step();
        } catch (...) {
            {
                const std::lock_guard lock(mutex_);
                if (!failure_) failure_ = std::current_exception();
                stopped_ = true;
            }
            changed_.notify_all();
        }
    }

    void decode() {
        for (std::int32_t k = 0; k < bands_; ++k) {
            Band& band = slot(k);
            {
                std::unique_lock lock(mutex_);
                // The slot's last band must have been written.
                const auto count = static_cast<std::int32_t>(slots_.size());
                changed_.wait(lock, [&] { return stopped_ || written_ > k - count; });
                if (stopped_) return;
            }
            band.top = k * band_;
            band.rows = std::min(band_, height_ - band.top);
            band.in.resize(static_cast<std::size_t>(band.rows + 2) * row_bytes_);
            if (filter_) band.out.resize(static_cast<std::size_t>(band.rows + 1) * row_bytes_);
            if (k > 0) {
                Band& above = slot(k - 1);
                std::memcpy(in_row(band, 0), in_row(above, above.rows), row_bytes_);
            }
            source_.read_rows(in_row(band, 1), static_cast<std::ptrdiff_t>(row_bytes_), band.rows);
            if (k > 0) {
                Band& above = slot(k - 1);
                std::memcpy(in_row(above, above.rows + 1), in_row(band, 1), row_bytes_);
                release(k - 1);
            }
        }
        if (bands_ > 0) release(bands_ - 1);
    }

    // Band k has its margins: to the workers, or in turn on this thread.
    void release(std::int32_t k) {
        if (!threaded_) {
            filter_band(slot(k));
            write_band(slot(k));
            written_ = k + 1;
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(k);
        }
        changed_.notify_all();
    }

    void filter_bands() {
        for (;;) {
            std::int32_t k = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopped_ || !queue_.empty() || decoded_; });
                if (stopped_ || queue_.empty()) return;
                k = queue_.front();
                queue_.pop_front();
            }
            filter_band(slot(k));
            {
                const std::lock_guard lock(mutex_);
                slot(k).filtered = k;
            }
            changed_.notify_all();
        }
    }

    void encode() {
        for (std::int32_t k = 0; k < bands_; ++k) {
            Band& band = slot(k);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stopped_ || band.filtered == k; });
                if (stopped_) return;
            }
            write_band(band);
            {
                const std::lock_guard lock(mutex_);
                written_ = k + 1;
            }
            changed_.notify_all();
        }
    }

    void filter_band(Band& band) {
        if (!filter_) return;
        const auto step = static_cast<std::ptrdiff_t>(row_bytes_);
        const PixelRows from{in_row(band, 1), step};
        const PixelRows to{band.out.data() + step, step};
        filter_pixel_rows(*filter_, from, to, width_, height_, band.top, band.rows);
    }

    void write_band(Band& band) {
        const std::uint8_t* rows = filter_ ? band.out.data() + row_bytes_ : in_row(band, 1);
        sink_.write_rows(rows, static_cast<std::ptrdiff_t>(row_bytes_), band.rows);
    }

    RowSource& source_;
    std::optional<PixelFilter> filter_;
    RowSink& sink_;
    const std::int32_t width_, height_;
    const std::size_t row_bytes_;
    const std::int32_t band_, bands_;
    const bool threaded_;
    const std::int32_t workers_wanted_;
    std::vector<Band> slots_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::int32_t> queue_;
    std::int32_t written_ = 0;
    bool decoded_ = false, stopped_ = false;
    std::exception_ptr failure_;
    std::thread encoder_;
    std::vector<std::thread> workers_;
};

}  // namespace

std::int32_t band_rows(std::int32_t width) noexcept {
    const std::int64_t rows = (std::int64_t{1} << 20) / (3 * std::int64_t{std::max(width, 1)});
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(rows, 4, 256));
}

void run_rows(RowSource& source, std::optional<PixelFilter> filter, RowSink& sink, std::int32_t width,
              std::int32_t height, std::int32_t threads) {
    if (width <= 0 || height <= 0) return;
    Pipeline pipeline(source, filter, sink, width, height, threads);
    pipeline.run();
}

}  // namespace orvessa::platform
