// How one row of samples as libtiff decodes them becomes 8-bit R, G, B:
// the depth cut or scaled to 8 bits, the photometric reading, alpha laid
// over white.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace orvessa::codecs::tiff {

enum class Colour { gray, inverted_gray, rgb, palette, cmyk };

struct SampleLayout {
    Colour colour = Colour::gray;
    int bits = 8;  // 1 to 16, or 32
    int per_pixel = 1;  // samples of a pixel, colour and extra
    int alpha = -1;  // the alpha sample's place in a pixel; -1: none
    bool premultiplied = false;
    // A palette's colour map: 2^bits entries each of R, G, B as TIFF holds
    // them (16 bits); the caller keeps them alive while constructing.
    std::array<const std::uint16_t*, 3> map{};
};

class SampleConverter {
public:
    SampleConverter(const SampleLayout& layout, std::int32_t width);

    // A row as libtiff decodes it (bits most significant first, wider
    // samples in the host's byte order): every sample of each pixel, or,
    // from a planar file, the one sample `sample`.
    void unpack_pixels(const std::uint8_t* row);
    void unpack_plane(const std::uint8_t* row, int sample);
    // The pixels unpacked so far, as 3 * width bytes.
    void to_rgb(std::uint8_t* rgb) const;

private:
    void unpack(const std::uint8_t* row, std::size_t count, std::uint16_t* out, std::size_t stride);

    SampleLayout layout_;
    std::int32_t width_;
    std::vector<std::uint16_t> samples_;  // per_pixel a pixel; 32-bit ones cut to 16
    std::vector<std::uint8_t> level_;  // a sample in 8 bits
    // Gray and palette pictures: the first sample's R, G and B.
    std::array<std::vector<std::uint8_t>, 3> colours_;
};

}  // namespace orvessa::codecs::tiff
