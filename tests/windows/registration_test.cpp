// DllRegisterServer and DllUnregisterServer of Orvessa.dll: what they write,
// and that unregistration leaves the registry as it found it.
#include <map>

#include "com_test_support.hpp"

namespace orvessa::test {
namespace {

using win32::UniqueRegKey;

// Every key and value below a root, as "path|name" -> data.
using RegistryDump = std::map<std::wstring, std::wstring>;

void dump(HKEY key, const std::wstring& path, RegistryDump& out) {
    out[path + L"|"];  // the key itself
    wchar_t name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 512, data_size = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
        out[path + L"|" + name] =
            std::to_wstring(type) + L":" +
            std::wstring(reinterpret_cast<const wchar_t*>(data), data_size / sizeof(wchar_t));
    }
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 512;
        if (RegEnumKeyExW(key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        UniqueRegKey child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
            dump(child.get(), path + L"\\" + name, out);
        }
    }
}

RegistryDump dump_classes() {
    RegistryDump out;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        UniqueRegKey classes;
        if (RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_READ, classes.put()) == ERROR_SUCCESS) {
            dump(classes.get(), root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU", out);
        }
    }
    return out;
}

std::wstring read_value(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t data[1024];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    return data;
}

std::wstring text(REFGUID guid) {
    wchar_t buffer[40];
    StringFromGUID2(guid, buffer, 40);
    return buffer;
}

class RegistrationTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        server = LoadLibraryW((program_folder() + L"Orvessa.dll").c_str());
        ASSERT_NE(nullptr, server);
        register_server = entry("DllRegisterServer");
        unregister_server = entry("DllUnregisterServer");
    }
    void TearDown() override {
        // Leave the server registered, as the test run found it.
        EXPECT_EQ(S_OK, register_server());
        FreeLibrary(server);
        ComTest::TearDown();
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    Entry entry(const char* name) {
        return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(server, name)));
    }

    HMODULE server = nullptr;
    Entry register_server = nullptr;
    Entry unregister_server = nullptr;
};

TEST_F(RegistrationTest, RegistersClassProgIdLibraryAndInterface) {
    ASSERT_EQ(S_OK, register_server());
    const std::wstring clsid = L"CLSID\\" + text(CLSID_Pictava);
    const std::wstring dll = program_folder() + L"Orvessa.dll";
    EXPECT_EQ(0, _wcsicmp(dll.c_str(), read_value(clsid + L"\\InprocServer32").c_str()));
    EXPECT_EQ(L"Apartment", read_value(clsid + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"Orvessa.Pictava", read_value(clsid + L"\\ProgID"));
    EXPECT_EQ(text(CLSID_Pictava), read_value(L"Orvessa.Pictava\\CLSID"));

    const std::wstring library = L"TypeLib\\" + text(LIBID_Orvessa) + L"\\b.0";
    EXPECT_EQ(0, _wcsicmp(dll.c_str(), read_value(library + L"\\0\\win32").c_str()));
    EXPECT_EQ(L"", read_value(library + L"\\HELPDIR"));

    const std::wstring iface = L"Interface\\" + text(IID__Pictava);
    EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}", read_value(iface + L"\\ProxyStubClsid32"));
    EXPECT_EQ(text(LIBID_Orvessa), read_value(iface + L"\\TypeLib"));

    // The registered library is the one in the DLL.
    ComPtr<ITypeLib> registered;
    EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_Orvessa, 11, 0, 0, registered.put()));
}

TEST_F(RegistrationTest, UnregistrationLeavesNothingBehind) {
    ASSERT_EQ(S_OK, unregister_server());
    const RegistryDump before = dump_classes();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(L"<absent>", read_value(L"Orvessa.Pictava\\CLSID"));

    ASSERT_EQ(S_OK, register_server());
    const RegistryDump registered = dump_classes();
    EXPECT_GT(registered.size(), before.size());
    ASSERT_EQ(S_OK, unregister_server());
    const RegistryDump after = dump_classes();

    for (const auto& [key, value] : after) {
        auto found = before.find(key);
        EXPECT_TRUE(found != before.end() && found->second == value) << "left behind: " << testing::PrintToString(key);
    }
    for (const auto& [key, value] : before) {
        EXPECT_TRUE(after.count(key) == 1) << "removed: " << testing::PrintToString(key);
    }
    // Unregistering twice is harmless.
    EXPECT_EQ(S_OK, unregister_server());
}

// regression guard: a registration that fails half-way must roll back.
TEST_F(RegistrationTest, FailureHalfWayLeavesNothingBehind) {
    ASSERT_EQ(S_OK, unregister_server());
    const RegistryDump before = dump_classes();
    // The interface's key exists already as a volatile key, under which no
    // lasting key can be made: registration gets as far as the class and
    // the ProgID, then fails.
    const std::wstring iface = L"Interface\\" + text(IID__Pictava);
    UniqueRegKey blocked;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, iface.c_str(), 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_READ, nullptr, blocked.put(), nullptr));
    blocked.reset();

    EXPECT_NE(S_OK, register_server());
    const RegistryDump after = dump_classes();
    for (const auto& [key, value] : after) {
        EXPECT_TRUE(before.count(key) == 1) << "left behind: " << testing::PrintToString(key);
    }
    EXPECT_EQ(L"<absent>", read_value(L"Orvessa.Pictava\\CLSID"));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, iface.c_str());
}

std::wstring version_string(const std::vector<BYTE>& block, const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length)) return L"<absent>";
    return length == 0 ? L"" : static_cast<const wchar_t*>(value);
}

TEST(VersionResource, MarksTheFileSelfRegisteringWithItsVersions) {
    const std::wstring dll = program_folder() + L"Orvessa.dll";
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(dll.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    EXPECT_EQ(L"", version_string(block, L"OLESelfRegister"));
    EXPECT_EQ(L"1.00.0009", version_string(block, L"FileVersion"));
    EXPECT_EQ(L"1.00.0009", version_string(block, L"ProductVersion"));
    EXPECT_EQ(L"Orvessa", version_string(block, L"ProductName"));
    EXPECT_EQ(L"Orvessa", version_string(block, L"InternalName"));
    EXPECT_EQ(L"Orvessa.dll", version_string(block, L"OriginalFilename"));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(9, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
}

}  // namespace
}  // namespace orvessa::test
