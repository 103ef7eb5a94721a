#include "orvessa/pictava.hpp"

#include "filters/filters.hpp"

namespace orvessa {

void Pictava::Blur_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                          const FilterOptions& Options) {
    filters::blur_buffer(Buffer, DimX, DimY, Options);
}

void Pictava::MedianCut_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                               const FilterOptions& Options) {
    filters::median_cut_buffer(Buffer, DimX, DimY, Options);
}

}  // namespace orvessa
