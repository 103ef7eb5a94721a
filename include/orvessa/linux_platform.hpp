// The portable (Linux) platform services as an embedding program or the CLI
// uses them: the logical resolution of the conversion, in-memory drawing
// surfaces named by a device-context handle, and picture files read into and
// written from the 24-bit bottom-up pixel buffer layout.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvessa/pixel_layout.hpp"

namespace orvessa {

// Pictures and surfaces beyond this many pixels (8192 x 8192) are refused
// rather than decoded or allocated.
constexpr std::int64_t max_picture_pixels = std::int64_t{1} << 26;

// Pixels per inch of each axis for ScaleX and ScaleY (96 and 96 until set).
// Raises std::invalid_argument unless both are positive (checked_dpi).
void set_logical_resolution(std::int32_t x, std::int32_t y);

// A 24-bit picture in the pixel buffer layout: rows bottom-up, each padded to
// a multiple of four bytes, bytes blue, green, red.
struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::int32_t stride() const noexcept { return static_cast<std::int32_t>(row_stride(width)); }
};

// The picture in a file at its own pixel size; transparent pixels are laid
// over white. Raises Error::platform with the loader's reason.
Image read_picture_file(const std::string& path);
// PNG, or BMP when the path ends in ".bmp". Raises Error::platform.
void write_picture_file(const std::string& path, const Image& image);
// The file's bytes that write_picture_file would write: BMP or PNG.
std::vector<std::uint8_t> encode_picture(const Image& image, bool bmp);
bool has_bmp_suffix(const std::string& path) noexcept;
// A UTF-8 file name as ColorToBN's FileName; nothing when it is not UTF-8.
std::optional<std::u16string> utf16_file_name(std::string_view path);

struct SurfaceData;

// A drawing surface in memory, 32 bits per pixel, top-down, that the picture
// methods paint on through its handle (ColorToBN's PictureHDC). The handle
// names the surface until the Surface object ends.
class Surface {
public:
    // Raises std::invalid_argument for a negative size and std::bad_alloc.
    Surface(std::int32_t width, std::int32_t height, std::uint32_t fill_rgb = 0xFFFFFF);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    std::int32_t hdc() const noexcept { return hdc_; }
    std::int32_t width() const noexcept;
    std::int32_t height() const noexcept;
    // Pixel (x, y), y counted from the top, as 0xRRGGBB.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
    // The stretch mode last set on the surface's context (1 until set).
    int stretch_mode() const noexcept;
    Image to_image() const;

private:
    std::shared_ptr<SurfaceData> data_;
    std::int32_t hdc_;
};

}  // namespace orvessa
