// Test-side drawing surfaces and pictures for the ColorToBN tests under
// Wine: a 32-bit DIB section selected into a memory DC that the test owns,
// and the pixels of a picture file read without the server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_reader.hpp"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::test {

using Rgb = Bgr;
using Pixels = BmpPicture;

// A top-down 32-bit surface filled with one sentinel colour.
class Canvas {
public:
    static constexpr Rgb sentinel{0x5A, 0x21, 0xC3};
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const noexcept { return dc_.get(); }
    LONG dc_value() const noexcept { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(dc_.get())); }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    Rgb at(int x, int y) const;
    bool untouched() const;

private:
    int width_, height_;
    win32::UniqueDc dc_;
    win32::UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;
    std::uint8_t* bits_ = nullptr;
};

// An uncompressed 8- or 24-bit BMP file, parsed by the tests' own reader.
inline Pixels read_bmp_file(const std::wstring& path) { return read_bmp(path); }
// Any picture the OLE loader reads, by the test's own GDI read.
Pixels read_ole_picture(const std::wstring& path);
// The picture's size as the OLE loader reports it, in HIMETRIC units.
SIZE himetric_size(const std::wstring& path);

// The gray / two-colour value of a pixel (bmp_reader.hpp).
inline std::uint8_t converted(const Rgb& p, bool two_color, int threshold) {
    return expected_value(p, two_color, threshold);
}

// Wine allocates GDI and kernel handles from the lowest free slot, so the
// value of a fresh handle rises only when handles are left behind.
unsigned gdi_handle_mark();
unsigned kernel_handle_mark();

}  // namespace orvessa::test
