// The portable platform's picture files: read into and written from the
// 24-bit bottom-up pixel buffer layout.
#include <cstring>
#include <memory>
#include <new>

#include "orvessa/arith.hpp"
#include "orvessa/error.hpp"
#include "orvessa/linux_platform.hpp"
#include "orvessa/picture_stream.hpp"
#include "orvessa/pixel_layout.hpp"
#include "codecs/bmp_codec.hpp"
#include "codecs/png_codec.hpp"
#include "platform/linux/output_file.hpp"
#include "platform/linux/picture_reading.hpp"

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
    const platform::BgrImage decoded = platform::decode_picture_file(path, max_picture_pixels);
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
    platform::OutputFile file(path, ExistingOutput::replace);
    const PictureFormat format = has_bmp_suffix(path) ? PictureFormat::bmp : PictureFormat::png;
    PictureStream::of_image(image).write(file.fd(), format, default_picture_quality, file.name());
    file.commit();
}

std::vector<std::uint8_t> encode_picture(const Image& image, bool bmp) {
    check_image(image);
    codecs::MemorySink bytes;
    try {
        codecs::PictureInfo info;
        info.width = image.width;
        info.height = image.height;
        const std::unique_ptr<codecs::PictureWriter> writer = bmp ? codecs::bmp_writer(bytes, info)
                                                                  : codecs::png_writer(bytes, info);
        const PixelLayout layout(image.width, image.height);
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * 3);
        for (std::int32_t y = 0; y < image.height; ++y) {
            const std::uint8_t* in = &image.pixels[layout.row_start(y)];
            for (std::size_t i = 0; i < rgb.size(); i += 3) {
                rgb[i] = in[i + 2];
                rgb[i + 1] = in[i + 1];
                rgb[i + 2] = in[i];
            }
            writer->write_rows(rgb.data(), 0, 1);
        }
        writer->finish();
    } catch (const codecs::CannotWrite& e) {
        throw Error::of(ErrorNumber::file_access, std::string("the picture cannot be encoded: ") + e.what());
    }
    return std::move(bytes.bytes());
}

}  // namespace orvessa
