#include "platform/web/web_platform.hpp"

#include "orvessa/error.hpp"
#include "platform/platform.hpp"

namespace orvessa {

namespace {

// The module runs on one thread.
std::int32_t resolution = 96;

class ResolutionForm : public ConversionForm {
public:
    float scale_x(float himetric) override { return himetric_to_pixels(himetric, resolution); }
    float scale_y(float himetric) override { return himetric_to_pixels(himetric, resolution); }
};

constexpr std::int32_t e_notimpl = static_cast<std::int32_t>(0x80004001u);

class WebPlatform : public Platform {
public:
    std::unique_ptr<LoadedPicture> load_picture(const std::u16string&) override {
        throw Error::platform(e_notimpl, "No picture files in the WebAssembly build");
    }
    ConversionForm& conversion_form() override { return form_; }
    DeviceContext create_compatible_dc() override { return 0; }
    int get_dibits(DeviceContext, std::int32_t, std::uint32_t, std::uint32_t, void*, BitmapInfo&,
                   std::uint32_t) override {
        return 0;
    }
    int delete_dc(DeviceContext) override { return 0; }
    int set_stretch_blt_mode(std::int32_t, int) override { return 0; }
    int stretch_dibits(std::int32_t, int, int, int, int, int, int, int, int, const void*,
                       const BitmapInfo&, std::uint32_t, std::uint32_t) override {
        return 0;
    }

private:
    ResolutionForm form_;
};

}  // namespace

namespace web {
void set_logical_resolution(std::int32_t per_inch) noexcept { resolution = per_inch; }
}  // namespace web

Platform& default_platform() {
    static WebPlatform platform;
    return platform;
}

}  // namespace orvessa
