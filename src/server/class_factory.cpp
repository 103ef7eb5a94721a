// The class factory of Pictava and the exports through which the platform
// reaches it: DllGetClassObject and DllCanUnloadNow.
#include <windows.h>
#include <objbase.h>

#include <new>

#include "server/orvessa_idl.h"
#include "server/pictava_object.hpp"
#include "server/server_module.hpp"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::server {

namespace {

// One static factory: its life is the module's, so its count is nominal;
// LockServer is what keeps the module loaded.
class PictavaFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto object = win32::ComPtr<_Pictava>::adopt(new (std::nothrow) PictavaObject());
        if (!object) return E_OUTOFMEMORY;
        return object->QueryInterface(riid, out);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock_module(lock != FALSE);
        return S_OK;
    }
};

PictavaFactory factory;

}  // namespace
}  // namespace orvessa::server

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Pictava)) return CLASS_E_CLASSNOTAVAILABLE;
    return orvessa::server::factory.QueryInterface(riid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return orvessa::server::can_unload() ? S_OK : S_FALSE;
}
