#include "codecs/png_codec.hpp"

#include <png.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecs/exif.hpp"
#include "codecs/png_context.hpp"

namespace orvessa::codecs {
namespace {

using namespace png_glue;

void read_bytes(png_structp png, png_bytep into, std::size_t size) {
    Context& c = *static_cast<Context*>(png_get_io_ptr(png));
    std::size_t got = 0;
    bool threw = false;
    try {
        for (std::size_t n = 1; got < size && n > 0; got += n) n = c.source->read(into + got, size - got);
    } catch (...) {
        c.thrown = std::current_exception();
        threw = true;
    }
    // Out of the handler first: a longjmp must not leave a catch block.
    if (threw) png_error(png, "the source failed");
    if (got < size) png_error(png, c.in_pixels ? "the pixel data ends early" : "the file ends within its head");
}

// pHYs, iCCP and eXIf are kept, and what the pixels need (IHDR, PLTE, tRNS,
// IDAT); everything else is skipped unread, gamma and colour spaces too: no
// colour is converted.
constexpr char kept_chunks[] = "pHYs\0iCCP\0eXIf";

void read_head(png_structp png, png_infop info) {
    // The pixel bound is check_size's; libpng's default of a million pixels
    // a side would refuse panoramas the caller allows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, 8 << 20);  // the largest chunk kept, a colour profile say
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, reinterpret_cast<png_const_bytep>(kept_chunks),
                                sizeof kept_chunks / 5);
    png_read_info(png, info);
}

// Every kind to 8-bit R, G, B, with alpha where the file has transparency:
// palettes and small depths expanded, tRNS made alpha, 16 bits cut to the
// high byte, gray repeated.
void start_rows(png_structp png, png_infop info) {
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// libpng's two structs for one file, freed on every path.
struct ReadStructs {
    explicit ReadStructs(Context& context)
        : png(png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, on_error, on_warning)) {
        if (png) info = png_create_info_struct(png);
        if (!info) {
            png_destroy_read_struct(&png, nullptr, nullptr);
            throw std::bad_alloc();
        }
    }
    ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

class PngReader final : public PictureReader {
public:
    PngReader(ByteSource& source, std::int64_t max_pixels) {
        context_.source = &source;
        png_structp png = structs_.png;
        png_infop head = structs_.info;
        png_set_read_fn(png, &context_, read_bytes);
        if (!guarded(png, read_head, head)) fail();

        png_uint_32 width = 0, height = 0;
        int depth = 0, colour = 0, interlace = 0;
        png_get_IHDR(png, head, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
        check_size(width, height, max_pixels);
        info_.width = static_cast<std::int32_t>(width);
        info_.height = static_cast<std::int32_t>(height);

        png_uint_32 x = 0, y = 0;
        int unit = 0;
        if (png_get_pHYs(png, head, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
            info_.x_pixels_per_metre = x;
            info_.y_pixels_per_metre = y;
        }
        png_charp name = nullptr;
        int compression = 0;
        png_bytep bytes = nullptr;
        png_uint_32 size = 0;
        // A gray picture's profile would not fit the RGB rows given out.
        if ((colour & PNG_COLOR_MASK_COLOR) && png_get_iCCP(png, head, &name, &compression, &bytes, &size))
            info_.icc.assign(bytes, bytes + size);
        if (png_get_eXIf_1(png, head, &size, &bytes)) {
            info_.exif.assign(bytes, bytes + size);
            info_.orientation = exif_orientation(info_.exif);
        }

        if (!guarded(png, start_rows, head)) fail();
        context_.in_pixels = true;
        interlaced_ = interlace != PNG_INTERLACE_NONE;
        alpha_ = png_get_channels(png, head) == 4;
        row_bytes_ = png_get_rowbytes(png, head);
        if (row_bytes_ != (alpha_ ? 4u : 3u) * width) throw std::logic_error("libpng gave rows of an unexpected size");
        if (alpha_ && !interlaced_) row_.resize(row_bytes_);
    }

    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > info_.height - next_) throw std::out_of_range("rows asked past the picture's last");
        if (broken_) fail();
        if (interlaced_ && whole_.empty() && count > 0) read_whole();
        for (; count > 0; --count, ++next_, rgb += step) {
            const std::uint8_t* pixels = nullptr;
            if (interlaced_) {
                pixels = whole_.data() + static_cast<std::size_t>(next_) * row_bytes_;
            } else {
                std::uint8_t* into = alpha_ ? row_.data() : rgb;
                if (!guarded(structs_.png, png_read_row, into, nullptr)) fail();
                pixels = into;
            }
            if (alpha_) {
                for (std::size_t x = 0, at = 0; at < row_bytes_; at += 4, x += 3) {
                    rgb[x] = over_white(pixels[at], pixels[at + 3]);
                    rgb[x + 1] = over_white(pixels[at + 1], pixels[at + 3]);
                    rgb[x + 2] = over_white(pixels[at + 2], pixels[at + 3]);
                }
            } else if (pixels != rgb) {
                std::memcpy(rgb, pixels, row_bytes_);
            }
        }
    }

private:
    // Adam7 spreads every row over seven passes: the picture is read whole.
    void read_whole() {
        whole_.resize(row_bytes_ * static_cast<std::size_t>(info_.height));
        std::vector<png_bytep> rows(static_cast<std::size_t>(info_.height));
        for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = whole_.data() + y * row_bytes_;
        if (!guarded(structs_.png, png_read_image, rows.data())) fail();
    }

    // libpng cannot go on after a failure; every later ask fails alike.
    [[noreturn]] void fail() {
        broken_ = true;
        if (context_.thrown) std::rethrow_exception(context_.thrown);
        throw BadPicture(reason(context_.message));
    }

    Context context_;
    ReadStructs structs_{context_};
    bool interlaced_ = false, alpha_ = false, broken_ = false;
    std::size_t row_bytes_ = 0;
    std::int32_t next_ = 0;
    std::vector<std::uint8_t> row_;    // one row of R, G, B, A
    std::vector<std::uint8_t> whole_;  // an interlaced picture, read at the first ask
};

}  // namespace

std::unique_ptr<PictureReader> open_png(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<PngReader>(source, max_pixels);
}

}  // namespace orvessa::codecs
