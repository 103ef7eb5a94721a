// DllRegisterServer and DllUnregisterServer of Orvessa.dll: what they write,
// and that unregistration leaves the registry as it found it; and the class
// used with nothing registered, through the DLL's assembly manifest.
#include <process.h>

#include <fstream>
#include <map>

#include "canvas.hpp"
#include "com_test_support.hpp"
#include "orvessa/version.hpp"

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

// Every key or value written, changed or removed between two dumps.
std::vector<std::wstring> changes(const RegistryDump& before, const RegistryDump& after) {
    std::vector<std::wstring> out;
    for (const auto& [key, value] : after) {
        auto found = before.find(key);
        if (found == before.end() || found->second != value) out.push_back(L"written " + key);
    }
    for (const auto& [key, value] : before) {
        if (after.count(key) == 0) out.push_back(L"removed " + key);
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

    // Under this build's own target only.
    const std::wstring library = L"TypeLib\\" + text(LIBID_Orvessa) + L"\\b.0";
    const std::wstring own = sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32";
    const std::wstring other = sizeof(void*) == 8 ? L"\\0\\win32" : L"\\0\\win64";
    EXPECT_EQ(0, _wcsicmp(dll.c_str(), read_value(library + own).c_str()));
    EXPECT_EQ(L"<absent>", read_value(library + other));
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
    EXPECT_EQ(std::vector<std::wstring>{}, changes(before, dump_classes()));
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
    EXPECT_EQ(L"" ORVESSA_VERSION_TEXT, version_string(block, L"FileVersion"));
    EXPECT_EQ(L"" ORVESSA_VERSION_TEXT, version_string(block, L"ProductVersion"));
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

namespace orvessa::test {
namespace {

// Where the activation context comes from: the assembly manifest beside the
// DLL, the same manifest embedded in the DLL, or a client's own manifest
// that names assembly Orvessa as a dependency (what an application manifest
// says), resolved in the DLL's folder.
enum class ContextSource { manifest_file, dll_resource, client_dependency };

// The DLL's version as an assembly identity writes it: four numbers.
std::string assembly_version() {
    return std::to_string(ORVESSA_VERSION_MAJOR) + "." + std::to_string(ORVESSA_VERSION_MINOR) + "." +
           std::to_string(ORVESSA_VERSION_PATCH) + "." + std::to_string(ORVESSA_VERSION_TWEAK);
}

std::string client_manifest() {
    const char* architecture = sizeof(void*) == 8 ? "amd64" : "x86";
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
               "  <assemblyIdentity type=\"win32\" name=\"OrvessaClient\" version=\"1.0.0.0\" "
               "processorArchitecture=\"") +
           architecture +
           "\"/>\r\n"
           "  <dependency><dependentAssembly>\r\n"
           "    <assemblyIdentity type=\"win32\" name=\"Orvessa\" version=\"" +
           assembly_version() + "\" "
           "processorArchitecture=\"" +
           architecture +
           "\"/>\r\n"
           "  </dependentAssembly></dependency>\r\n"
           "</assembly>\r\n";
}

// An activation context, activated on the thread that makes this.
class ActiveContext {
public:
    explicit ActiveContext(HANDLE context) : context_(context) {
        if (context_ != INVALID_HANDLE_VALUE) activated_ = ActivateActCtx(context_, &cookie_) != FALSE;
    }
    ~ActiveContext() {
        if (activated_) DeactivateActCtx(0, cookie_);
    }
    ActiveContext(const ActiveContext&) = delete;
    ActiveContext& operator=(const ActiveContext&) = delete;
    bool active() const { return activated_; }

private:
    HANDLE context_;
    ULONG_PTR cookie_ = 0;
    bool activated_ = false;
};

// The other apartment: activates the same context, unmarshals the object
// and blurs its own array through the proxy.
struct OtherApartment {
    HANDLE context = INVALID_HANDLE_VALUE;
    IStream* stream = nullptr;
    HRESULT unmarshal = E_FAIL;
    HRESULT call = E_FAIL;
    std::vector<std::uint8_t> after;
};

// A 3 x 4 picture whose one filtered pixel (1, 1) holds 16: it blurs to 4.
std::vector<std::uint8_t> spot() {
    std::vector<std::uint8_t> bytes(48, 0);
    for (int b = 0; b < 3; ++b) bytes[27 + b] = 16;
    return bytes;
}
std::vector<std::uint8_t> blurred_spot() {
    std::vector<std::uint8_t> bytes(48, 0);
    for (int b = 0; b < 3; ++b) bytes[27 + b] = 4;
    return bytes;
}

unsigned __stdcall use_from_other_apartment(void* arg) {
    auto& other = *static_cast<OtherApartment*>(arg);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ActiveContext active(other.context);
        ComPtr<_Pictava> object;
        other.unmarshal = CoGetInterfaceAndReleaseStream(other.stream, IID__Pictava, object.put_void());
        if (SUCCEEDED(other.unmarshal)) {
            UniqueSafeArray array = make_bytes(spot());
            SAFEARRAY* slot = array.get();
            other.call = object->Blur_Buffer(&slot, 3, 4);
            if (slot != array.get()) {  // the marshaller replaced (and freed) the array
                array.release();
                array.reset(slot);
            }
            other.after = read_bytes(array.get());
        }
    }
    CoUninitialize();
    return 0;
}

class RegistrationFreeTest : public RegistrationTest,
                             public ::testing::WithParamInterface<ContextSource> {};

TEST_P(RegistrationFreeTest, CreatesByProgIdFiltersAndPaintsWithNothingRegistered) {
    ASSERT_EQ(S_OK, unregister_server());
    const RegistryDump before = dump_classes();
    CLSID clsid{};
    ASSERT_NE(S_OK, CLSIDFromProgID(L"Orvessa.Pictava", &clsid)) << "the class is still registered";

    const std::wstring folder = program_folder();
    std::wstring source;
    ACTCTXW request{};
    request.cbSize = sizeof request;
    switch (GetParam()) {
        case ContextSource::manifest_file:
            source = folder + L"Orvessa.manifest";
            break;
        case ContextSource::dll_resource:
            source = folder + L"Orvessa.dll";
            request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
            request.lpResourceName = MAKEINTRESOURCEW(1);
            break;
        case ContextSource::client_dependency: {
            wchar_t temp[MAX_PATH];
            GetTempPathW(MAX_PATH, temp);
            source = std::wstring(temp) + L"orvessa-client-" + std::to_wstring(GetCurrentProcessId()) +
                     L".manifest";
            std::ofstream(source.c_str(), std::ios::binary) << client_manifest();
            request.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
            request.lpAssemblyDirectory = folder.c_str();
            break;
        }
    }
    request.lpSource = source.c_str();
    HANDLE context = CreateActCtxW(&request);
    if (GetParam() == ContextSource::client_dependency) DeleteFileW(source.c_str());
    ASSERT_NE(INVALID_HANDLE_VALUE, context) << "CreateActCtx failed: " << GetLastError();
    {
        ActiveContext active(context);
        ASSERT_TRUE(active.active());
        // The ProgID gives a class identifier that creates Pictava (Wine
        // hands out the context's alias of the class, not its own CLSID).
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"Orvessa.Pictava", &clsid));
        ComPtr<_Pictava> object, by_clsid;
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__Pictava,
                                         object.put_void()));
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Pictava, nullptr, CLSCTX_INPROC_SERVER, IID__Pictava,
                                         by_clsid.put_void()));

        // In this apartment: a filter and a paint.
        UniqueSafeArray array = make_bytes(spot());
        SAFEARRAY* slot = array.get();
        ASSERT_EQ(S_OK, object->Blur_Buffer(&slot, 3, 4));
        EXPECT_EQ(blurred_spot(), read_bytes(array.get()));
        const std::wstring picture = picture_path("chelsea-small.bmp");
        UniqueBstr name(SysAllocString(picture.c_str()));
        Canvas canvas(50, 34);
        VARIANT_BOOL painted = VARIANT_FALSE;
        ASSERT_EQ(S_OK, object->ColorToBN(name.get(), canvas.dc_value(), 0, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, &painted));
        EXPECT_EQ(VARIANT_TRUE, painted);
        const std::uint8_t corner = converted(read_bmp_file(picture).at(0, 0), false, 128);
        EXPECT_EQ((Rgb{corner, corner, corner}), canvas.at(0, 0));

        EXPECT_EQ(std::vector<std::wstring>{}, changes(before, dump_classes()));

        // From another apartment, through the automation marshaller.
        OtherApartment other;
        other.context = context;
        ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID__Pictava, object.get(), &other.stream));
        HANDLE thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, use_from_other_apartment, &other, 0, nullptr));
        ASSERT_NE(nullptr, thread);
        DWORD index = 0;
        EXPECT_EQ(S_OK, CoWaitForMultipleHandles(0, 30000, 1, &thread, &index));
        CloseHandle(thread);
        EXPECT_EQ(S_OK, other.unmarshal);
        EXPECT_EQ(S_OK, other.call);
        EXPECT_EQ(blurred_spot(), other.after);
    }
    ReleaseActCtx(context);

    // The class stays unregistered. The one thing written is the platform
    // marshaller's own: to proxy _Pictava, Wine's automation marshaller loads
    // the type library named by the context with LoadTypeLib, which registers
    // the library and its interface.
    const std::wstring library = L"\\TYPELIB\\" + text(LIBID_Orvessa);
    const std::wstring iface = L"\\INTERFACE\\" + text(IID__Pictava);
    for (std::wstring change : changes(before, dump_classes())) {
        const std::wstring shown = change;
        CharUpperW(change.data());
        EXPECT_TRUE(change.starts_with(L"WRITTEN ") && (change.find(library) != std::wstring::npos ||
                                                         change.find(iface) != std::wstring::npos))
            << testing::PrintToString(shown);
    }
    EXPECT_NE(S_OK, CLSIDFromProgID(L"Orvessa.Pictava", &clsid));
}

INSTANTIATE_TEST_SUITE_P(Sources, RegistrationFreeTest,
                         ::testing::Values(ContextSource::manifest_file, ContextSource::dll_resource,
                                           ContextSource::client_dependency),
                         [](const ::testing::TestParamInfo<ContextSource>& info) {
                             switch (info.param) {
                                 case ContextSource::manifest_file: return "ManifestFile";
                                 case ContextSource::dll_resource: return "DllResource";
                                 default: return "ClientDependency";
                             }
                         });

}  // namespace
}  // namespace orvessa::test
