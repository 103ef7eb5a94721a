#include "com_test_support.hpp"

namespace orvessa::test {

ComPtr<_Pictava> create_pictava() {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Orvessa.Pictava", &clsid));
    // Registered, the ProgID names the class itself; through an activation
    // context (the test program run under an application manifest) Wine
    // hands out the context's alias of it.
    ACTCTX_SECTION_KEYED_DATA redirected{};
    redirected.cbSize = sizeof redirected;
    if (!FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_COM_PROGID_REDIRECTION,
                                  L"Orvessa.Pictava", &redirected)) {
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Pictava));
    }
    ComPtr<_Pictava> object;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__Pictava,
                                     object.put_void()));
    return object;
}

UniqueSafeArray make_bytes(const std::vector<std::uint8_t>& bytes, LONG lower_bound) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(bytes.size()), lower_bound};
    UniqueSafeArray array(SafeArrayCreate(VT_UI1, 1, &bound));
    if (!bytes.empty()) {
        void* data = nullptr;
        SafeArrayAccessData(array.get(), &data);
        std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(data));
        SafeArrayUnaccessData(array.get());
    }
    return array;
}

std::vector<std::uint8_t> read_bytes(SAFEARRAY* array) {
    const auto count = array->rgsabound[0].cElements;
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    const auto* begin = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> bytes(begin, begin + count);
    SafeArrayUnaccessData(array);
    return bytes;
}

std::wstring program_folder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring picture_path(const char* name) {
    // Wine's drive Z: is the host's root.
    std::string unix_path = std::string(ORVESSA_PICTURES) + "/" + name;
    std::wstring path = L"Z:";
    for (char c : unix_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

HRESULT call_can_unload_now() {
    HMODULE server = GetModuleHandleW(L"Orvessa.dll");
    if (server == nullptr) return E_FAIL;
    auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
    return can_unload != nullptr ? can_unload() : E_FAIL;
}

LateCall::~LateCall() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

void invoke(IDispatch* object, DISPID id, std::vector<VARIANT> args, LateCall& call,
            std::vector<DISPID> named, WORD flags) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), named.data(), static_cast<UINT>(reversed.size()),
                      static_cast<UINT>(named.size())};
    call.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                             call.result.get(), &call.exception, &call.arg_error);
}

VARIANT v_i4(LONG value) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}
VARIANT v_i8(LONGLONG value) {
    VARIANT v;
    V_VT(&v) = VT_I8;
    V_I8(&v) = value;
    return v;
}
VARIANT v_r8(double value) {
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    return v;
}
VARIANT v_bytes_ref(SAFEARRAY** slot) {
    VARIANT v;
    V_VT(&v) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&v) = slot;
    return v;
}
VARIANT v_bstr(BSTR value) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = value;
    return v;
}
VARIANT v_missing() {
    VARIANT v;
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
    return v;
}
VARIANT v_ref(VARIANT* target) {
    VARIANT v;
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
}

ErrorRecord take_error_info() {
    ErrorRecord record;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return record;
    UniqueBstr source, description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    if (source) record.source = source.get();
    if (description) record.description = description.get();
    return record;
}

}  // namespace orvessa::test
