#include "codecs/tiff_bands.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs::tiff {
namespace {

template <class T>
T field(TIFF* tif, ttag_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tif, tag, &value);
    return value;
}

// After a call that decodes pixels: a callback's exception goes on as it
// was thrown; a failure, or a warning (libtiff warns of data it had to skip
// or guess, such as a JPEG cut short), refuses the picture.
void decoded(Context& context, bool ok) {
    context.rethrow_failure();
    if (!ok || !context.warning.empty()) throw BadPicture(context.reason("the pixel data is corrupt"));
}

class SampleBands final : public Bands {
public:
    SampleBands(TIFF* tif, Context& context, const SampleLayout& layout)
        : tif_(tif), context_(context),
          converter_(layout, static_cast<std::int32_t>(field<std::uint32_t>(tif, TIFFTAG_IMAGEWIDTH))) {
        const std::uint64_t width = field<std::uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
        const std::uint32_t height = field<std::uint32_t>(tif, TIFFTAG_IMAGELENGTH);
        planar_ = field<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
        planes_ = planar_ ? layout.per_pixel : 1;
        const std::uint64_t samples = planar_ ? 1 : layout.per_pixel;
        row_bytes_ = TIFFScanlineSize64(tif);
        if (row_bytes_ == 0 || row_bytes_ < (width * samples * layout.bits + 7) / 8)
            throw BadPicture("the rows' size does not fit the picture");
        tiled_ = TIFFIsTiled(tif);
        if (tiled_) {
            tile_width_ = field<std::uint32_t>(tif, TIFFTAG_TILEWIDTH);
            rows_ = static_cast<std::int32_t>(std::min(field<std::uint32_t>(tif, TIFFTAG_TILELENGTH), height));
            tile_row_bytes_ = TIFFTileRowSize64(tif);
            const std::uint64_t tile = TIFFTileSize64(tif);
            // A tile may outgrow a small picture, but not without bound.
            if (tile_width_ == 0 || rows_ == 0 || tile == 0 ||
                tile > std::max<std::uint64_t>(std::uint64_t{1} << 24, 2 * row_bytes_ * height * planes_))
                throw BadPicture("the tiles do not fit the picture");
            tile_.resize(tile);
        } else if (planar_) {
            const std::uint32_t per_strip = field<std::uint32_t>(tif, TIFFTAG_ROWSPERSTRIP);
            rows_ = static_cast<std::int32_t>(per_strip == 0 ? height : std::min(per_strip, height));
        }
        held_.assign(planes_, std::vector<std::uint8_t>(row_bytes_ * rows_));
    }

    void load(std::int32_t first, std::int32_t count) override {
        if (tiled_) return load_tiles(first, count);
        if (!planar_) {
            // A scanline at a time: libtiff cuts a lone uncompressed strip
            // into small ones; of a compressed strip it holds the raw bytes.
            context_.clear();
            return decoded(context_, TIFFReadScanline(tif_, held_[0].data(), first, 0) == 1);
        }
        const tmsize_t want = static_cast<tmsize_t>(row_bytes_ * count);
        for (int p = 0; p < planes_; ++p) {
            context_.clear();
            const std::uint32_t strip = TIFFComputeStrip(tif_, first, static_cast<std::uint16_t>(p));
            decoded(context_, TIFFReadEncodedStrip(tif_, strip, held_[p].data(), want) == want);
        }
    }

