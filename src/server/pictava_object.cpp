#include "server/pictava_object.hpp"

#include <string>

#include "server/com_error.hpp"
#include "server/dispatch.hpp"
#include "server/locked_byte_array.hpp"
#include "server/server_module.hpp"

namespace orvessa::server {

PictavaObject::PictavaObject() noexcept { object_created(); }
PictavaObject::~PictavaObject() { object_destroyed(); }

HRESULT PictavaObject::QueryInterface(REFIID riid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID__Pictava)) {
        *out = static_cast<_Pictava*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *out = static_cast<ISupportErrorInfo*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG PictavaObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG PictavaObject::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT PictavaObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT PictavaObject::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!type_info_) {
        const HRESULT hr = load_type_info(IID__Pictava, type_info_.put());
        if (FAILED(hr)) return hr;
    }
    type_info_->AddRef();
    *out = type_info_.get();
    return S_OK;
}

HRESULT PictavaObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return dispatch_ids_of_names(names, count, ids);
}

HRESULT PictavaObject::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return dispatch_invoke(*this, id, lcid, flags, params, result, exception, arg_error);
}

HRESULT PictavaObject::ScaleX(float Width, short* retval) {
    if (retval == nullptr) return E_POINTER;
    *retval = 0;
    return guarded([&] { *retval = core_.ScaleX(Width); });
}

HRESULT PictavaObject::ScaleY(float Height, short* retval) {
    if (retval == nullptr) return E_POINTER;
    *retval = 0;
    return guarded([&] { *retval = core_.ScaleY(Height); });
}

HRESULT PictavaObject::filter(PixelFilter filter, SAFEARRAY** Buffer, LONG DimX, LONG DimY) {
    if (Buffer == nullptr) return E_POINTER;
    return guarded([&] {
        LockedByteArray array(*Buffer);
        filter_buffer(filter, array.view(), DimX, DimY);
    });
}

HRESULT PictavaObject::Blur_Buffer(SAFEARRAY** Buffer, LONG DimX, LONG DimY) {
    return filter(PixelFilter::blur, Buffer, DimX, DimY);
}

HRESULT PictavaObject::MedianCut_Buffer(SAFEARRAY** Buffer, LONG DimX, LONG DimY) {
    return filter(PixelFilter::median_cut, Buffer, DimX, DimY);
}

HRESULT PictavaObject::ColorToBN(BSTR FileName, LONG PictureHDC, LONG ImageHandle,
                                 VARIANT_BOOL* TwoColor, unsigned char* Threshold,
                                 VARIANT_BOOL* HoldProportion, LONG* Width, LONG* Height,
                                 VARIANT_BOOL* retval) {
    if (retval == nullptr) return E_POINTER;
    *retval = VARIANT_FALSE;
    // The by-reference arguments go to the core unread: it reads each at the
    // step that uses it. An early-bound caller may pass null for an optional
    // it leaves out; the declared default then stands.
    return guarded([&] {
        const std::u16string name =
            FileName == nullptr
                ? std::u16string()
                : std::u16string(reinterpret_cast<const char16_t*>(FileName), SysStringLen(FileName));
        const bool painted = core_.ColorToBN(
            name, PictureHDC, ImageHandle,
            ByRefArgument<std::int16_t>::at(TwoColor, VARIANT_FALSE),
            ByRefArgument<std::uint8_t>::at(Threshold, default_threshold),
            ByRefArgument<std::int16_t>::at(HoldProportion, VARIANT_FALSE),
            ByRefArgument<std::int32_t>::at(reinterpret_cast<const std::int32_t*>(Width), 0),
            ByRefArgument<std::int32_t>::at(reinterpret_cast<const std::int32_t*>(Height), 0));
        *retval = painted ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT PictavaObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID__Pictava) ? S_OK : S_FALSE;
}

}  // namespace orvessa::server
