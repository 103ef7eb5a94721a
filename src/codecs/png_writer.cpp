#include <png.h>

#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "codecs/exif.hpp"
#include "codecs/png_codec.hpp"
#include "codecs/png_context.hpp"

namespace orvessa::codecs {
namespace {

using namespace png_glue;

// libpng hands over a chunk in pieces of a few bytes; the sink gets them in
// blocks of this size.
constexpr std::size_t block = 1 << 16;

void write_bytes(png_structp png, png_bytep bytes, std::size_t size) {
    Context& c = *static_cast<Context*>(png_get_io_ptr(png));
    bool threw = false;
    try {
        c.pending.insert(c.pending.end(), bytes, bytes + size);
        if (c.pending.size() >= block) {
            c.sink->write(c.pending.data(), c.pending.size());
            c.pending.clear();
        }
    } catch (...) {
        c.thrown = std::current_exception();
        threw = true;
    }
    // Out of the handler first: a longjmp must not leave a catch block.
    if (threw) png_error(png, "the sink failed");
}

// The last block goes to the sink once libpng is done.
void flush_nothing(png_structp) {}

png_uint_32 per_metre(double resolution) {
    return resolution >= 0.5 && resolution <= PNG_UINT_31_MAX ? static_cast<png_uint_32>(std::lround(resolution)) : 0;
}

void write_head(png_structp png, png_infop head, const PictureInfo* info, const std::vector<std::uint8_t>* exif) {
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    // A colour profile libpng finds malformed is left out rather than
    // failing the whole picture.
    png_set_benign_errors(png, 1);
    // Else a profile libpng knows as sRGB brings gAMA and cHRM chunks along.
    png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    png_set_IHDR(png, head, static_cast<png_uint_32>(info->width), static_cast<png_uint_32>(info->height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Measured on photos: level 1 with "Up" alone writes several times
    // faster than the defaults for files a little larger.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    const png_uint_32 x = per_metre(info->x_pixels_per_metre), y = per_metre(info->y_pixels_per_metre);
    if (x || y) png_set_pHYs(png, head, x ? x : y, y ? y : x, PNG_RESOLUTION_METER);
    if (!info->icc.empty() && info->icc.size() <= PNG_UINT_31_MAX)
        png_set_iCCP(png, head, "icc", PNG_COMPRESSION_TYPE_BASE, info->icc.data(),
                     static_cast<png_uint_32>(info->icc.size()));
    if (!exif->empty() && exif->size() <= PNG_UINT_31_MAX)
        png_set_eXIf_1(png, head, static_cast<png_uint_32>(exif->size()), const_cast<png_bytep>(exif->data()));
    png_write_info(png, head);
}

// libpng's two structs for one file, freed on every path.
struct WriteStructs {
    explicit WriteStructs(Context& context)
        : png(png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, on_error, on_warning)) {
        if (png) info = png_create_info_struct(png);
        if (!info) {
            png_destroy_write_struct(&png, nullptr);
            throw std::bad_alloc();
        }
    }
    ~WriteStructs() { png_destroy_write_struct(&png, &info); }
    WriteStructs(const WriteStructs&) = delete;
    WriteStructs& operator=(const WriteStructs&) = delete;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

class PngWriter final : public PictureWriter {
public:
    PngWriter(ByteSink& sink, const PictureInfo& info) : height_(info.height) {
        if (info.width <= 0 || info.height <= 0) throw CannotWrite("the picture has no pixels");
        context_.sink = &sink;
        context_.pending.reserve(block + 8192);
        png_set_write_fn(structs_.png, &context_, write_bytes, flush_nothing);
        const std::vector<std::uint8_t> exif = exif_to_write(info);
        if (!guarded(structs_.png, write_head, structs_.info, &info, &exif)) fail();
    }

    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > height_ - rows_) throw std::out_of_range("rows given past the picture's last");
        if (broken_) fail();
        for (; count > 0; --count, ++rows_, rgb += step)
            if (!guarded(structs_.png, png_write_row, rgb)) fail();
    }

    void finish() override {
        if (rows_ != height_ || finished_) throw std::logic_error("a PNG finished before its last row or twice");
        if (broken_) fail();
        if (!guarded(structs_.png, png_write_end, nullptr)) fail();
        finished_ = true;
        context_.sink->write(context_.pending.data(), context_.pending.size());
        context_.pending.clear();
    }

private:
    // libpng cannot go on after a failure; every later call fails alike.
    [[noreturn]] void fail() {
        broken_ = true;
        if (context_.thrown) std::rethrow_exception(context_.thrown);
        throw CannotWrite(reason(context_.message));
    }

    Context context_;
    WriteStructs structs_{context_};
    std::int32_t height_, rows_ = 0;
    bool broken_ = false, finished_ = false;
};

}  // namespace

std::unique_ptr<PictureWriter> png_writer(ByteSink& sink, const PictureInfo& info) {
    return std::make_unique<PngWriter>(sink, info);
}

}  // namespace orvessa::codecs
