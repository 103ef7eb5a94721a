#include "codecs/bmp_codec.hpp"

#include <array>
#include <cmath>
#include <cstring>

#include "codecs/png_codec.hpp"

namespace orvessa::codecs {

namespace {

std::vector<std::uint8_t> whole(ByteSource& source) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[64 * 1024];
    while (const std::size_t got = source.read(chunk, sizeof chunk)) bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

// Rows of a picture decoded whole, laid over white as they go.
class RgbaReader : public PictureReader {
public:
    explicit RgbaReader(RgbaImage picture) : picture_(std::move(picture)) {
        info_.width = picture_.width;
        info_.height = picture_.height;
        info_.x_pixels_per_metre = picture_.x_pixels_per_metre;
        info_.y_pixels_per_metre = picture_.y_pixels_per_metre;
    }
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        const std::size_t width = static_cast<std::size_t>(picture_.width);
        for (std::int32_t r = 0; r < count; ++r, ++next_, rgb += step) {
            if (next_ >= picture_.height) throw BadPicture("more rows asked for than the picture has");
            const std::uint8_t* p = picture_.rgba.data() + static_cast<std::size_t>(next_) * width * 4;
            for (std::size_t x = 0; x < width; ++x, p += 4) {
                for (int c = 0; c < 3; ++c) rgb[3 * x + c] = over_white(p[c], p[3]);
            }
        }
    }

private:
    RgbaImage picture_;
    std::int32_t next_ = 0;
};

// An icon whose image is a PNG file: the PNG reader over the icon's bytes.
class IconPngReader : public PictureReader {
public:
    IconPngReader(std::vector<std::uint8_t> file, std::int64_t max_pixels)
        : file_(std::move(file)), image_(first_icon_image(file_).bytes), png_(open_png(image_, max_pixels)) {
        info_ = png_->info();
    }
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        png_->read_rows(rgb, step, count);
    }

private:
    std::vector<std::uint8_t> file_;
    MemorySource image_;
    std::unique_ptr<PictureReader> png_;  // reads image_, so it goes first
};

void put_le(std::uint8_t* at, std::uint32_t value, int bytes) noexcept {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Rows arrive top first and are stored bottom first: written in place where
// the sink can seek, else gathered.
class BmpWriter : public PictureWriter {
public:
    BmpWriter(ByteSink& sink, const PictureInfo& info)
        : sink_(sink.seekable() ? sink : memory_), out_(sink), width_(info.width), height_(info.height),
          stride_((3 * std::uint64_t(info.width) + 3) & ~std::uint64_t{3}), row_(stride_, 0) {
        const double x = info.x_pixels_per_metre > 0 ? info.x_pixels_per_metre : 2835;
        const double y = info.y_pixels_per_metre > 0 ? info.y_pixels_per_metre : 2835;
        const auto head = bmp_head(info.width, info.height, x, y);
        sink_.write_at(0, head.data(), head.size());
    }
    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        for (std::int32_t r = 0; r < count; ++r, ++next_, rgb += step) {
            for (std::int32_t x = 0; x < width_; ++x) {
                row_[3 * x] = rgb[3 * x + 2];
                row_[3 * x + 1] = rgb[3 * x + 1];
                row_[3 * x + 2] = rgb[3 * x];
            }
            sink_.write_at(54 + stride_ * std::uint64_t(height_ - 1 - next_), row_.data(), row_.size());
        }
    }
    void finish() override {
        if (&sink_ == &memory_) out_.write(memory_.bytes().data(), memory_.bytes().size());
    }

private:
    MemorySink memory_;
    ByteSink& sink_;
    ByteSink& out_;
    std::int32_t width_, height_;
    std::uint64_t stride_;
    std::vector<std::uint8_t> row_;
    std::int32_t next_ = 0;
};

}  // namespace

std::unique_ptr<PictureReader> open_bmp(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<RgbaReader>(decode_bmp(whole(source), max_pixels));
}

std::unique_ptr<PictureReader> open_icon(ByteSource& source, std::int64_t max_pixels) {
    std::vector<std::uint8_t> file = whole(source);
    if (first_icon_image(file).png) return std::make_unique<IconPngReader>(std::move(file), max_pixels);
    return std::make_unique<RgbaReader>(decode_icon(file, max_pixels));
}

std::unique_ptr<PictureWriter> bmp_writer(ByteSink& sink, const PictureInfo& info) {
    return std::make_unique<BmpWriter>(sink, info);
}

std::array<std::uint8_t, 54> bmp_head(std::int32_t width, std::int32_t height, double x_pixels_per_metre,
                                      double y_pixels_per_metre) {
    const std::uint64_t stride = (3 * std::uint64_t(width) + 3) & ~std::uint64_t{3};
    const std::uint64_t size = 54 + stride * std::uint64_t(height);
    if (size > UINT32_MAX) throw CannotWrite("the picture is too large for a BMP file");
    std::array<std::uint8_t, 54> head{'B', 'M'};
    put_le(&head[2], static_cast<std::uint32_t>(size), 4);
    put_le(&head[10], 54, 4);
    put_le(&head[14], 40, 4);
    put_le(&head[18], static_cast<std::uint32_t>(width), 4);
    put_le(&head[22], static_cast<std::uint32_t>(height), 4);
    put_le(&head[26], 1, 2);   // planes
    put_le(&head[28], 24, 2);  // bits per pixel
    put_le(&head[34], static_cast<std::uint32_t>(size - 54), 4);
    put_le(&head[38], static_cast<std::uint32_t>(std::lround(x_pixels_per_metre)), 4);
    put_le(&head[42], static_cast<std::uint32_t>(std::lround(y_pixels_per_metre)), 4);
    return head;
}

}  // namespace orvessa::codecs
