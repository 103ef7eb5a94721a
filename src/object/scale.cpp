// ScaleX and ScaleY: a HIMETRIC length through the thread's conversion
// form, then to the nearest 16-bit integer (ties to even).
#include "orvessa/float_env.hpp"
#include "orvessa/arith.hpp"
#include "orvessa/pictava.hpp"
#include "platform/platform.hpp"

namespace orvessa {

namespace {
constexpr std::int32_t e_notimpl = static_cast<std::int32_t>(0x80004001u);
}

Platform& Pictava::platform() const {
    if (platform_ == nullptr) throw Error::platform(e_notimpl, "No platform services in this build");
    return *platform_;
}

std::int16_t Pictava::ScaleX(float Width) {
    const NearestRoundingScope nearest;
    ConversionForm& form = platform().conversion_form();
    return round_to_int16(form.scale_x(Width));
}

std::int16_t Pictava::ScaleY(float Height) {
    const NearestRoundingScope nearest;
    ConversionForm& form = platform().conversion_form();
    return round_to_int16(form.scale_y(Height));
}

}  // namespace orvessa
