#include "rgba_pixels.hpp"

#include <cstddef>
#include <memory>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

namespace orvessa::web {

namespace {

#ifdef __wasm_simd128__
// 16 pixels at a time: four vectors of R G B A into three of R G B, and back.
constexpr std::int32_t block = 16;

void gather_block(const std::uint8_t* rgba, std::uint8_t* rgb) noexcept {
    const v128_t a = wasm_v128_load(rgba), b = wasm_v128_load(rgba + 16),
                 c = wasm_v128_load(rgba + 32), d = wasm_v128_load(rgba + 48);
    wasm_v128_store(rgb, wasm_i8x16_shuffle(a, b, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20));
    wasm_v128_store(rgb + 16, wasm_i8x16_shuffle(b, c, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25));
    wasm_v128_store(rgb + 32, wasm_i8x16_shuffle(c, d, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25, 26, 28, 29, 30));
}

void scatter_block(const std::uint8_t* rgb, std::uint8_t* rgba) noexcept {
    const v128_t x = wasm_v128_load(rgb), y = wasm_v128_load(rgb + 16), z = wasm_v128_load(rgb + 32);
    const v128_t colour = wasm_i32x4_splat(0x00FFFFFF);
    const v128_t pixels[4] = {
        wasm_i8x16_shuffle(x, y, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0),
        wasm_i8x16_shuffle(x, y, 12, 13, 14, 0, 15, 16, 17, 0, 18, 19, 20, 0, 21, 22, 23, 0),
        wasm_i8x16_shuffle(y, z, 8, 9, 10, 0, 11, 12, 13, 0, 14, 15, 16, 0, 17, 18, 19, 0),
        wasm_i8x16_shuffle(z, z, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0, 13, 14, 15, 0)};
    for (int k = 0; k < 4; ++k) {
        std::uint8_t* at = rgba + 16 * k;
        wasm_v128_store(at, wasm_v128_bitselect(pixels[k], wasm_v128_load(at), colour));
    }
}
#else
constexpr std::int32_t block = 0;
void gather_block(const std::uint8_t*, std::uint8_t*) noexcept {}
void scatter_block(const std::uint8_t*, std::uint8_t*) noexcept {}
#endif

// The colour bytes of one row, from R G B A to R G B (`to_rgb`) or back.
template <bool to_rgb>
void move_row(std::uint8_t* rgba, std::uint8_t* rgb, std::int32_t width) noexcept {
    std::int32_t c = 0;
    for (; block > 0 && c + block <= width; c += block, rgba += 4 * block, rgb += 3 * block) {
        if constexpr (to_rgb) {
            gather_block(rgba, rgb);
        } else {
            scatter_block(rgb, rgba);
        }
    }
    for (; c < width; ++c, rgba += 4, rgb += 3) {
        for (int k = 0; k < 3; ++k) {
            if constexpr (to_rgb) {
                rgb[k] = rgba[k];
            } else {
                rgba[k] = rgb[k];
            }
        }
    }
}

}  // namespace

void filter_rgba(PixelFilter filter, std::uint8_t* data, std::int32_t width, std::int32_t height,
                 std::int32_t stride) {
    const FilterBorder& border = filter_row(filter).border;
    if (!border.changes_any(width, height)) return;
    const std::ptrdiff_t rgb_stride = std::ptrdiff_t{3} * width;
    const std::unique_ptr<std::uint8_t[]> rgb(new std::uint8_t[rgb_stride * height]);
    for (std::int32_t r = 0; r < height; ++r) {
        move_row<true>(data + std::ptrdiff_t{r} * stride, rgb.get() + r * rgb_stride, width);
    }
    filter_pixels(filter, PixelRows{rgb.get(), rgb_stride}, width, height);
    // Only the rows the filter changes go back.
    for (std::int32_t r = border.first_row(); r <= border.last_row(height); ++r) {
        move_row<false>(data + std::ptrdiff_t{r} * stride, rgb.get() + r * rgb_stride, width);
    }
}

}  // namespace orvessa::web
