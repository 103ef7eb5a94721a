// The COM object Pictava: _Pictava (vtable calls go straight to the
// portable core), its IDispatch, and ISupportErrorInfo.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "server/orvessa_idl.h"
#include "platform/win32/win32_raii.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa::server {

class PictavaObject final : public _Pictava, public ISupportErrorInfo {
public:
    PictavaObject() noexcept;
    ~PictavaObject();
    PictavaObject(const PictavaObject&) = delete;
    PictavaObject& operator=(const PictavaObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* arg_error) override;

    // _Pictava
    HRESULT STDMETHODCALLTYPE ScaleX(float Width, short* retval) override;
    HRESULT STDMETHODCALLTYPE ScaleY(float Height, short* retval) override;
    HRESULT STDMETHODCALLTYPE Blur_Buffer(SAFEARRAY** Buffer, LONG DimX, LONG DimY) override;
    HRESULT STDMETHODCALLTYPE MedianCut_Buffer(SAFEARRAY** Buffer, LONG DimX, LONG DimY) override;
    HRESULT STDMETHODCALLTYPE ColorToBN(BSTR FileName, LONG PictureHDC, LONG ImageHandle,
                                        VARIANT_BOOL* TwoColor, unsigned char* Threshold,
                                        VARIANT_BOOL* HoldProportion, LONG* Width, LONG* Height,
                                        VARIANT_BOOL* retval) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    // A buffer method: the caller's array locked for the call.
    HRESULT filter(PixelFilter filter, SAFEARRAY** Buffer, LONG DimX, LONG DimY);

    LONG references_ = 1;
    Pictava core_;
    win32::ComPtr<ITypeInfo> type_info_;  // loaded on first request
};

}  // namespace orvessa::server
