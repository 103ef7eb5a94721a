// The server's own bookkeeping: live objects and factory locks (for
// DllCanUnloadNow), the module handle, and the type information that the
// dispatch and the registration read from the DLL's own type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace orvessa::server {

// The class's ProgID: registered, and the source of the errors it reports.
inline constexpr const wchar_t* prog_id = L"Orvessa.Pictava";

void object_created() noexcept;
void object_destroyed() noexcept;
void lock_module(bool lock) noexcept;
bool can_unload() noexcept;

// The full path of Orvessa.dll; empty when it cannot be read.
std::wstring module_path();

// The type library carried in the DLL, loaded without registering it.
HRESULT load_type_library(ITypeLib** out) noexcept;
HRESULT load_type_info(REFGUID guid, ITypeInfo** out) noexcept;

}  // namespace orvessa::server
