#include "server/dispatch_table.hpp"

#include "orvessa/pictava.hpp"

namespace orvessa::server {

namespace {
constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;

constexpr ParamFact scale_x_params[] = {{L"Width", VT_R4, false, false, 0}};
constexpr ParamFact scale_y_params[] = {{L"Height", VT_R4, false, false, 0}};
constexpr ParamFact buffer_params[] = {
    {L"Buffer", byte_array, true, false, 0},
    {L"DimX", VT_I4, false, false, 0},
    {L"DimY", VT_I4, false, false, 0},
};
constexpr ParamFact color_to_bn_params[] = {
    {L"FileName", VT_BSTR, false, false, 0},
    {L"PictureHDC", VT_I4, false, false, 0},
    {L"ImageHandle", VT_I4, false, false, 0},
    {L"TwoColor", VT_BOOL, true, true, 0},
    {L"Threshold", VT_UI1, true, true, default_threshold},
    {L"HoldProportion", VT_BOOL, true, true, 0},
    {L"Width", VT_I4, true, true, 0},
    {L"Height", VT_I4, true, true, 0},
};

constexpr MethodFact methods[] = {
    {L"ScaleX", dispid_scale_x, scale_x_params, VT_I2},
    {L"ScaleY", dispid_scale_y, scale_y_params, VT_I2},
    {L"Blur_Buffer", dispid_blur_buffer, buffer_params, VT_EMPTY},
    {L"MedianCut_Buffer", dispid_median_cut_buffer, buffer_params, VT_EMPTY},
    {L"ColorToBN", dispid_color_to_bn, color_to_bn_params, VT_BOOL},
};
}  // namespace

std::span<const MethodFact> pictava_methods() noexcept { return methods; }

const MethodFact* find_method(DISPID id) noexcept {
    for (const MethodFact& m : methods) {
        if (m.id == id) return &m;
    }
    return nullptr;
}

}  // namespace orvessa::server
