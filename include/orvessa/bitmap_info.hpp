// The bitmap information record each Pictava object holds: laid out byte for
// byte as the platform's BITMAPINFO with a 256-entry colour table, so the
// Windows build can hand it to GDI as it stands.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvessa {

struct BitmapInfoHeader {
    std::uint32_t size;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t planes;
    std::uint16_t bit_count;
    std::uint32_t compression;
    std::uint32_t size_image;
    std::int32_t x_pels_per_meter;
    std::int32_t y_pels_per_meter;
    std::uint32_t colors_used;
    std::uint32_t colors_important;
};

struct ColorTableEntry {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    std::uint8_t reserved;
};

struct BitmapInfo {
    BitmapInfoHeader header;
    ColorTableEntry colors[256];
};

static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(offsetof(BitmapInfoHeader, planes) == 12);
static_assert(offsetof(BitmapInfoHeader, compression) == 16);
static_assert(offsetof(BitmapInfoHeader, colors_important) == 36);
static_assert(sizeof(BitmapInfo) == 1064);

// All zero, then header size 40, one plane, 24 bits per pixel, BI_RGB.
constexpr BitmapInfo creation_bitmap_info() noexcept {
    BitmapInfo info{};
    info.header.size = 40;
    info.header.planes = 1;
    info.header.bit_count = 24;
    info.header.compression = 0;
    return info;
}

}  // namespace orvessa
