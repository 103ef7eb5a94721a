// Picture files through libvips: opening with the failure codes that the
// picture loader reports, decoding as rows of R, G, B bytes that stream
// (transparent parts laid over white), and encoding.
#pragma once

#include <vips/vips.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "orvessa/filter_pixels.hpp"
#include "orvessa/picture_stream.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

struct GObjectUnref {
    void operator()(void* object) const noexcept { g_object_unref(object); }
};
using VipsImagePtr = std::unique_ptr<VipsImage, GObjectUnref>;

// Starts libvips once: no operation cache, and only the loaders of the
// formats read here (never the PDF, FITS, MATLAB ... loaders). Raises
// Error::platform when libvips cannot start.
void start_vips();

// Threads of every stream started from now on (at least 1).
void set_threads(std::int32_t threads);

// libvips' last error as text, and its error buffer cleared.
std::string vips_failure();

// Opens a regular file for reading without blocking on a FIFO or device.
// Raises Error::platform: file not found (53), path/file access error (75).
UniqueFd open_picture_file(const std::string& path);
// Whether the first bytes on `fd` are those of a format read here.
bool holds_picture_format(int fd);

// What a stream delivered: libvips may lose a failure between its threads
// (its pool decides on success before its last workers end), so every
// strip that leaves a streaming decoder is marked here, and any failure of
// the decoder or of our steps kept, to be asked after the picture is used.
class DecodeCheck {
public:
    // `height` rows to be delivered; 0 where no decoder streams.
    explicit DecodeCheck(std::int32_t height);
    void delivered(std::int32_t top, std::int32_t rows) noexcept;
    void failed(std::string trouble);
    // Empty when every row came and no strip failed, else why not.
    std::string trouble() const;

private:
    std::vector<std::atomic<std::uint64_t>> rows_;
    std::int32_t height_;
    std::atomic<bool> failed_{false};
    mutable std::mutex mutex_;
    std::string reason_;
};

// A picture being decoded: the rows of R, G, B bytes of its pixels, read
// from the start as they are needed. `name` goes into messages.
struct PictureSource {
    VipsImagePtr rgb;
    // Pixels decoded by a reader of ours; they live as long as the picture.
    std::shared_ptr<std::vector<std::uint8_t>> pixels;
    std::shared_ptr<DecodeCheck> check;  // of a decoder that streams
    std::string_view format;               // "PNG", for messages
    int orientation = 1;                   // the file's, 1 to 8 as EXIF numbers them
};

// Puts the stored row y of a width x height picture (pixel_bytes a pixel)
// where it lies once the picture is turned upright by `orientation`; the
// upright picture (height x width for 5 to 8) has rows out_step apart.
void place_upright(const std::uint8_t* row, std::int32_t y, std::int32_t width, std::int32_t height,
                   int orientation, int pixel_bytes, std::uint8_t* out, std::ptrdiff_t out_step) noexcept;

// The picture on descriptor `fd` (a regular file or a pipe), its format
// decided from its bytes and handed to that format's decoder alone, its
// declared size checked before any pixel is decoded. Raises Error (reading
// `name`): out of memory (7: more than max_pixels pixels), invalid picture
// (481: empty, of no format read here, or its head corrupt), 75 when the
// bytes cannot be read. Pixels that prove truncated or corrupt later show
// in `check`.
PictureSource open_picture(int fd, const std::string& name, std::int64_t max_pixels);

// Encodes the picture onto descriptor fd (left open), `out` naming it in
// messages; `check` (may be null) is the decoder's, whose failure names `in`.
// Rows stream from decoder to encoder except for BMP, whose rows go
// bottom-up, and WebP and TIFF, whose encoders take the whole picture.
void write_picture(VipsImage* rgb, PictureFormat format, int quality, int fd, const std::string& out,
                   const DecodeCheck* check, const std::string& in);

// The picture decoded whole: height rows of 3 * width bytes B, G, R, from the top.
struct DecodedPicture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
    const std::uint8_t* row(std::int32_t y) const noexcept {
        return bgr.data() + static_cast<std::size_t>(y) * 3 * width;
    }
};

// Decodes the rows top to bottom, a strip at a time, handing each row of
// R, G, B bytes to `row`. Raises Error (481) for a truncated or corrupt
// picture.
void read_picture_rows(const PictureSource& picture, const std::string& name,
                       const std::function<void(std::int32_t, const std::uint8_t*)>& row);

// Reads a regular file whole, with open_picture's limit and codes; a
// truncated or corrupt picture is invalid (481).
DecodedPicture decode_picture_file(const std::string& path, std::int64_t max_pixels);

// The filter over a streaming picture of R, G, B rows: each strip of rows is
// filtered from the rows around it on one of libvips' threads. Raises
// Error::platform when the step cannot be made.
VipsImagePtr filtered_picture(VipsImage* rgb, PixelFilter filter, DecodeCheck* check);

// Rows of R, G, B bytes, top first, wrapped (not copied) as a picture.
VipsImagePtr picture_of_rows(const std::uint8_t* rgb, std::int32_t width, std::int32_t height);

}  // namespace orvessa::platform
