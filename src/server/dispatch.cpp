#include "server/dispatch.hpp"

#include <oleauto.h>

#include <array>
#include <cwchar>

#include "server/com_error.hpp"
#include "server/dispatch_table.hpp"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::server {

namespace {

constexpr std::size_t max_params = 8;

bool same_name(const wchar_t* a, const wchar_t* b) noexcept {
    return a != nullptr && _wcsicmp(a, b) == 0;
}

// One argument as the method receives it.
struct Argument {
    win32::UniqueVariant value;   // coerced value or default; owns a coerced BSTR
    SAFEARRAY** array = nullptr;  // the caller's own array slot, so changes land in place
};

void set_default(VARIANT& v, const ParamFact& p) noexcept {
    V_VT(&v) = p.type;
    switch (p.type) {
        case VT_BOOL: V_BOOL(&v) = p.default_value != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_UI1: V_UI1(&v) = static_cast<BYTE>(p.default_value); break;
        default: V_I4(&v) = p.default_value; break;
    }
}

bool is_missing(const VARIANT& v) noexcept {
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

// Fills `args` from the caller's DISPPARAMS. On an argument's failure
// `arg_error` receives its index in rgvarg.
HRESULT collect(const MethodFact& method, const DISPPARAMS& dp, LCID lcid, Argument* args,
                UINT* arg_error) noexcept {
    const std::size_t count = method.params.size();
    if (dp.cArgs > count) return DISP_E_BADPARAMCOUNT;
    if (dp.cNamedArgs > dp.cArgs || (dp.cArgs > 0 && dp.rgvarg == nullptr) ||
        (dp.cNamedArgs > 0 && dp.rgdispidNamedArgs == nullptr)) {
        return E_INVALIDARG;
    }
    auto fail = [&](HRESULT hr, UINT index) {
        if (arg_error != nullptr) *arg_error = index;
        return hr;
    };

    // source[p]: where parameter p stands in rgvarg (arguments come last to first).
    std::array<int, max_params> source;
    source.fill(-1);
    const UINT positional = dp.cArgs - dp.cNamedArgs;
    for (UINT i = 0; i < positional; ++i) source[i] = static_cast<int>(dp.cArgs - 1 - i);
    for (UINT j = 0; j < dp.cNamedArgs; ++j) {
        const DISPID named = dp.rgdispidNamedArgs[j];
        if (named < 0 || static_cast<std::size_t>(named) >= count || source[named] != -1) {
            return fail(DISP_E_PARAMNOTFOUND, j);
        }
        source[named] = static_cast<int>(j);
    }

    for (std::size_t p = 0; p < count; ++p) {
        const ParamFact& fact = method.params[p];
        const UINT at = static_cast<UINT>(source[p]);
        VARIANT* v = source[p] >= 0 ? &dp.rgvarg[at] : nullptr;
        // What a script passes for a variable: a reference to its VARIANT.
        // A chain that does not end (a variant referring to itself) is refused.
        for (int depth = 0; v != nullptr && V_VT(v) == (VT_BYREF | VT_VARIANT); ++depth) {
            v = V_VARIANTREF(v);
            if (v == nullptr || depth == 8) return fail(DISP_E_TYPEMISMATCH, at);
        }
        if (v == nullptr || is_missing(*v)) {
            if (!fact.optional) {
                return source[p] < 0 ? DISP_E_BADPARAMCOUNT : fail(DISP_E_PARAMNOTOPTIONAL, at);
            }
            set_default(*args[p].value.get(), fact);
            continue;
        }
        if (fact.type == (VT_ARRAY | VT_UI1)) {
            if (V_VT(v) == (VT_BYREF | VT_ARRAY | VT_UI1)) {
                args[p].array = V_ARRAYREF(v);
            } else if (V_VT(v) == (VT_ARRAY | VT_UI1)) {
                args[p].array = &V_ARRAY(v);
            } else {
                return fail(DISP_E_TYPEMISMATCH, at);
            }
            if (args[p].array == nullptr) return fail(DISP_E_TYPEMISMATCH, at);
            continue;
        }
        const HRESULT hr = VariantChangeTypeEx(args[p].value.get(), v, lcid, 0, fact.type);
        if (FAILED(hr)) return fail(hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH, at);
    }
    return S_OK;
}

// The method's own error, as the thread's error information describes it.
void fill_exception(EXCEPINFO& e, HRESULT hr) noexcept {
    e = EXCEPINFO{};
    e.scode = hr;
    win32::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        info->GetSource(&e.bstrSource);
        info->GetDescription(&e.bstrDescription);
    }
    if (e.bstrSource == nullptr) e.bstrSource = SysAllocString(prog_id);
}

HRESULT call(_Pictava& t, DISPID id, Argument* a, VARIANT* result) noexcept {
    auto v = [&](int i) { return a[i].value.get(); };
    HRESULT hr = E_UNEXPECTED;
    // No default: a method added to PictavaDispId and not called here does
    // not compile. Only ids of the table come this far.
    switch (static_cast<PictavaDispId>(id)) {
        case dispid_scale_x:
        case dispid_scale_y: {
            SHORT r = 0;
            hr = id == dispid_scale_x ? t.ScaleX(V_R4(v(0)), &r) : t.ScaleY(V_R4(v(0)), &r);
            if (SUCCEEDED(hr) && result != nullptr) {
                V_VT(result) = VT_I2;
                V_I2(result) = r;
            }
            break;
        }
        case dispid_blur_buffer:
            hr = t.Blur_Buffer(a[0].array, V_I4(v(1)), V_I4(v(2)));
            break;
        case dispid_median_cut_buffer:
            hr = t.MedianCut_Buffer(a[0].array, V_I4(v(1)), V_I4(v(2)));
            break;
        case dispid_color_to_bn: {
            // The method only reads its by-reference parameters, so the
            // coerced copies need no writing back.
            VARIANT_BOOL r = VARIANT_FALSE;
            hr = t.ColorToBN(V_BSTR(v(0)), V_I4(v(1)), V_I4(v(2)), &V_BOOL(v(3)), &V_UI1(v(4)),
                             &V_BOOL(v(5)), &V_I4(v(6)), &V_I4(v(7)), &r);
            if (SUCCEEDED(hr) && result != nullptr) {
                V_VT(result) = VT_BOOL;
                V_BOOL(result) = r;
            }
            break;
        }
    }
    return hr;
}

}  // namespace

HRESULT dispatch_ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const MethodFact* method = nullptr;
    for (const MethodFact& m : pictava_methods()) {
        if (same_name(names[0], m.name)) method = &m;
    }
    if (method == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = method->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        for (std::size_t p = 0; p < method->params.size(); ++p) {
            if (same_name(names[i], method->params[p].name)) ids[i] = static_cast<DISPID>(p);
        }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT dispatch_invoke(_Pictava& target, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* arg_error) noexcept {
    const MethodFact* method = find_method(id);
    if (method == nullptr || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr) return E_INVALIDARG;
    std::array<Argument, max_params> args;
    HRESULT hr = collect(*method, *params, lcid, args.data(), arg_error);
    if (FAILED(hr)) return hr;
    if (result != nullptr) VariantInit(result);
    hr = call(target, id, args.data(), result);
    if (SUCCEEDED(hr)) return hr;
    if (exception == nullptr) return hr;
    fill_exception(*exception, hr);
    return DISP_E_EXCEPTION;
}

}  // namespace orvessa::server
