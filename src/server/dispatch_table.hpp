// The facts of _Pictava that late binding needs, as the type library
// declares them: method names and dispatch ids, and per parameter its name,
// declared type, passing, whether it may be omitted and its default.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <span>

namespace orvessa::server {

struct ParamFact {
    const wchar_t* name;
    VARTYPE type;      // the declared type, without VT_BYREF
    bool by_ref;
    bool optional;
    LONG default_value;  // for an omitted optional; 0 where none is declared
};

struct MethodFact {
    const wchar_t* name;
    DISPID id;
    std::span<const ParamFact> params;
    VARTYPE result;  // VT_EMPTY for none
};

enum PictavaDispId : DISPID {
    dispid_scale_x = 0x60030000,
    dispid_scale_y,
    dispid_blur_buffer,
    dispid_median_cut_buffer,
    dispid_color_to_bn,
};

std::span<const MethodFact> pictava_methods() noexcept;
const MethodFact* find_method(DISPID id) noexcept;

}  // namespace orvessa::server
