// DllRegisterServer and DllUnregisterServer: the class (in-process, Apartment),
// the ProgID Orvessa.Pictava, the type library (11.0, locale 0, no help
// directory) and the interface _Pictava marshalled by the automation
// marshaller. Unregistering removes exactly what registering writes; a
// registration that fails half-way is rolled back.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "object/orvessa_idl.h"
#include "object/server_module.hpp"
#include "object/win32_raii.hpp"

namespace orvessa::server {

namespace {

constexpr const wchar_t* prog_id = L"Orvessa.Pictava";
constexpr WORD library_major = 11;
constexpr WORD library_minor = 0;
constexpr const wchar_t* library_version_key = L"b.0";  // 11.0, in hexadecimal as the registry keeps it
// The automation marshaller (PSOAInterface), which proxies from the type library.
constexpr GUID automation_marshaller = {0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

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

HRESULT register_library(const std::wstring& path) {
    win32::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    std::wstring empty_help_dir;
    hr = RegisterTypeLib(library.get(), const_cast<wchar_t*>(path.c_str()), empty_help_dir.data());
    if (FAILED(hr)) return hr;
    // RegisterTypeLib given no help directory writes the DLL's folder there
    // (Wine does); the library has none, so the entry is made empty here.
    const std::wstring version = L"TypeLib\\" + guid_text(LIBID_Orvessa) + L"\\" + library_version_key;
    hr = set_value(version + L"\\HELPDIR", nullptr, L"");
    if (FAILED(hr)) return hr;

    // The interface, whatever RegisterTypeLib wrote for it.
    const std::wstring iface = L"Interface\\" + guid_text(IID__Pictava);
    hr = set_value(iface, nullptr, L"_Pictava");
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\ProxyStubClsid", nullptr, guid_text(automation_marshaller));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\ProxyStubClsid32", nullptr, guid_text(automation_marshaller));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\TypeLib", nullptr, guid_text(LIBID_Orvessa));
    if (SUCCEEDED(hr)) hr = set_value(iface + L"\\TypeLib", L"Version", library_version_key);
    return hr;
}

void unregister_all() {
    UnRegisterTypeLib(LIBID_Orvessa, library_major, library_minor, LOCALE_NEUTRAL, SYS_WIN32);
    delete_tree(L"Interface\\" + guid_text(IID__Pictava));
    const std::wstring library = L"TypeLib\\" + guid_text(LIBID_Orvessa);
    delete_tree(library + L"\\" + library_version_key);
    delete_if_empty(library);
    delete_tree(L"CLSID\\" + guid_text(CLSID_Pictava));
    delete_tree(prog_id);
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
