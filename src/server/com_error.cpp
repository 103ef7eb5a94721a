#include "server/com_error.hpp"

#include <oleauto.h>

#include "server/orvessa_idl.h"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::server {

namespace {
std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}
}  // namespace

HRESULT report_error(HRESULT hr, const std::string& description) noexcept {
    // Failing to record the information must not hide the error itself.
    try {
        win32::ComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.put()))) return hr;
        const std::wstring text = widen(description);
        create->SetGUID(IID__Pictava);
        create->SetSource(const_cast<LPOLESTR>(prog_id));
        create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        win32::ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) {
            SetErrorInfo(0, info.get());
        }
    } catch (...) {
    }
    return hr;
}

}  // namespace orvessa::server
