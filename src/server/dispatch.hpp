// Late binding of _Pictava, driven by the table of dispatch_table.hpp:
// names to dispatch ids (case-insensitive), then positional and named
// arguments, omitted optionals given their declared defaults, by-reference
// variants unwrapped, values coerced to the declared types, and a method's
// error returned as DISP_E_EXCEPTION with the EXCEPINFO filled.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "server/orvessa_idl.h"

namespace orvessa::server {

HRESULT dispatch_ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) noexcept;

HRESULT dispatch_invoke(_Pictava& target, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* arg_error) noexcept;

}  // namespace orvessa::server
