// The type library carried by Orvessa.dll, read back as a client reads it.
#include "com_test_support.hpp"
#include "server/dispatch_table.hpp"

namespace orvessa::test {
namespace {

class TypeLibraryTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        const std::wstring dll = program_folder() + L"Orvessa.dll";
        ASSERT_EQ(S_OK, LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.put()));
    }

    // The vtable side of the dual interface: the five methods in slot order.
    ComPtr<ITypeInfo> interface_info() {
        ComPtr<ITypeInfo> dispatch, vtable;
        EXPECT_EQ(S_OK, library->GetTypeInfoOfGuid(IID__Pictava, dispatch.put()));
        HREFTYPE ref = 0;
        EXPECT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &ref));
        EXPECT_EQ(S_OK, dispatch->GetRefTypeInfo(ref, vtable.put()));
        return vtable;
    }

    ComPtr<ITypeLib> library;
};

std::vector<std::wstring> names_of(ITypeInfo* info, MEMBERID id) {
    BSTR names[12] = {};
    UINT count = 0;
    EXPECT_EQ(S_OK, info->GetNames(id, names, 12, &count));
    std::vector<std::wstring> out;
    for (UINT i = 0; i < count; ++i) {
        out.emplace_back(names[i]);
        SysFreeString(names[i]);
    }
    return out;
}

TEST_F(TypeLibraryTest, LibraryIsOrvessa11NeutralWithInterfaceThenClass) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Orvessa));
    EXPECT_EQ(11, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0u, attr->lcid);
    // The target is the DLL's own bitness.
    EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, attr->syskind);
    // LIBFLAG_FHASDISKIMAGE is added by the loader for any library read from a file.
    EXPECT_EQ(0, attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
    library->ReleaseTLibAttr(attr);

    UniqueBstr name, help;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr));
    EXPECT_STREQ(L"Orvessa", name.get());
    EXPECT_FALSE(help);

    ASSERT_EQ(2u, library->GetTypeInfoCount());
    TYPEKIND kind;
    EXPECT_EQ(S_OK, library->GetTypeInfoType(0, &kind));
    EXPECT_EQ(TKIND_DISPATCH, kind);
    EXPECT_EQ(S_OK, library->GetTypeInfoType(1, &kind));
    EXPECT_EQ(TKIND_COCLASS, kind);
}

TEST_F(TypeLibraryTest, InterfaceIsHiddenDualNonextensibleOleautomationVersion1) {
    constexpr WORD flags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                           TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    ComPtr<ITypeInfo> vtable = interface_info();
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(IID__Pictava, attr->guid));
    EXPECT_EQ(flags, attr->wTypeFlags);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(1, attr->cImplTypes);  // IDispatch
    vtable->ReleaseTypeAttr(attr);

    // The dispatch side of a dual interface carries the same flags but
    // oleautomation, which belongs to vtable interfaces only.
    ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID__Pictava, dispatch.put()));
    ASSERT_EQ(S_OK, dispatch->GetTypeAttr(&attr));
    EXPECT_EQ(flags & ~TYPEFLAG_FOLEAUTOMATION, attr->wTypeFlags);
    dispatch->ReleaseTypeAttr(attr);
    UniqueBstr name;
    ASSERT_EQ(S_OK, dispatch->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"_Pictava", name.get());
}

TEST_F(TypeLibraryTest, ClassIsCreatableWithDefaultInterface) {
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(CLSID_Pictava, coclass.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, attr->wTypeFlags);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(1, attr->cImplTypes);
    coclass->ReleaseTypeAttr(attr);
    INT flags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
}

struct ExpectedParam {
    const wchar_t* name;
    VARTYPE type;  // as declared, VT_PTR standing for by reference
    USHORT flags;
    int default_value;  // meaningful with PARAMFLAG_FHASDEFAULT
};

struct ExpectedMethod {
    const wchar_t* name;
    MEMBERID id;
    std::vector<ExpectedParam> params;
};

