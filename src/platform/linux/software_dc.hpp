// The portable platform's device contexts: a memory context for the pixel
// read (no surface) or a caller's drawing surface (32-bit, top-down), both
// named by a handle from one table.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "orvessa/bitmap_info.hpp"
#include "platform/linux/handle_table.hpp"

namespace orvessa {

struct SurfaceData {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top-down
    int stretch_mode = 1;               // BLACKONWHITE until set
    bool memory = false;                // made by create_compatible_dc
    std::mutex mutex;
};

namespace platform {

HandleTable<SurfaceData>& device_contexts();

// StretchDIBits onto a surface, every stretch mode sampling the nearest
// source pixel: rows and columns are dropped or repeated, a negative extent
// mirrors, the destination is clipped to the surface and source pixels
// outside the bitmap paint nothing. Only SRCCOPY is supported.
int stretch_dib_onto(SurfaceData& surface, int dest_x, int dest_y, int dest_width,
                     int dest_height, int src_x, int src_y, int src_width, int src_height,
                     const void* bits, const BitmapInfo& info, std::uint32_t usage,
                     std::uint32_t rop);

}  // namespace platform
}  // namespace orvessa
