// Reads uncompressed 8- and 24-bit BMP files by hand, so that tests check the
// platform's and the CLI's pictures against bytes they did not produce.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orvessa/pixel_layout.hpp"

namespace orvessa::test {

struct Bgr {
    std::uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};

struct BmpPicture {
    int width = 0, height = 0;
    std::vector<Bgr> pixels;  // rows top-down
    Bgr at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Path: std::string, or under Windows std::wstring.
template <class Path>
std::vector<std::uint8_t> file_bytes(const Path& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Empty picture when the file is not an uncompressed bottom-up 8/24-bit BMP.
template <class Path>
BmpPicture read_bmp(const Path& path) {
    const std::vector<std::uint8_t> f = file_bytes(path);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &f[at], 4);
        return v;
    };
    auto u16 = [&](std::size_t at) { return static_cast<unsigned>(f[at] | f[at + 1] << 8); };
    BmpPicture pic;
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return pic;
    const std::uint32_t offset = u32(10), header = u32(14), bits = u16(28), compression = u32(30);
    const auto width = static_cast<std::int32_t>(u32(18)), height = static_cast<std::int32_t>(u32(22));
    if (compression != 0 || height <= 0 || width <= 0 || (bits != 8 && bits != 24)) return pic;
    const std::size_t stride = ((width * bits + 31) / 32) * 4;  // 8 or 24 bits per pixel
    if (f.size() < offset + stride * height) return pic;
    pic.width = width;
    pic.height = height;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = &f[offset + stride * (height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                pic.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
            } else {
                const std::uint8_t* entry = &f[14 + header + 4 * row[x]];
                pic.pixels.push_back({entry[0], entry[1], entry[2]});
            }
        }
    }
    return pic;
}

// A picture's pixels in the 24-bit bottom-up buffer layout, pads zero.
inline std::vector<std::uint8_t> buffer_of(const BmpPicture& pic) {
    const auto stride = static_cast<std::size_t>(row_stride(pic.width));
    std::vector<std::uint8_t> buffer(stride * static_cast<std::size_t>(pic.height), 0);
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const Bgr p = pic.at(x, y);
            std::uint8_t* b = &buffer[static_cast<std::size_t>(pic.height - 1 - y) * stride + 3 * x];
            b[0] = p.b, b[1] = p.g, b[2] = p.r;
        }
    }
    return buffer;
}

// The gray / two-colour value of a pixel, written out from the rule itself.
inline std::uint8_t expected_value(Bgr p, bool two_color, int threshold) {
    const int sum = p.b + p.g + p.r;
    const int level = sum / 3 + (sum % 3 == 2 ? 1 : 0);  // nearest integer to sum / 3
    return two_color ? (level > threshold ? 255 : 0) : static_cast<std::uint8_t>(128 + level / 2);
}

}  // namespace orvessa::test
