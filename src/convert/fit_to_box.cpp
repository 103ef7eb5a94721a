// FitToBox: fill the box along one side, fall back to the other side when the
// first candidate is too big, then centre. Every step is double precision
// with explicit ties-to-even rounding.
#include "convert/fit_to_box.hpp"

#include <cmath>

#include "orvessa/float_env.hpp"
#include "orvessa/arith.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa::convert {

namespace {

// (box_side / picture_side) * other_side, quotient first, then rounded.
// A zero picture side makes an infinity or a NaN, which is the
// floating-point error (division by zero, or 0 / 0 an invalid operation).
std::int32_t scaled_side(std::int32_t box_side, std::int32_t picture_side,
                         std::int32_t other_side) {
    const double quotient = static_cast<double>(box_side) / static_cast<double>(picture_side);
    const double product = quotient * static_cast<double>(other_side);
    if (std::isnan(product)) throw Error::floating_point("invalid operation");
    if (std::isinf(product)) throw Error::floating_point("division by zero");
    return round_to_int32(product);
}

std::int32_t centred(std::int32_t box_side, std::int32_t side) {
    return round_to_int32(static_cast<double>(box_side) / 2.0 - static_cast<double>(side) / 2.0);
}

}  // namespace

void fit_to_box(std::int32_t BoxWidth, std::int32_t BoxHeight, std::int32_t PictureWidth,
                std::int32_t PictureHeight, std::int32_t& Left, std::int32_t& Top,
                std::int32_t& Width, std::int32_t& Height) {
    const NearestRoundingScope nearest;
    if (BoxWidth > BoxHeight) {
        const std::int32_t hw = scaled_side(BoxWidth, PictureWidth, PictureHeight);
        if (hw <= BoxHeight) {
            Width = BoxWidth;
            Height = hw;
        } else {
            Width = scaled_side(BoxHeight, PictureHeight, PictureWidth);
            Height = BoxHeight;
        }
    } else {
        const std::int32_t wh = scaled_side(BoxHeight, PictureHeight, PictureWidth);
        if (wh <= BoxWidth) {
            Width = wh;
            Height = BoxHeight;
        } else {
            Width = BoxWidth;
            Height = scaled_side(BoxWidth, PictureWidth, PictureHeight);
        }
    }
    Left = centred(BoxWidth, Width);
    Top = centred(BoxHeight, Height);
}

}  // namespace orvessa::convert

namespace orvessa {

void Pictava::FitToBox(std::int32_t BoxWidth, std::int32_t BoxHeight, std::int32_t PictureWidth,
                       std::int32_t PictureHeight, std::int32_t& Left, std::int32_t& Top,
                       std::int32_t& Width, std::int32_t& Height) const {
    convert::fit_to_box(BoxWidth, BoxHeight, PictureWidth, PictureHeight, Left, Top, Width,
                        Height);
}

}  // namespace orvessa