    void row(std::int32_t index, std::uint8_t* rgb) override {
        const std::size_t at = row_bytes_ * index;
        if (!planar_) converter_.unpack_pixels(held_[0].data() + at);
        for (int p = 0; planar_ && p < planes_; ++p) converter_.unpack_plane(held_[p].data() + at, p);
        converter_.to_rgb(rgb);
    }

private:
    void load_tiles(std::int32_t first, std::int32_t count) {
        const std::uint32_t width = field<std::uint32_t>(tif_, TIFFTAG_IMAGEWIDTH);
        const tmsize_t want = static_cast<tmsize_t>(tile_.size());
        for (int p = 0; p < planes_; ++p) {
            for (std::uint32_t x = 0; x < width; x += tile_width_) {
                context_.clear();
                const std::uint32_t tile = TIFFComputeTile(tif_, x, first, 0, static_cast<std::uint16_t>(p));
                decoded(context_, TIFFReadEncodedTile(tif_, tile, tile_.data(), want) == want);
                // Tiles start on whole bytes (the reader checked the tile width).
                const std::size_t at = tile_row_bytes_ * (x / tile_width_);
                const std::size_t take = std::min(tile_row_bytes_, row_bytes_ - at);
                for (std::int32_t r = 0; r < count; ++r)
                    std::memcpy(held_[p].data() + row_bytes_ * r + at, tile_.data() + tile_row_bytes_ * r, take);
            }
        }
    }

    TIFF* tif_;
    Context& context_;
    bool tiled_ = false, planar_ = false;
    int planes_ = 1;  // held: all samples together, or one plane each
    std::uint64_t row_bytes_ = 0;  // a row of the samples held together
    std::uint32_t tile_width_ = 0;
    std::uint64_t tile_row_bytes_ = 0;
    std::vector<std::vector<std::uint8_t>> held_;
    std::vector<std::uint8_t> tile_;
    SampleConverter converter_;
};

class RgbaBands final : public Bands {
public:
    RgbaBands(TIFF* tif, Context& context) : context_(context) {
        char message[1024] = "";
        context.clear();
        const bool ok = TIFFRGBAImageOK(tif, message) && TIFFRGBAImageBegin(&image_, tif, 1, message);
        context.rethrow_failure();
        if (!ok) throw BadPicture(*message ? message : context.reason("the layout is not supported"));
        begun_ = true;
        // The rows as stored: the reader's caller turns the picture.
        image_.req_orientation = image_.orientation;
        const std::uint32_t band =
            field<std::uint32_t>(tif, TIFFIsTiled(tif) ? TIFFTAG_TILELENGTH : TIFFTAG_ROWSPERSTRIP);
        rows_ = static_cast<std::int32_t>(band == 0 ? image_.height : std::min(band, image_.height));
        raster_.resize(std::size_t{image_.width} * rows_);
    }
    ~RgbaBands() override {
        if (begun_) TIFFRGBAImageEnd(&image_);
    }
    RgbaBands(const RgbaBands&) = delete;
    RgbaBands& operator=(const RgbaBands&) = delete;

    void load(std::int32_t first, std::int32_t count) override {
        image_.row_offset = first;
        image_.col_offset = 0;
        context_.clear();
        decoded(context_, TIFFRGBAImageGet(&image_, raster_.data(), image_.width, static_cast<std::uint32_t>(count)));
    }

    void row(std::int32_t index, std::uint8_t* rgb) override {
        const std::uint32_t* pixel = raster_.data() + std::size_t{image_.width} * index;
        for (std::uint32_t x = 0; x < image_.width; ++x, rgb += 3) {
            const std::uint32_t p = pixel[x];
            const int alpha = image_.alpha ? static_cast<int>(TIFFGetA(p)) : 255;
            // With alpha, libtiff hands colour premultiplied: white adds 255 - alpha.
            const std::uint32_t colour[3] = {TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)};
            for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::uint8_t>(std::min<int>(255, colour[c] + 255 - alpha));
        }
    }

private:
    Context& context_;
    TIFFRGBAImage image_{};
    bool begun_ = false;
    std::vector<std::uint32_t> raster_;
};

}  // namespace

std::unique_ptr<Bands> sample_bands(TIFF* tif, Context& context, const SampleLayout& layout) {
    return std::make_unique<SampleBands>(tif, context, layout);
}

std::unique_ptr<Bands> rgba_bands(TIFF* tif, Context& context) { return std::make_unique<RgbaBands>(tif, context); }

}  // namespace orvessa::codecs::tiff
