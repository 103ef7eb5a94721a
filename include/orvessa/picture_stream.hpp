// Picture files that stream: rows flow from the decoder through a filter to
// the encoder a strip at a time, so that neither a large photo nor its
// result is held whole unless a codec needs it. Part of the portable
// platform library; the codecs stay behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "orvessa/filter_pixels.hpp"

namespace orvessa {

struct Image;

enum class PictureFormat { png, jpeg, bmp, webp, tiff };

// What happens to an output that exists as a regular file.
enum class ExistingOutput { refuse, replace };

constexpr int default_picture_quality = 85;
// The pixels a picture read for filtering may have unless its reader says
// otherwise (the tool's --max-pixels): 2^28, a 16384 x 16384 picture.
constexpr std::int64_t default_stream_pixels = std::int64_t{1} << 28;
// The formats pictures are written in, as the names below take them:
// "png, jpeg (jpg), ...".
std::string written_picture_formats();

// "png", "jpeg" or "jpg", "bmp", "webp", "tiff" or "tif", any case.
std::optional<PictureFormat> picture_format_named(std::string_view name) noexcept;
// The extension a file of the format is given: "png", "jpg", "bmp", "webp", "tif".
std::string_view picture_format_extension(PictureFormat format) noexcept;
// The extension after the last dot of the file's name, if it has one.
std::optional<std::string_view> file_extension(std::string_view path) noexcept;
// JPEG and WebP have a quality (1 to 100).
bool has_quality(PictureFormat format) noexcept;

// Threads that decode, filter and encode the strips of a stream (at least 1).
void set_picture_threads(std::int32_t threads);

// A picture read as it is needed. Copies share the one decoder.
class PictureStream {
public:
    // A regular file, or the bytes of descriptor `fd` (standard input);
    // `name` goes into messages. The format is decided from the bytes and
    // only its decoder reads them; the declared size is checked against
    // max_pixels before any pixel is decoded. Raises Error: file not found
    // (53), path/file access error (75), out of memory (7: beyond the
    // limit), invalid picture (481: empty, of no format read here, corrupt).
    static PictureStream open_file(const std::string& path, std::int64_t max_pixels);
    static PictureStream open_descriptor(int fd, const std::string& name, std::int64_t max_pixels);
    // Rows of R, G, B bytes, top first, one after the other: wrapped, not
    // copied, so they must outlive the stream.
    static PictureStream of_rows(const std::uint8_t* rgb, std::int32_t width, std::int32_t height);
    // A picture in the pixel buffer layout, its rows copied.
    static PictureStream of_image(const Image& image);

    std::int32_t width() const noexcept;
    std::int32_t height() const noexcept;

    // The picture with the filter applied as the buffer filters apply it.
    PictureStream filtered(PixelFilter filter) const;
    // Decodes, filters and encodes onto descriptor fd (left open), which
    // messages call `out`. Rows stream but for BMP (rows bottom-up), WebP
    // and TIFF, whose encoders take the whole picture. Raises Error: a
    // picture that proves truncated or corrupt (481, naming the input), a
    // failed write (75, naming `out`, with the system's reason).
    void write(int fd, PictureFormat format, int quality, const std::string& out) const;
    // The rows decoded into `rgb` (height rows of 3 * width bytes, row_step
    // apart). Raises as write does.
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const;
    // The file's orientation, 1 to 8 as EXIF numbers them (1: stored upright).
    int orientation() const noexcept;
    // read_rows with the picture turned upright by its orientation, as
    // viewers show it: height() rows of width() pixels become width() rows
    // of height() pixels for orientations 5 to 8.
    void read_upright_rows(std::uint8_t* rgb, std::ptrdiff_t row_step) const;

private:
    struct State;
    explicit PictureStream(std::shared_ptr<State> state) noexcept : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace orvessa
