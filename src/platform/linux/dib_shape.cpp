#include "platform/linux/dib_shape.hpp"

#include "orvessa/pixel_layout.hpp"
#include "platform/platform.hpp"

namespace orvessa::platform {

std::optional<DibShape> dib_shape(const BitmapInfo& info, std::uint32_t usage) noexcept {
    const BitmapInfoHeader& h = info.header;
    if (usage != dib_rgb_colors || h.size < 40 || h.planes != 1 || h.bit_count != 24 ||
        h.compression != 0 || h.width <= 0 || h.height == 0) {
        return std::nullopt;
    }
    const std::int64_t width = h.width;
    const std::int64_t height = h.height;
    return DibShape{width, height < 0 ? -height : height, height < 0, row_stride(width)};
}

}  // namespace orvessa::platform
