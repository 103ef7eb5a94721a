// The portable platform's picture files: read into and written from the
// 24-bit bottom-up pixel buffer layout.
#include <cstring>
#include <new>

#include "orvessa/arith.hpp"
#include "orvessa/error.hpp"
#include "orvessa/linux_platform.hpp"
#include "orvessa/pictures.hpp"
#include "orvessa/pixel_layout.hpp"
#include "platform/linux/picture_formats.hpp"
#include "platform/linux/vips_pictures.hpp"

namespace orvessa {

namespace {

void check_image(const Image& image) {
    if (image.width <= 0 || image.height <= 0) {
        throw Error::of(ErrorNumber::file_access, "an empty picture cannot be saved");
    }
    const PixelLayout layout(image.width, image.height);
    if (image.pixels.size() < static_cast<std::size_t>(layout.stride) * image.height) {
        throw Error::subscript_out_of_range();
    }
}

}  // namespace

Image read_picture_file(const std::string& path) {
    const platform::DecodedPicture decoded = platform::decode_picture_file(path, max_picture_pixels);
    Image image;
    image.width = decoded.width;
    image.height = decoded.height;
    const PixelLayout layout(image.width, image.height);
    try {
        image.pixels.assign(static_cast<std::size_t>(checked_mul(layout.stride, image.height)), 0);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::memcpy(&image.pixels[layout.row_start(y)], decoded.row(y), static_cast<std::size_t>(image.width) * 3);
    }
    return image;
}

bool has_bmp_suffix(const std::string& path) noexcept {
    const auto extension = file_extension(path);
    return extension && picture_format_named(*extension) == PictureFormat::bmp;
}

void write_picture_file(const std::string& path, const Image& image) {
    check_image(image);
    PictureSettings settings;
    settings.format = has_bmp_suffix(path) ? PictureFormat::bmp : PictureFormat::png;
    settings.existing = ExistingOutput::replace;
    write_picture(path, PictureStream::of_image(image), settings);
}

std::vector<std::uint8_t> encode_picture(const Image& image, bool bmp) {
    check_image(image);
    const PixelLayout layout(image.width, image.height);
    if (bmp) {
        const auto head = platform::bmp_head(image.width, image.height);
        std::vector<std::uint8_t> bytes(head.begin(), head.end());
        bytes.insert(bytes.end(), image.pixels.begin(),
                     image.pixels.begin() + static_cast<std::ptrdiff_t>(layout.stride) * image.height);
        return bytes;
    }
    const std::vector<std::uint8_t> rgb = platform::rgb_rows(image);
    const platform::VipsImagePtr picture = platform::picture_of_rows(rgb.data(), image.width, image.height);
    void* buffer = nullptr;
    std::size_t size = 0;
    if (vips_pngsave_buffer(picture.get(), &buffer, &size, "compression", platform::png_compression, "filter",
                            platform::png_filter, nullptr) != 0) {
        throw Error::of(ErrorNumber::file_access, "the picture cannot be encoded: " + platform::vips_failure());
    }
    const std::unique_ptr<void, decltype(&g_free)> owned(buffer, g_free);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    return {bytes, bytes + size};
}

}  // namespace orvessa
