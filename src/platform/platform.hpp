// The one seam between the logic and the platform services it calls:
// the picture loader, the GDI-style pixel read and paint, and the per-thread
// conversion form. The logic in object/ and convert/ sees only this; each
// build links one implementation (GDI and OLE on Windows, our codecs and a
// software drawing surface on Linux) and tests swap in fakes.
//
// Failures of the loader, of a picture property and of the conversion form
// are raised as Error::platform with the platform's HRESULT. The GDI-style
// calls raise nothing: they report as GDI does, through their return values,
// which the callers do not test.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "orvessa/bitmap_info.hpp"

namespace orvessa {

// A loaded picture; its three properties are those read by dispatch id
// 0 (graphics handle), 4 (width) and 5 (height, both in HIMETRIC units).
class LoadedPicture {
public:
    virtual ~LoadedPicture() = default;
    virtual std::int32_t handle() = 0;
    virtual std::int32_t himetric_width() = 0;
    virtual std::int32_t himetric_height() = 0;
};

// A HIMETRIC length (1/2540 inch) at per_inch pixels per inch, unrounded.
inline float himetric_to_pixels(float himetric, std::int32_t per_inch) noexcept {
    return static_cast<float>(static_cast<double>(himetric) * per_inch / 2540.0);
}

// The hidden form frmPictava: HIMETRIC to display pixels at the display's
// logical resolution of the axis, as an unrounded float.
class ConversionForm {
public:
    virtual ~ConversionForm() = default;
    virtual float scale_x(float himetric) = 0;
    virtual float scale_y(float himetric) = 0;
};

using DeviceContext = std::intptr_t;  // a memory device context made by the platform

constexpr std::uint32_t dib_rgb_colors = 0;
constexpr int stretch_mode_color_on_color = 3;
constexpr std::uint32_t rop_source_copy = 0x00CC0020;

class Platform {
public:
    virtual ~Platform() = default;

    // LoadPicture(FileName).
    virtual std::unique_ptr<LoadedPicture> load_picture(const std::u16string& file_name) = 0;

    // The calling thread's conversion form: created by the first call on a
    // thread, the same object for every later call on that thread.
    virtual ConversionForm& conversion_form() = 0;

    // CreateCompatibleDC(NULL), GetDIBits, DeleteDC.
    virtual DeviceContext create_compatible_dc() = 0;
    virtual int get_dibits(DeviceContext dc, std::int32_t bitmap, std::uint32_t start_scan,
                           std::uint32_t scan_lines, void* bits, BitmapInfo& info,
                           std::uint32_t usage) = 0;
    virtual int delete_dc(DeviceContext dc) = 0;

    // SetStretchBltMode and StretchDIBits on a caller's device context, named
    // by the 32-bit value the caller passed (the platform widens it).
    virtual int set_stretch_blt_mode(std::int32_t hdc, int mode) = 0;
    virtual int stretch_dibits(std::int32_t hdc, int dest_x, int dest_y, int dest_width,
                               int dest_height, int src_x, int src_y, int src_width,
                               int src_height, const void* bits, const BitmapInfo& info,
                               std::uint32_t usage, std::uint32_t rop) = 0;
};

// The platform services of the build, supplied by the platform library that
// is linked in (Pictava's default; tests build Pictava over fakes).
Platform& default_platform();

// Owns a memory device context from create_compatible_dc and deletes it.
class MemoryDc {
public:
    explicit MemoryDc(Platform& platform) : platform_(platform), dc_(platform.create_compatible_dc()) {}
    ~MemoryDc() { platform_.delete_dc(dc_); }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    DeviceContext get() const noexcept { return dc_; }

private:
    Platform& platform_;
    DeviceContext dc_;
};

}  // namespace orvessa
