#include "server/server_module.hpp"

#include <oleauto.h>

#include "platform/win32/win32_raii.hpp"

namespace orvessa::server {

namespace {
LONG live_objects = 0;
LONG module_locks = 0;
HINSTANCE instance = nullptr;
}  // namespace

void object_created() noexcept { InterlockedIncrement(&live_objects); }
void object_destroyed() noexcept { InterlockedDecrement(&live_objects); }
void lock_module(bool lock) noexcept {
    if (lock) {
        InterlockedIncrement(&module_locks);
    } else {
        InterlockedDecrement(&module_locks);
    }
}
bool can_unload() noexcept {
    return InterlockedCompareExchange(&live_objects, 0, 0) == 0 &&
           InterlockedCompareExchange(&module_locks, 0, 0) == 0;
}

std::wstring module_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT load_type_library(ITypeLib** out) noexcept {
    *out = nullptr;
    try {
        const std::wstring path = module_path();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        return LoadTypeLibEx(path.c_str(), REGKIND_NONE, out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT load_type_info(REFGUID guid, ITypeInfo** out) noexcept {
    *out = nullptr;
    win32::ComPtr<ITypeLib> library;
    const HRESULT hr = load_type_library(library.put());
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(guid, out);
}

}  // namespace orvessa::server

// The entry point only notes the module handle, which names the DLL's file.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) orvessa::server::instance = module;
    return TRUE;
}
