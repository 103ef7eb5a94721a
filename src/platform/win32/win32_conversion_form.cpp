// frmPictava: converts HIMETRIC lengths to display pixels at the screen's
// logical resolution per axis. It needs no window: the resolution is read
// once, when the thread's form is created.
#include <windows.h>

#include <new>

#include "orvessa/error.hpp"
#include "platform/win32/win32_platform.hpp"

namespace orvessa::win32 {

namespace {

class ScreenConversionForm final : public ConversionForm {
public:
    ScreenConversionForm(int dpi_x, int dpi_y) noexcept : dpi_x_(dpi_x), dpi_y_(dpi_y) {}
    float scale_x(float himetric) override { return himetric_to_pixels(himetric, dpi_x_); }
    float scale_y(float himetric) override { return himetric_to_pixels(himetric, dpi_y_); }

private:
    int dpi_x_;
    int dpi_y_;
};

// The form lives in the thread's own storage and owns no resource, so it is
// never destroyed; the storage goes with the thread.
struct FormSlot {
    alignas(ScreenConversionForm) unsigned char bytes[sizeof(ScreenConversionForm)];
    ScreenConversionForm* form;
};
thread_local FormSlot slot{};
LONG forms_created = 0;

class ScreenDc {
public:
    ScreenDc() noexcept : dc_(GetDC(nullptr)) {}
    ~ScreenDc() { if (dc_ != nullptr) ReleaseDC(nullptr, dc_); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

}  // namespace

ConversionForm& thread_conversion_form() {
    if (slot.form == nullptr) {
        const ScreenDc screen;
        if (screen.get() == nullptr) {
            throw Error::platform(static_cast<std::int32_t>(E_FAIL), "The display cannot be reached");
        }
        const int dpi_x = GetDeviceCaps(screen.get(), LOGPIXELSX);
        const int dpi_y = GetDeviceCaps(screen.get(), LOGPIXELSY);
        slot.form = new (slot.bytes) ScreenConversionForm(dpi_x, dpi_y);
        InterlockedIncrement(&forms_created);
    }
    return *slot.form;
}

long conversion_forms_created() noexcept { return InterlockedCompareExchange(&forms_created, 0, 0); }

}  // namespace orvessa::win32
