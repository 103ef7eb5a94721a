// Streams of pictures: a stream owns what its rows are read from (the file
// and its reader, or rows in memory); a filtered stream keeps the one it was
// made from. Rows flow through run_rows to a writer or to memory.
#include "orvessa/picture_stream.hpp"

#include <atomic>
#include <cstring>
#include <new>
#include <optional>
#include <thread>

#include "codecs/picture_codec.hpp"
#include "orvessa/error.hpp"
#include "orvessa/linux_platform.hpp"
#include "platform/linux/descriptor_bytes.hpp"
#include "platform/linux/picture_formats.hpp"
#include "platform/linux/picture_reading.hpp"
#include "platform/linux/row_pipeline.hpp"

namespace orvessa {

namespace {

std::atomic<std::int32_t> threads_set{0};

std::int32_t picture_threads() noexcept {
    const std::int32_t set = threads_set.load();
    if (set > 0) return set;
    return static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

// Rows of R, G, B one after the other in memory.
class MemoryRows : public platform::RowSource {
public:
    MemoryRows(const std::uint8_t* rgb, std::int32_t width) : next_(rgb), row_bytes_(std::size_t(width) * 3) {}
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        for (std::int32_t r = 0; r < count; ++r, rgb += step, next_ += row_bytes_) std::memcpy(rgb, next_, row_bytes_);
    }

private:
    const std::uint8_t* next_;
    std::size_t row_bytes_;
};

// A writer's step, whose failures name OUT.
template <typename Step>
void writing(const std::string& out, Step step) {
    try {
        step();
    } catch (const codecs::CannotWrite& e) {
        throw Error::writing(ErrorNumber::file_access, out, e.what());
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
}

class WriterRows : public platform::RowSink {
public:
    WriterRows(codecs::PictureWriter& writer, const std::string& out) : writer_(writer), out_(out) {}
    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        writing(out_, [&] { writer_.write_rows(rgb, step, count); });
    }

private:
    codecs::PictureWriter& writer_;
    const std::string& out_;
};

// Rows into memory, placed as `orientation` turns them.
class PlacedRows : public platform::RowSink {
public:
    PlacedRows(std::uint8_t* out, std::ptrdiff_t step, std::int32_t width, std::int32_t height, int orientation)
        : out_(out), step_(step), width_(width), height_(height), orientation_(orientation) {}
    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        for (std::int32_t r = 0; r < count; ++r, rgb += step) {
            platform::place_upright(rgb, next_++, width_, height_, orientation_, 3, out_, step_);
        }
    }

private:
    std::uint8_t* out_;
    std::ptrdiff_t step_;
    std::int32_t width_, height_;
    int orientation_;
    std::int32_t next_ = 0;
};

}  // namespace

struct PictureStream::State {
    std::shared_ptr<State> made_from;  // the stream a filtered one reads
    std::optional<platform::UniqueFd> file;
    std::optional<platform::OpenedPicture> picture;
    const std::uint8_t* rows = nullptr;  // or rows in memory
    std::vector<std::uint8_t> owned;     // that the stream owns (of_image)
    codecs::PictureInfo info;
    std::optional<PixelFilter> filter;
    bool read = false;  // a picture's rows come once

    // The stream whose rows are read.
    State& origin() noexcept { return made_from ? made_from->origin() : *this; }

    // The rows, filtered if this stream is, into `sink`.
    void run(platform::RowSink& sink) {
        State& from = origin();
        if (std::exchange(from.read, true) && from.picture) {
            throw Error::reading(ErrorNumber::invalid_picture, from.picture->name(), "its rows were read already");
        }
        MemoryRows memory(from.rows, info.width);
        platform::RowSource& source = from.picture ? static_cast<platform::RowSource&>(*from.picture) : memory;
        platform::run_rows(source, filter, sink, info.width, info.height, picture_threads());
    }
};

void set_picture_threads(std::int32_t threads) { threads_set.store(threads < 1 ? 1 : threads); }

PictureStream PictureStream::open_file(const std::string& path, std::int64_t max_pixels) {
    auto state = std::make_shared<State>();
    state->file.emplace(platform::open_picture_file(path));
    state->picture.emplace(state->file->get(), path, max_pixels);
    state->info = state->picture->info();
    return PictureStream(std::move(state));
}

PictureStream PictureStream::open_descriptor(int fd, const std::string& name, std::int64_t max_pixels) {
    auto state = std::make_shared<State>();
    state->picture.emplace(fd, name, max_pixels);
    state->info = state->picture->info();
    return PictureStream(std::move(state));
}

PictureStream PictureStream::of_rows(const std::uint8_t* rgb, std::int32_t width, std::int32_t height) {
    auto state = std::make_shared<State>();
    state->rows = rgb;
    state->info.width = width;
    state->info.height = height;
    return PictureStream(std::move(state));
}

PictureStream PictureStream::of_image(const Image& image) {
    auto state = std::make_shared<State>();
    const PixelLayout layout(image.width, image.height);
    state->owned.resize(static_cast<std::size_t>(image.width) * 3 * image.height);
    std::uint8_t* out = state->owned.data();
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* in = &image.pixels[layout.row_start(y)];
        for (std::int32_t x = 0; x < image.width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    state->rows = state->owned.data();
    state->info.width = image.width;
    state->info.height = image.height;
    return PictureStream(std::move(state));
}

std::int32_t PictureStream::width() const noexcept { return state_->info.width; }
std::int32_t PictureStream::height() const noexcept { return state_->info.height; }
int PictureStream::orientation() const noexcept { return state_->info.orientation; }

PictureStream PictureStream::filtered(PixelFilter filter) const {
    if (state_->filter) throw std::invalid_argument("a filtered picture stream cannot be filtered again");
    auto state = std::make_shared<State>();
    state->made_from = state_;
    state->info = state_->info;
    state->filter = filter;
    return PictureStream(std::move(state));
}

void PictureStream::write(int fd, PictureFormat format, int quality, const std::string& out) const {
    platform::DescriptorSink bytes(fd, out);
    std::unique_ptr<codecs::PictureWriter> writer;
    writing(out, [&] { writer = platform::format_row(format).write(bytes, state_->info, quality); });
    WriterRows rows(*writer, out);
    state_->run(rows);
    writing(out, [&] { writer->finish(); });
}

void PictureStream::read_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const {
    PlacedRows sink(rgb, row_step, width(), height(), 1);  // 1: as stored
    state_->run(sink);
}

void PictureStream::read_upright_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const {
    PlacedRows sink(rgb, row_step, width(), height(), orientation());
    state_->run(sink);
}

}  // namespace orvessa
