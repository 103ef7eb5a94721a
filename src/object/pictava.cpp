#include "orvessa/pictava.hpp"

#include "orvessa/filter_pixels.hpp"

namespace orvessa {

void Pictava::Blur_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                          const FilterOptions& Options) {
    filter_buffer(PixelFilter::blur, Buffer, DimX, DimY, Options);
}

void Pictava::MedianCut_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                               const FilterOptions& Options) {
    filter_buffer(PixelFilter::median_cut, Buffer, DimX, DimY, Options);
}

}  // namespace orvessa
