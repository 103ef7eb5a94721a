// The Win32 platform services: OLE picture loading, GDI pixel read and
// paint, and the per-thread conversion form (HIMETRIC to display pixels).
#pragma once

#include "platform/platform.hpp"

namespace orvessa::win32 {

class Win32Platform final : public Platform {
public:
    std::unique_ptr<LoadedPicture> load_picture(const std::u16string& file_name) override;
    ConversionForm& conversion_form() override;
    DeviceContext create_compatible_dc() override;
    int get_dibits(DeviceContext dc, std::int32_t bitmap, std::uint32_t start_scan,
                   std::uint32_t scan_lines, void* bits, BitmapInfo& info,
                   std::uint32_t usage) override;
    int delete_dc(DeviceContext dc) override;
    int set_stretch_blt_mode(std::int32_t hdc, int mode) override;
    int stretch_dibits(std::int32_t hdc, int dest_x, int dest_y, int dest_width, int dest_height,
                       int src_x, int src_y, int src_width, int src_height, const void* bits,
                       const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop) override;
};

// The calling thread's form frmPictava, created on first use and kept.
ConversionForm& thread_conversion_form();
// How many forms this process has created so far (one per thread that converted).
long conversion_forms_created() noexcept;

std::unique_ptr<LoadedPicture> load_ole_picture(const std::u16string& file_name);

}  // namespace orvessa::win32
