#include "codecs/gif_codec.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

namespace orvessa::codecs {
namespace {

// What the read function needs, and what it caught: giflib's frames are C.
struct GifContext {
    ByteSource* source = nullptr;
    std::exception_ptr failure;
    bool ended = false;          // a read found the end of the file
    std::size_t last_read = 0;   // the bytes that read gave
};

int read_gif_bytes(GifFileType* gif, GifByteType* into, int size) noexcept {
    auto* context = static_cast<GifContext*>(gif->UserData);
    if (context->failure || size <= 0) return 0;
    try {
        context->last_read = context->source->read(into, static_cast<std::size_t>(size));
        context->ended = context->last_read < static_cast<std::size_t>(size);
        return static_cast<int>(context->last_read);
    } catch (...) {
        context->failure = std::current_exception();
        return 0;  // giflib fails the call with D_GIF_ERR_READ_FAILED
    }
}

// After a giflib call failed: what the source threw, else the file's own error.
[[noreturn]] void fail(const GifContext& context, int error) {
    if (context.failure) std::rethrow_exception(context.failure);
    if (error == D_GIF_ERR_NOT_ENOUGH_MEM) throw std::bad_alloc();
    // giflib names a cut head "no screen descriptor"; the read knows better.
    if (context.ended || error == D_GIF_ERR_READ_FAILED) throw BadPicture("the file ends early");
    const char* reason = GifErrorString(error);
    throw BadPicture(reason ? reason : "the GIF decoder failed");
}

struct GifCloser {
    void operator()(GifFileType* gif) const noexcept {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

using Rgb = std::array<std::uint8_t, 3>;

class GifReader final : public PictureReader {
public:
    GifReader(ByteSource& source, std::int64_t max_pixels) {
        context_.source = &source;
        int error = 0;
        gif_.reset(DGifOpen(&context_, read_gif_bytes, &error));
        if (!gif_) fail(context_, error);
        check_size(gif_->SWidth, gif_->SHeight, max_pixels);
        info_.width = gif_->SWidth;
        info_.height = gif_->SHeight;
        read_up_to_first_image();
    }

    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > info_.height - next_row_) throw std::logic_error("more rows asked than the picture has");
        if (interlaced_ && !frame_read_) read_interlaced_frame();
        for (std::int32_t i = 0; i < count; ++i, ++next_row_) {
            const std::int32_t frame_row = next_row_ - top_;
            const GifPixelType* indices = nullptr;
            if (frame_row >= 0 && frame_row < frame_height_) {
                if (interlaced_) {
                    indices = frame_.data() + static_cast<std::size_t>(frame_row) * visible_width();
                } else {
                    read_line();
                    indices = line_.data();
                }
            }
            paint(rgb + i * step, indices);
        }
        // The rest of the image and of the file are read too, so that data
        // corrupt below the screen or cut after the first image is refused.
        // Nothing after the first image is decoded.
        if (count > 0 && next_row_ == info_.height) {
            while (lines_read_ < frame_height_) read_line();
            read_to_end();
        }
    }

private:
    void read_up_to_first_image() {
        GifFileType* gif = gif_.get();
        int transparent = NO_TRANSPARENT_COLOR;
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR) fail(context_, gif->Error);
            if (type == IMAGE_DESC_RECORD_TYPE) break;
            if (type == TERMINATE_RECORD_TYPE) throw BadPicture("the file holds no image");
            if (type != EXTENSION_RECORD_TYPE) throw BadPicture("the file is broken");
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) fail(context_, gif->Error);
            GraphicsControlBlock control;
            // The last control block before the image is the image's.
            if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparent = control.TransparentColor;
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) fail(context_, gif->Error);
            }
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) fail(context_, gif->Error);

        const GifImageDesc& image = gif->Image;
        if (image.Width <= 0 || image.Height <= 0) throw BadPicture("the first image is empty");
        const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
        if (!map || !map->Colors) throw BadPicture("the image has no colour table");
        // Indices beyond the table are black.
        colours_.fill(Rgb{0, 0, 0});
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
            colours_[i] = Rgb{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue};
        transparent_ = transparent;
        // As pictures were read before: the screen outside the image is black,
        // white where the image has a transparent colour.
        outside_ = transparent >= 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
        left_ = image.Left;
        top_ = image.Top;
        frame_width_ = image.Width;
        frame_height_ = image.Height;
        interlaced_ = image.Interlace;
        line_.resize(static_cast<std::size_t>(frame_width_));
    }

    // Only the trailer may be missing: it ends the file and nothing else.
    void read_to_end() {
        GifFileType* gif = gif_.get();
        for (;;) {
            GifRecordType type;
            if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
                if (!context_.failure && context_.ended && context_.last_read == 0) return;
                fail(context_, gif->Error);
            }
            if (type == TERMINATE_RECORD_TYPE) return;
            int code = 0;
            GifByteType* block = nullptr;
            if (type == IMAGE_DESC_RECORD_TYPE) {
                if (DGifGetImageDesc(gif) == GIF_ERROR || DGifGetCode(gif, &code, &block) == GIF_ERROR)
                    fail(context_, gif->Error);
                while (block) {
                    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) fail(context_, gif->Error);
                }
            } else if (type == EXTENSION_RECORD_TYPE) {
                if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) fail(context_, gif->Error);
                while (block) {
                    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) fail(context_, gif->Error);
                }
            } else {
                throw BadPicture("the file is broken");
            }
        }
    }

    std::size_t visible_width() const noexcept { return std::clamp(info_.width - left_, 0, frame_width_); }
    std::size_t visible_height() const noexcept { return std::clamp(info_.height - top_, 0, frame_height_); }

    void read_line() {
        if (DGifGetLine(gif_.get(), line_.data(), frame_width_) == GIF_ERROR) fail(context_, gif_->Error);
        ++lines_read_;
    }

    // Interlaced rows come in four passes: the part on the screen is kept.
    void read_interlaced_frame() {
        frame_.resize(visible_width() * visible_height());
        static constexpr int first[] = {0, 4, 2, 1}, apart[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass) {
            for (std::int32_t row = first[pass]; row < frame_height_; row += apart[pass]) {
                read_line();
                if (static_cast<std::size_t>(row) < visible_height())
                    std::copy_n(line_.begin(), visible_width(), frame_.begin() + row * visible_width());
            }
        }
        frame_read_ = true;
    }

    // `indices`: the image's row on this screen row, from its left edge.
    void paint(std::uint8_t* out, const GifPixelType* indices) const noexcept {
        for (std::int32_t x = 0; x < info_.width; ++x, out += 3) {
            const std::int32_t at = x - left_;
            Rgb colour = outside_;
            if (indices && at >= 0 && at < frame_width_) {
                const int index = indices[at];
                colour = index == transparent_ ? Rgb{255, 255, 255} : colours_[index];
            }
            std::copy(colour.begin(), colour.end(), out);
        }
    }

    GifContext context_;
    std::unique_ptr<GifFileType, GifCloser> gif_;
    std::array<Rgb, 256> colours_{};
    int transparent_ = NO_TRANSPARENT_COLOR;
    Rgb outside_{};
    std::int32_t left_ = 0, top_ = 0, frame_width_ = 0, frame_height_ = 0;
    bool interlaced_ = false, frame_read_ = false;
    std::vector<GifPixelType> line_;   // the image row last read
    std::vector<GifPixelType> frame_;  // an interlaced image's rows on the screen
    std::int32_t lines_read_ = 0, next_row_ = 0;
};

}  // namespace

std::unique_ptr<PictureReader> open_gif(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<GifReader>(source, max_pixels);
}

}  // namespace orvessa::codecs
