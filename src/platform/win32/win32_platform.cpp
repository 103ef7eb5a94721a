// The GDI calls, handed through as they stand. A device context that
// arrives as a 32-bit value becomes the handle by sign extension.
#include "platform/win32/win32_platform.hpp"

#include <windows.h>

namespace orvessa {

Platform& default_platform() {
    static win32::Win32Platform platform;
    return platform;
}

namespace win32 {

namespace {
HDC as_dc(std::int32_t value) noexcept {
    return reinterpret_cast<HDC>(static_cast<std::intptr_t>(value));
}
BITMAPINFO* as_info(BitmapInfo& info) noexcept { return reinterpret_cast<BITMAPINFO*>(&info); }
const BITMAPINFO* as_info(const BitmapInfo& info) noexcept {
    return reinterpret_cast<const BITMAPINFO*>(&info);
}
}  // namespace

std::unique_ptr<LoadedPicture> Win32Platform::load_picture(const std::u16string& file_name) {
    return load_ole_picture(file_name);
}

ConversionForm& Win32Platform::conversion_form() { return thread_conversion_form(); }

DeviceContext Win32Platform::create_compatible_dc() {
    return reinterpret_cast<DeviceContext>(CreateCompatibleDC(nullptr));
}

int Win32Platform::get_dibits(DeviceContext dc, std::int32_t bitmap, std::uint32_t start_scan,
                              std::uint32_t scan_lines, void* bits, BitmapInfo& info,
                              std::uint32_t usage) {
    const auto handle = reinterpret_cast<HBITMAP>(static_cast<std::intptr_t>(bitmap));
    return GetDIBits(reinterpret_cast<HDC>(dc), handle, start_scan, scan_lines, bits, as_info(info),
                     usage);
}

int Win32Platform::delete_dc(DeviceContext dc) { return DeleteDC(reinterpret_cast<HDC>(dc)); }

int Win32Platform::set_stretch_blt_mode(std::int32_t hdc, int mode) {
    return SetStretchBltMode(as_dc(hdc), mode);
}

int Win32Platform::stretch_dibits(std::int32_t hdc, int dest_x, int dest_y, int dest_width,
                                  int dest_height, int src_x, int src_y, int src_width,
                                  int src_height, const void* bits, const BitmapInfo& info,
                                  std::uint32_t usage, std::uint32_t rop) {
    return StretchDIBits(as_dc(hdc), dest_x, dest_y, dest_width, dest_height, src_x, src_y,
                         src_width, src_height, bits, as_info(info), usage, rop);
}

}  // namespace win32
}  // namespace orvessa
