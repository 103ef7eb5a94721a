// ColorToBN: load a picture, read its pixels into a private 24-bit buffer,
// turn them gray or two-colour, and paint them on the caller's device
// context, at natural size or fitted into a box. Any error ends the work
// quietly; everything held is released by its owner on the way out.
#include <memory>
#include <new>
#include <vector>

#include "convert/gray_rule.hpp"
#include "orvessa/float_env.hpp"
#include "orvessa/arith.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/pixel_layout.hpp"
#include "platform/platform.hpp"

namespace orvessa {

namespace {

// Indices 0 to last, zero-filled: one byte more than the rows fill. An upper
// bound below the lower one cannot be declared.
std::vector<std::uint8_t> make_pixel_buffer(std::int32_t last) {
    if (last < 0) throw Error::subscript_out_of_range();
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(last) + 1);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
}

}  // namespace

bool Pictava::ColorToBN(const std::u16string& FileName, std::int32_t PictureHDC,
                        std::int32_t /*ImageHandle: accepted, never read*/,
                        ByRefArgument<std::int16_t> TwoColor, ByRefArgument<std::uint8_t> Threshold,
                        ByRefArgument<std::int16_t> HoldProportion, ByRefArgument<std::int32_t> Width,
                        ByRefArgument<std::int32_t> Height) noexcept {
    try {
        const NearestRoundingScope nearest;
        Platform& services = platform();
        // Destroyed in reverse order: the buffer, then the picture, then the name.
        const std::u16string file_name = FileName;
        const std::unique_ptr<LoadedPicture> picture = services.load_picture(file_name);

        const std::int32_t pixel_width = ScaleX(static_cast<float>(picture->himetric_width()));
        const std::int32_t pixel_height = ScaleY(static_cast<float>(picture->himetric_height()));
        const std::int32_t stride = PixelLayout::stride_for(pixel_width);
        info_.header.width = pixel_width;
        info_.header.height = pixel_height;

        std::vector<std::uint8_t> buffer = make_pixel_buffer(checked_mul(stride, pixel_height));
        ByteArrayView pixels(buffer.data(), static_cast<std::uint32_t>(buffer.size()), 0);
        {
            const MemoryDc memory_dc(services);
            const std::int32_t bitmap = picture->handle();
            // The read's result is not tested: a failed read leaves the buffer zero.
            services.get_dibits(memory_dc.get(), bitmap, 0, static_cast<std::uint32_t>(pixel_height),
                                &pixels.at(0), info_, dib_rgb_colors);
        }

        // The mode arguments are read by the first pixel's conversion, so a
        // picture without pixels reads neither.
        if (pixel_width > 0 && pixel_height > 0) {
            const bool two_color = TwoColor.read() != 0;
            convert::convert_pixels(buffer.data(), pixel_width, pixel_height, stride,
                                    convert::sum_table(two_color, two_color ? Threshold.read() : 0));
        }

        services.set_stretch_blt_mode(PictureHDC, stretch_mode_color_on_color);
        std::int32_t left = 0, top = 0, width = pixel_width, height = pixel_height;
        if (HoldProportion.read() != 0) {
            FitToBox(Width.read(), Height.read(), pixel_width, pixel_height, left, top, width, height);
        }
        services.stretch_dibits(PictureHDC, left, top, width, height, 0, 0, pixel_width,
                                pixel_height, &pixels.at(0), info_, dib_rgb_colors,
                                rop_source_copy);
        return true;
    } catch (...) {
        // Nothing reaches the caller; what was done before stays done.
        return false;
    }
}

}  // namespace orvessa