TEST_F(TypeLibraryTest, MethodsInSlotOrderWithIdsParametersAndDefaults) {
    constexpr USHORT in = PARAMFLAG_FIN, in_out = PARAMFLAG_FIN | PARAMFLAG_FOUT;
    constexpr USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    constexpr USHORT opt = PARAMFLAG_FOPT, has_default = PARAMFLAG_FHASDEFAULT;
    const std::vector<ExpectedMethod> expected = {
        {L"ScaleX", 0x60030000, {{L"Width", VT_R4, in, 0}, {L"retval", VT_PTR, retval, 0}}},
        {L"ScaleY", 0x60030001, {{L"Height", VT_R4, in, 0}, {L"retval", VT_PTR, retval, 0}}},
        {L"Blur_Buffer", 0x60030002,
         {{L"Buffer", VT_PTR, in_out, 0}, {L"DimX", VT_I4, in, 0}, {L"DimY", VT_I4, in, 0}}},
        {L"MedianCut_Buffer", 0x60030003,
         {{L"Buffer", VT_PTR, in_out, 0}, {L"DimX", VT_I4, in, 0}, {L"DimY", VT_I4, in, 0}}},
        {L"ColorToBN", 0x60030004,
         {{L"FileName", VT_BSTR, in, 0},
          {L"PictureHDC", VT_I4, in, 0},
          {L"ImageHandle", VT_I4, in, 0},
          {L"TwoColor", VT_PTR, static_cast<USHORT>(in_out | opt | has_default), 0},
          {L"Threshold", VT_PTR, static_cast<USHORT>(in_out | opt | has_default), 128},
          {L"HoldProportion", VT_PTR, static_cast<USHORT>(in_out | opt | has_default), 0},
          {L"Width", VT_PTR, static_cast<USHORT>(in_out | opt), 0},
          {L"Height", VT_PTR, static_cast<USHORT>(in_out | opt), 0},
          {L"retval", VT_PTR, retval, 0}}},
    };
    const VARTYPE pointed_to[] = {VT_I2, VT_I2, VT_SAFEARRAY, VT_SAFEARRAY, VT_BOOL};

    ComPtr<ITypeInfo> info = interface_info();
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    ASSERT_EQ(5, attr->cFuncs);
    info->ReleaseTypeAttr(attr);

    for (UINT f = 0; f < expected.size(); ++f) {
        const ExpectedMethod& m = expected[f];
        SCOPED_TRACE(testing::Message() << "method " << f);
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(f, &desc));
        EXPECT_EQ(m.id, desc->memid);
        EXPECT_EQ(INVOKE_FUNC, desc->invkind);
        EXPECT_EQ(0, desc->wFuncFlags);
        EXPECT_EQ(VT_HRESULT, desc->elemdescFunc.tdesc.vt);
        EXPECT_EQ(7 + f, desc->oVft / sizeof(void*));
        ASSERT_EQ(static_cast<SHORT>(m.params.size()), desc->cParams);
        const std::vector<std::wstring> names = names_of(info.get(), desc->memid);
        ASSERT_EQ(m.params.size() + 1, names.size());
        EXPECT_EQ(m.name, names[0]);
        for (std::size_t p = 0; p < m.params.size(); ++p) {
            const ExpectedParam& e = m.params[p];
            const ELEMDESC& actual = desc->lprgelemdescParam[p];
            SCOPED_TRACE(testing::Message() << "parameter " << p);
            EXPECT_EQ(e.name, names[p + 1]);
            EXPECT_EQ(e.type, actual.tdesc.vt);
            EXPECT_EQ(e.flags, actual.paramdesc.wParamFlags);
            if ((e.flags & PARAMFLAG_FHASDEFAULT) != 0) {
                ASSERT_NE(nullptr, actual.paramdesc.pparamdescex);
                UniqueVariant value;
                ASSERT_EQ(S_OK, VariantChangeType(value.get(), &actual.paramdesc.pparamdescex->varDefaultValue, 0, VT_I4));
                EXPECT_EQ(e.default_value, V_I4(value.get()));
            }
        }
        if (m.params.back().flags == retval) {
            EXPECT_EQ(pointed_to[f], desc->lprgelemdescParam[m.params.size() - 1].tdesc.lptdesc->vt);
        }
        info->ReleaseFuncDesc(desc);
    }
}

}  // namespace
}  // namespace orvessa::test

namespace orvessa::test {
namespace {

// The late-binding table of the server says what the type library says.
VARTYPE declared_type(const TYPEDESC& t) {
    const TYPEDESC& value = t.vt == VT_PTR ? *t.lptdesc : t;
    return value.vt == VT_SAFEARRAY ? static_cast<VARTYPE>(VT_ARRAY | value.lptdesc->vt) : value.vt;
}

TEST_F(TypeLibraryTest, DispatchTableMatchesTheLibrary) {
    ComPtr<ITypeInfo> info = interface_info();
    const auto methods = server::pictava_methods();
    ASSERT_EQ(5u, methods.size());
    for (UINT f = 0; f < methods.size(); ++f) {
        const server::MethodFact& m = methods[f];
        SCOPED_TRACE(testing::PrintToString(std::wstring(m.name)));
        FUNCDESC* desc = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(f, &desc));
        EXPECT_EQ(m.id, desc->memid);
        const std::vector<std::wstring> names = names_of(info.get(), desc->memid);
        EXPECT_EQ(m.name, names[0]);
        const bool has_result = m.result != VT_EMPTY;
        ASSERT_EQ(m.params.size() + (has_result ? 1 : 0), static_cast<std::size_t>(desc->cParams));
        for (std::size_t p = 0; p < m.params.size(); ++p) {
            const server::ParamFact& fact = m.params[p];
            const ELEMDESC& e = desc->lprgelemdescParam[p];
            EXPECT_EQ(fact.name, names[p + 1]);
            EXPECT_EQ(fact.type, declared_type(e.tdesc));
            EXPECT_EQ(fact.by_ref, e.tdesc.vt == VT_PTR);
            EXPECT_EQ(fact.optional, (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0);
            if ((e.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) != 0) {
                UniqueVariant value;
                ASSERT_EQ(S_OK, VariantChangeType(value.get(), &e.paramdesc.pparamdescex->varDefaultValue, 0, VT_I4));
                EXPECT_EQ(fact.default_value, V_I4(value.get()));
            } else {
                EXPECT_EQ(0, fact.default_value);
            }
        }
        if (has_result) {
            EXPECT_EQ(m.result, declared_type(desc->lprgelemdescParam[m.params.size()].tdesc));
        }
        info->ReleaseFuncDesc(desc);
    }
}

}  // namespace
}  // namespace orvessa::test
