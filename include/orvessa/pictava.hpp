// The portable core of the automation class Pictava. Method names and
// parameter types are those of its interface; the COM layer calls straight
// into these. Methods raise orvessa::Error; ColorToBN handles its own.
//
// Where each method lives: Blur_Buffer and MedianCut_Buffer in
// src/object/pictava.cpp (the filters in src/filters/), ScaleX and ScaleY in
// src/object/scale.cpp, ColorToBN in src/convert/color_to_bn.cpp, FitToBox in
// src/convert/fit_to_box.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "orvessa/bitmap_info.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/filter_options.hpp"

namespace orvessa {

class Platform;

// ColorToBN's Threshold when the caller gives none.
inline constexpr std::uint8_t default_threshold = 128;

// A by-reference argument of ColorToBN, read only at the step that uses it.
// The COM layer hands over the caller's pointer (null: omitted, so the
// default stands); a caller may pass a pointer it knows will not be read,
// such as Width and Height while HoldProportion is false. Built from a plain
// value, it holds that value.
template <typename T>
class ByRefArgument {
public:
    ByRefArgument(T value) noexcept : value_(value) {}  // NOLINT: implicit by design
    static ByRefArgument at(const T* pointer, T omitted) noexcept {
        ByRefArgument argument(omitted);
        argument.pointer_ = pointer;
        return argument;
    }
    T read() const noexcept { return pointer_ != nullptr ? *pointer_ : value_; }

private:
    const T* pointer_ = nullptr;
    T value_;
};

class Pictava {
public:
    // Over the platform services of the build (picture loading, GDI-style
    // pixel read and paint, the per-thread conversion form).
    Pictava();
    // Without platform services (null) the filters work; the methods that
    // need the platform raise its failure.
    explicit Pictava(Platform* platform) noexcept : platform_(platform) {}

    const BitmapInfo& bitmap_info() const noexcept { return info_; }

    // HIMETRIC length to whole display pixels.
    std::int16_t ScaleX(float Width);
    std::int16_t ScaleY(float Height);

    // In-place 3 x 3 filters over a 24-bit bottom-up pixel buffer. The COM
    // layer passes no options: one thread.
    void Blur_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                     const FilterOptions& Options = {});
    void MedianCut_Buffer(ByteArrayView& Buffer, std::int32_t DimX, std::int32_t DimY,
                          const FilterOptions& Options = {});

    // Loads a picture, turns it gray or two-colour and paints it on the
    // device context named by PictureHDC. Raises nothing: the result is
    // true when the picture was painted, false when the work ended on an error.
    // TwoColor is read when the first pixel is converted, Threshold then only
    // in two-colour mode, HoldProportion at the paint, and Width and Height
    // only when HoldProportion is true.
    bool ColorToBN(const std::u16string& FileName, std::int32_t PictureHDC,
                   std::int32_t ImageHandle, ByRefArgument<std::int16_t> TwoColor = std::int16_t{0},
                   ByRefArgument<std::uint8_t> Threshold = default_threshold,
                   ByRefArgument<std::int16_t> HoldProportion = std::int16_t{0},
                   ByRefArgument<std::int32_t> Width = 0,
                   ByRefArgument<std::int32_t> Height = 0) noexcept;

private:
    Platform& platform() const;

    // The fitted, centred rectangle of a picture inside a box, for
    // ColorToBN's HoldProportion. Reads and changes no state.
    void FitToBox(std::int32_t BoxWidth, std::int32_t BoxHeight, std::int32_t PictureWidth,
                  std::int32_t PictureHeight, std::int32_t& Left, std::int32_t& Top,
                  std::int32_t& Width, std::int32_t& Height) const;

    Platform* platform_;
    BitmapInfo info_ = creation_bitmap_info();
};

}  // namespace orvessa
