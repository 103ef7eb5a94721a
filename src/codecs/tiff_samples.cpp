#include "codecs/tiff_samples.hpp"

#include <algorithm>
#include <cstring>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs::tiff {
namespace {

// 32-bit samples are kept as their high 16 bits, so tables stay small.
int kept_bits(int bits) noexcept { return bits == 32 ? 16 : bits; }

// Fewer than 8 bits scale to 0-255 (1 bit: 0/255, 2: *85, 4: *17); more
// keep their high byte.
std::vector<std::uint8_t> levels(int bits) {
    const std::uint32_t top = (std::uint32_t{1} << bits) - 1;
    std::vector<std::uint8_t> table(std::size_t{top} + 1);
    for (std::uint32_t v = 0; v <= top; ++v)
        table[v] = static_cast<std::uint8_t>(bits >= 8 ? v >> (bits - 8) : (v * 255 + top / 2) / top);
    return table;
}

// Some writers store a palette's colours in 8 bits, not 16; a map without
// an entry above 255 is read as one of those (as libtiff's RGBA reader
// does), since a 16-bit map of the darkest 1/256 of each colour is absurd.
bool eight_bit_map(const std::array<const std::uint16_t*, 3>& map, std::size_t entries) {
    for (const std::uint16_t* colour : map)
        if (std::any_of(colour, colour + entries, [](std::uint16_t v) { return v > 255; })) return false;
    return true;
}

std::uint8_t lay_over_white(std::uint8_t value, std::uint8_t alpha, bool premultiplied) noexcept {
    // A premultiplied value is already value * alpha: white adds 255 - alpha.
    if (premultiplied) return static_cast<std::uint8_t>(std::min(255, value + 255 - alpha));
    return over_white(value, alpha);
}

}  // namespace

SampleConverter::SampleConverter(const SampleLayout& layout, std::int32_t width)
    : layout_(layout), width_(width), samples_(static_cast<std::size_t>(width) * layout.per_pixel),
      level_(levels(kept_bits(layout.bits))) {
    layout_.map = {};
    if (layout.colour == Colour::palette) {
        const std::size_t entries = level_.size();
        const bool narrow = eight_bit_map(layout.map, entries);
        for (int c = 0; c < 3; ++c) {
            colours_[c].resize(entries);
            for (std::size_t i = 0; i < entries; ++i)
                colours_[c][i] = static_cast<std::uint8_t>(narrow ? layout.map[c][i] : layout.map[c][i] >> 8);
        }
    } else if (layout.colour == Colour::gray || layout.colour == Colour::inverted_gray) {
        std::vector<std::uint8_t> gray = level_;
        if (layout.colour == Colour::inverted_gray)
            for (auto& v : gray) v = static_cast<std::uint8_t>(255 - v);
        colours_ = {gray, gray, gray};
    }
}

void SampleConverter::unpack_pixels(const std::uint8_t* row) { unpack(row, samples_.size(), samples_.data(), 1); }

void SampleConverter::unpack_plane(const std::uint8_t* row, int sample) {
    unpack(row, static_cast<std::size_t>(width_), samples_.data() + sample, layout_.per_pixel);
}

void SampleConverter::unpack(const std::uint8_t* row, std::size_t count, std::uint16_t* out, std::size_t stride) {
    const int bits = layout_.bits;
    if (bits == 8) {
        for (std::size_t i = 0; i < count; ++i) out[i * stride] = row[i];
    } else if (bits == 16) {
        for (std::size_t i = 0; i < count; ++i) std::memcpy(&out[i * stride], row + 2 * i, 2);
    } else if (bits == 32) {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t v;
            std::memcpy(&v, row + 4 * i, 4);
            out[i * stride] = static_cast<std::uint16_t>(v >> 16);
        }
    } else {
        // Packed samples run on across byte boundaries, first bit highest.
        std::size_t bit = 0;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t v = 0;
            for (int n = 0; n < bits; ++n, ++bit) v = v << 1 | (row[bit >> 3] >> (7 - (bit & 7)) & 1);
            out[i * stride] = static_cast<std::uint16_t>(v);
        }
    }
}

void SampleConverter::to_rgb(std::uint8_t* rgb) const {
    const int per_pixel = layout_.per_pixel;
    for (std::int32_t x = 0; x < width_; ++x, rgb += 3) {
        const std::uint16_t* s = &samples_[static_cast<std::size_t>(x) * per_pixel];
        switch (layout_.colour) {
            case Colour::rgb:
                for (int c = 0; c < 3; ++c) rgb[c] = level_[s[c]];
                break;
            case Colour::cmyk: {
                const int white = 255 - level_[s[3]];
                for (int c = 0; c < 3; ++c)
                    rgb[c] = static_cast<std::uint8_t>(((255 - level_[s[c]]) * white + 127) / 255);
                break;
            }
            default:
                for (int c = 0; c < 3; ++c) rgb[c] = colours_[c][s[0]];
        }
        if (layout_.alpha >= 0) {
            const std::uint8_t alpha = level_[s[layout_.alpha]];
            for (int c = 0; c < 3; ++c) rgb[c] = lay_over_white(rgb[c], alpha, layout_.premultiplied);
        }
    }
}

}  // namespace orvessa::codecs::tiff
