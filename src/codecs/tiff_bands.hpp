// A TIFF picture's rows decoded a band at a time: a scanline, a strip or a
// row of tiles, as the file is laid out, so that only that much is held.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/tiff_client.hpp"
#include "codecs/tiff_samples.hpp"

namespace orvessa::codecs::tiff {

class Bands {
public:
    virtual ~Bands() = default;
    // Rows of a band; the last band is cut at the picture's bottom.
    std::int32_t rows() const noexcept { return rows_; }
    // Decodes the band from row `first` (a multiple of rows()), `count`
    // rows of it; BadPicture where libtiff fails or warns.
    virtual void load(std::int32_t first, std::int32_t count) = 0;
    // Row `first + index` of the band loaded, as 3 * width bytes R, G, B.
    virtual void row(std::int32_t index, std::uint8_t* rgb) = 0;

protected:
    std::int32_t rows_ = 1;
};

// Samples decoded by libtiff and read by `layout`; per_pixel counts the
// planes to read in a planar file. `context` must outlive the bands.
std::unique_ptr<Bands> sample_bands(TIFF* tif, Context& context, const SampleLayout& layout);

// Whatever libtiff's RGBA reader takes (YCbCr without JPEG, CIE L*a*b*,
// LogLuv, old-style JPEG...), in the stored row order.
std::unique_ptr<Bands> rgba_bands(TIFF* tif, Context& context);

}  // namespace orvessa::codecs::tiff
