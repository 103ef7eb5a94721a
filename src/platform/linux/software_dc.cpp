#include "platform/linux/software_dc.hpp"

#include <algorithm>
#include <stdexcept>

#include "orvessa/linux_platform.hpp"
#include "platform/linux/dib_shape.hpp"
#include "platform/platform.hpp"

namespace orvessa {

namespace platform {

HandleTable<SurfaceData>& device_contexts() {
    static HandleTable<SurfaceData> table;
    return table;
}

namespace {

// A destination or source extent as a start and a length, with its direction.
struct Span {
    std::int64_t start, length;
    bool negative;
};

Span span(std::int64_t origin, std::int64_t extent) {
    return extent < 0 ? Span{origin + extent, -extent, true} : Span{origin, extent, false};
}

// The source offset, 0 .. src_len - 1, that destination offset d samples: the
// source pixel under the centre of the destination pixel.
std::int64_t nearest(std::int64_t d, std::int64_t dest_len, std::int64_t src_len, bool mirror) {
    // Extents reach 2^32, so the product needs more than 64 bits.
    const auto s = static_cast<std::int64_t>((static_cast<__int128>(2 * d + 1) * src_len) / (2 * dest_len));
    return mirror ? src_len - 1 - s : s;
}

}  // namespace

int stretch_dib_onto(SurfaceData& surface, int dest_x, int dest_y, int dest_width,
                     int dest_height, int src_x, int src_y, int src_width, int src_height,
                     const void* bits, const BitmapInfo& info, std::uint32_t usage,
                     std::uint32_t rop) {
    const auto shape = dib_shape(info, usage);
    if (!shape || bits == nullptr || rop != rop_source_copy || dest_width == 0 ||
        dest_height == 0 || src_width == 0 || src_height == 0) {
        return 0;
    }
    const Span dx = span(dest_x, dest_width), dy = span(dest_y, dest_height);
    const Span sx = span(src_x, src_width), sy = span(src_y, src_height);
    const bool mirror_x = dx.negative != sx.negative, mirror_y = dy.negative != sy.negative;
    const auto* dib = static_cast<const std::uint8_t*>(bits);

    const std::lock_guard lock(surface.mutex);
    const std::int64_t x_begin = std::max<std::int64_t>(dx.start, 0);
    const std::int64_t x_end = std::min<std::int64_t>(dx.start + dx.length, surface.width);
    const std::int64_t y_begin = std::max<std::int64_t>(dy.start, 0);
    const std::int64_t y_end = std::min<std::int64_t>(dy.start + dy.length, surface.height);
    for (std::int64_t y = y_begin; y < y_end; ++y) {
        // Source rows count from the top of the source rectangle; for a
        // bottom-up bitmap the rectangle's origin is its lower-left corner.
        const std::int64_t v = nearest(y - dy.start, dy.length, sy.length, mirror_y);
        const std::int64_t image_row =
            shape->top_down ? sy.start + v : shape->rows - (sy.start + sy.length) + v;
        if (image_row < 0 || image_row >= shape->rows) continue;
        const std::uint8_t* row = dib + shape->stored_row(image_row) * shape->stride;
        std::uint32_t* out = surface.pixels.data() + y * surface.width;
        for (std::int64_t x = x_begin; x < x_end; ++x) {
            const std::int64_t column = sx.start + nearest(x - dx.start, dx.length, sx.length, mirror_x);
            if (column < 0 || column >= shape->width) continue;
            const std::uint8_t* p = row + 3 * column;
            out[x] = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
    }
    return static_cast<int>(dy.length);
}

}  // namespace platform

Surface::Surface(std::int32_t width, std::int32_t height, std::uint32_t fill_rgb)
    : data_(std::make_shared<SurfaceData>()) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative surface size");
    data_->width = width;
    data_->height = height;
    data_->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                         fill_rgb & 0xFFFFFFu);
    hdc_ = platform::device_contexts().add(data_);
}

Surface::~Surface() { platform::device_contexts().remove(hdc_); }

std::int32_t Surface::width() const noexcept { return data_->width; }
std::int32_t Surface::height() const noexcept { return data_->height; }

std::uint32_t Surface::pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= data_->width || y >= data_->height) {
        throw std::out_of_range("pixel outside the surface");
    }
    const std::lock_guard lock(data_->mutex);
    return data_->pixels[static_cast<std::size_t>(y) * data_->width + x];
}

int Surface::stretch_mode() const noexcept {
    const std::lock_guard lock(data_->mutex);
    return data_->stretch_mode;
}

Image Surface::to_image() const {
    Image image;
    image.width = data_->width;
    image.height = data_->height;
    const std::size_t stride = static_cast<std::size_t>(image.stride());
    image.pixels.assign(stride * image.height, 0);
    const std::lock_guard lock(data_->mutex);
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::uint8_t* out = &image.pixels[(image.height - 1 - y) * stride];
        const std::uint32_t* in = &data_->pixels[static_cast<std::size_t>(y) * image.width];
        for (std::int32_t x = 0; x < image.width; ++x, out += 3) {
            out[0] = static_cast<std::uint8_t>(in[x]);
            out[1] = static_cast<std::uint8_t>(in[x] >> 8);
            out[2] = static_cast<std::uint8_t>(in[x] >> 16);
        }
    }
    return image;
}

}  // namespace orvessa
