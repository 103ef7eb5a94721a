// DllRegisterServer and DllUnregisterServer: the class (in-process, Apartment),
// the ProgID, the type library (its own version, locale 0, no help
// directory) and the interface _Pictava marshalled by the automation
// marshaller. Unregistering removes exactly what registering writes; a
// registration that fails half-way is rolled back.
//
// The 32-bit and the 64-bit DLL may be registered side by side on 64-bit
// Windows. The class and interface keys live in each bitness's own view of
// the registry; the ProgID and the type library's version key are shared by
// both views. Each DLL registers its type library under its own target
// (win32 or win64) and removes only that; the shared keys go only when the
// other view holds no registration of the class.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <memory>
#include <string>

#include "server/orvessa_idl.h"
#include "server/server_module.hpp"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::server {

namespace {

// The automation marshaller (PSOAInterface), which proxies from the type library.
constexpr GUID automation_marshaller = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

#ifdef _WIN64
constexpr const wchar_t* own_target = L"win64";
constexpr REGSAM other_view = KEY_WOW64_32KEY;
#else
constexpr const wchar_t* own_target = L"win32";
constexpr REGSAM other_view = KEY_WOW64_64KEY;  // ignored on 32-bit Windows: the one view
#endif

std::wstring guid_text(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT set_value(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    win32::UniqueRegKey handle;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, handle.put(), nullptr);
    if (status == ERROR_SUCCESS) {
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        status = RegSetValueExW(handle.get(), name, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    }
    return HRESULT_FROM_WIN32(status);
}

void delete_tree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

// Deletes `parent\\child` in the other bitness's view.
void delete_tree_in_other_view(const wchar_t* parent, const std::wstring& child) {
    win32::UniqueRegKey handle;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, parent, 0, KEY_ALL_ACCESS | other_view, handle.put()) ==
        ERROR_SUCCESS) {
        RegDeleteTreeW(handle.get(), child.c_str());
    }
}

bool exists_in_other_view(const std::wstring& key) {
    win32::UniqueRegKey handle;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | other_view, handle.put()) ==
           ERROR_SUCCESS;
}

// Removes `key` only when nothing is left under it.
void delete_if_empty(const std::wstring& key) { RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()); }

HRESULT register_class(const std::wstring& path) {
    const std::wstring clsid = L"CLSID\\" + guid_text(CLSID_Pictava);
    HRESULT hr = set_value(clsid, nullptr, prog_id);
    if (SUCCEEDED(hr)) hr = set_value(clsid + L"\\InprocServer32", nullptr, path);
    if (SUCCEEDED(hr)) hr = set_value(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (SUCCEEDED(hr)) hr = set_value(clsid + L"\\ProgID", nullptr, prog_id);
    if (SUCCEEDED(hr)) hr = set_value(clsid + L"\\TypeLib", nullptr, guid_text(LIBID_Orvessa));
    if (SUCCEEDED(hr)) hr = set_value(prog_id, nullptr, prog_id);
    if (SUCCEEDED(hr)) hr = set_value(std::wstring(prog_id) + L"\\CLSID", nullptr, guid_text(CLSID_Pictava));
    return hr;
}

// The key of the type library's version, major.minor in hexadecimal as the
// registry keeps it, from the library's own attributes; empty on failure.
std::wstring library_version_key(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) return {};
    const auto release = [library](TLIBATTR* a) { library->ReleaseTLibAttr(a); };
    const std::unique_ptr<TLIBATTR, decltype(release)> owned(attributes, release);
    wchar_t text[16];
    swprintf(text, 16, L"%x.%x", owned->wMajorVerNum, owned->wMinorVerNum);
    return text;
}

// The version key of the type library in this DLL; empty when it cannot be loaded.
std::wstring own_library_version_key() {
    win32::ComPtr<ITypeLib> library;
    if (FAILED(load_type_library(library.put()))) return {};
    return library_version_key(library.get());
}

HRESULT register_library(const std::wstring& path) {
    win32::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    const std::wstring library_version = library_version_key(library.get());
    if (library_version.empty()) return SELFREG_E_TYPELIB;
    std::wstring empty_help_dir;
    hr = RegisterTypeLib(library.get(), const_cast<wchar_t*>(path.c_str()), empty_help_dir.data());
    if (FAILED(hr)) return hr;
    // RegisterTypeLib given no help directory writes the DLL's folder there
    // (Wine does); the library has none, so the entry is made empty here.
    const std::wstring version = L"TypeLib\\" + guid_text(LIBID_Orvessa) + L"\\" + library_version;
    hr = set_value(version + L"\\HELPDIR", nullptr, L"");
    if (FAILED(hr)) return hr;

    // The interface, whatever RegisterTypeLib wrote for it.
    const std::wstring iface = L"Interface\\" + guid_text(IID__Pictava);
    hr = set_value(iface, nullptr, L"_Pictava");
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\ProxyStubClsid", nullptr, guid_text(automation_marshaller));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\ProxyStubClsid32", nullptr, guid_text(automation_marshaller));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\TypeLib", nullptr, guid_text(LIBID_Orvessa));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\TypeLib", L"Version", library_version);
    return hr;
}

void unregister_all() {
    // This bitness's own: the class and interface in its view, its target
    // under the type library. (The platform's UnRegisterTypeLib is not used:
    // it may remove the interface from both views.)
    const std::wstring clsid = L"CLSID\\" + guid_text(CLSID_Pictava);
    const std::wstring iface = L"Interface\\" + guid_text(IID__Pictava);
    const std::wstring library = L"TypeLib\\" + guid_text(LIBID_Orvessa);
    const std::wstring library_version = own_library_version_key();
    const std::wstring version = library + L"\\" + library_version;
    delete_tree(clsid);
    delete_tree(iface);
    if (!library_version.empty()) {
        delete_tree(version + L"\\0\\" + own_target);
        delete_if_empty(version + L"\\0");
    }

    // The shared keys, once the other bitness has no registration left.
    if (exists_in_other_view(clsid + L"\\InprocServer32")) return;
    if (!library_version.empty()) delete_tree(version);
    delete_if_empty(library);
    delete_tree(prog_id);
    // RegisterTypeLib may have described the interface in both views.
    delete_tree_in_other_view(L"Interface", guid_text(IID__Pictava));
}

}  // namespace
}  // namespace orvessa::server

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    using namespace orvessa::server;
    try {
        const std::wstring path = module_path();
        if (path.empty()) return SELFREG_E_CLASS;
        HRESULT hr = register_class(path);
        if (SUCCEEDED(hr)) hr = register_library(path);
        if (FAILED(hr)) unregister_all();
        return hr;
    } catch (...) {
        unregister_all();
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        orvessa::server::unregister_all();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
