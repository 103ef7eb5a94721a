// Streams of pictures over libvips: a stream owns what its pixels are read
// from (the file, the bytes a loader reads from memory) and keeps the
// picture it was made from alive.
#include "orvessa/linux_platform.hpp"
#include "orvessa/picture_stream.hpp"

#include <cstring>
#include <optional>

#include "platform/linux/picture_formats.hpp"
#include "platform/linux/vips_pictures.hpp"

namespace orvessa {

struct PictureStream::State {
    std::shared_ptr<const State> made_from;
    std::optional<platform::UniqueFd> file;
    platform::PictureSource source;
    std::vector<std::uint8_t> rows;  // pixels the stream owns (of_image)
    std::string name;
};

void set_picture_threads(std::int32_t threads) { platform::set_threads(threads); }

PictureStream PictureStream::open_file(const std::string& path, std::int64_t max_pixels) {
    auto state = std::make_shared<State>();
    state->file.emplace(platform::open_picture_file(path));
    state->source = platform::open_picture(state->file->get(), path, max_pixels);
    state->name = path;
    return PictureStream(std::move(state));
}

PictureStream PictureStream::open_descriptor(int fd, const std::string& name,
                                             std::int64_t max_pixels) {
    auto state = std::make_shared<State>();
    state->source = platform::open_picture(fd, name, max_pixels);
    state->name = name;
    return PictureStream(std::move(state));
}

PictureStream PictureStream::of_rows(const std::uint8_t* rgb, std::int32_t width,
                                     std::int32_t height) {
    auto state = std::make_shared<State>();
    state->source.rgb = platform::picture_of_rows(rgb, width, height);
    state->source.check = std::make_shared<platform::DecodeCheck>(0);
    state->name = "the picture";
    return PictureStream(std::move(state));
}

PictureStream PictureStream::of_image(const Image& image) {
    auto state = std::make_shared<State>();
    state->rows = platform::rgb_rows(image);
    state->source.rgb = platform::picture_of_rows(state->rows.data(), image.width, image.height);
    state->source.check = std::make_shared<platform::DecodeCheck>(0);
    state->name = "the picture";
    return PictureStream(std::move(state));
}

std::int32_t PictureStream::width() const noexcept { return state_->source.rgb->Xsize; }
std::int32_t PictureStream::height() const noexcept { return state_->source.rgb->Ysize; }

PictureStream PictureStream::filtered(PixelFilter filter) const {
    auto state = std::make_shared<State>();
    state->source.rgb = platform::filtered_picture(state_->source.rgb.get(), filter, state_->source.check.get());
    state->source.check = state_->source.check;
    state->source.format = state_->source.format;
    state->source.orientation = state_->source.orientation;
    state->made_from = state_;
    state->name = state_->name;
    return PictureStream(std::move(state));
}

void PictureStream::write(int fd, PictureFormat format, int quality, const std::string& out) const {
    platform::write_picture(state_->source.rgb.get(), format, quality, fd, out, state_->source.check.get(),
                            state_->name);
}

int PictureStream::orientation() const noexcept { return state_->source.orientation; }

void PictureStream::read_upright_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const {
    const std::int32_t w = width(), h = height();
    const int turn = orientation();
    platform::read_picture_rows(state_->source, state_->name, [&](std::int32_t y, const std::uint8_t* row) {
        platform::place_upright(row, y, w, h, turn, 3, rgb, row_step);
    });
}

void PictureStream::read_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const {
    const std::int32_t w = width(), h = height();
    platform::read_picture_rows(state_->source, state_->name, [&](std::int32_t y, const std::uint8_t* row) {
        platform::place_upright(row, y, w, h, 1, 3, rgb, row_step);  // 1: as stored
    });
}

}  // namespace orvessa
