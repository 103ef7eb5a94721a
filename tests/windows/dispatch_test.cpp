// Orvessa.Pictava late-bound: names to ids, positional and named arguments,
// defaults, by-reference variants, coercions and their errors, and method
// errors through EXCEPINFO, checked against the same calls through the vtable.
#include "com_test_support.hpp"

namespace orvessa::test {
namespace {

constexpr DISPID id_scale_x = 0x60030000, id_scale_y = 0x60030001, id_blur = 0x60030002,
                 id_median_cut = 0x60030003, id_color_to_bn = 0x60030004;

class DispatchTest : public PictavaTest {
protected:
    void SetUp() override {
        PictavaTest::SetUp();
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    }
    void TearDown() override {
        dispatch.reset();
        PictavaTest::TearDown();
    }

    HRESULT ids_of(std::vector<const wchar_t*> names, std::vector<DISPID>& ids) {
        ids.assign(names.size(), 12345);
        return dispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                                       static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT, ids.data());
    }

    ComPtr<IDispatch> dispatch;
};

TEST_F(DispatchTest, NamesMapToIdsInMethodOrderWhateverTheirCase) {
    std::vector<DISPID> ids;
    const wchar_t* names[] = {L"ScaleX", L"scaley", L"BLUR_BUFFER", L"MedianCut_Buffer", L"colortobn"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(S_OK, ids_of({names[i]}, ids));
        EXPECT_EQ(0x60030000 + i, ids[0]);
    }
    ASSERT_EQ(S_OK, ids_of({L"ColorToBN", L"height", L"FileName", L"Threshold"}, ids));
    EXPECT_EQ((std::vector<DISPID>{id_color_to_bn, 7, 0, 4}), ids);
    ASSERT_EQ(S_OK, ids_of({L"ScaleX", L"Width"}, ids));
    EXPECT_EQ(0, ids[1]);

    EXPECT_EQ(DISP_E_UNKNOWNNAME, ids_of({L"Scale"}, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, ids_of({L"ScaleY", L"Width"}, ids));
    EXPECT_EQ((std::vector<DISPID>{id_scale_y, DISPID_UNKNOWN}), ids);
}

TEST_F(DispatchTest, LateAndEarlyBoundCallsAgree) {
    for (double himetric : {0.0, 2540.0, -2540.0, 1234.5, 30000.0}) {
        SCOPED_TRACE(himetric);
        short early = 0;
        ASSERT_EQ(S_OK, object->ScaleX(static_cast<float>(himetric), &early));
        LateCall late;
        invoke(dispatch.get(), id_scale_x, {v_r8(himetric)}, late);
        ASSERT_EQ(S_OK, late.hr);
        ASSERT_EQ(VT_I2, V_VT(late.result.get()));
        EXPECT_EQ(early, V_I2(late.result.get()));

        ASSERT_EQ(S_OK, object->ScaleY(static_cast<float>(himetric), &early));
        LateCall late_y;
        invoke(dispatch.get(), id_scale_y, {v_r8(himetric)}, late_y);
        EXPECT_EQ(early, V_I2(late_y.result.get()));
    }
}

TEST_F(DispatchTest, ByteArrayPassedByReferenceIsChangedInPlace) {
    // The same 3 x 4 picture as in the vtable tests: one filtered pixel.
    std::vector<std::uint8_t> bytes(48, 0);
    for (int b = 0; b < 3; ++b) bytes[27 + b] = 16;
    for (DISPID id : {id_blur, id_median_cut}) {
        SCOPED_TRACE(id);
        UniqueSafeArray late_array = make_bytes(bytes);
        SAFEARRAY* slot = late_array.get();
        LateCall late;
        invoke(dispatch.get(), id, {v_bytes_ref(&slot), v_i4(3), v_i4(4)}, late);
        ASSERT_EQ(S_OK, late.hr);
        EXPECT_EQ(VT_EMPTY, V_VT(late.result.get()));

        UniqueSafeArray early_array = make_bytes(bytes);
        SAFEARRAY* early_slot = early_array.get();
        ASSERT_EQ(S_OK, id == id_blur ? object->Blur_Buffer(&early_slot, 3, 4)
                                      : object->MedianCut_Buffer(&early_slot, 3, 4));
        EXPECT_EQ(read_bytes(early_array.get()), read_bytes(late_array.get()));
        EXPECT_NE(bytes, read_bytes(late_array.get()));
    }
    // A script variable holding the array: a reference to a VARIANT that holds it.
    VARIANT holder;
    V_VT(&holder) = VT_ARRAY | VT_UI1;
    V_ARRAY(&holder) = make_bytes(bytes).release();
    LateCall late;
    invoke(dispatch.get(), id_blur, {v_ref(&holder), v_i4(3), v_i4(4)}, late);
    EXPECT_EQ(S_OK, late.hr);
    EXPECT_EQ(4, read_bytes(V_ARRAY(&holder))[27]);
    VariantClear(&holder);
}

TEST_F(DispatchTest, OmittedOptionalsTakeTheirDefaults) {
    UniqueBstr missing(SysAllocString(L"Z:\\no\\such\\picture.bmp"));
    // Three arguments only, then all five optionals passed as missing.
    LateCall three;
    invoke(dispatch.get(), id_color_to_bn, {v_bstr(missing.get()), v_i4(0), v_i4(0)}, three);
    EXPECT_EQ(S_OK, three.hr);
    ASSERT_EQ(VT_BOOL, V_VT(three.result.get()));
    EXPECT_EQ(VARIANT_FALSE, V_BOOL(three.result.get()));
    LateCall eight;
    invoke(dispatch.get(), id_color_to_bn,
           {v_bstr(missing.get()), v_i4(0), v_i4(0), v_missing(), v_missing(), v_missing(),
            v_missing(), v_missing()},
           eight);
    EXPECT_EQ(S_OK, eight.hr);
    // A required parameter may not be missing, nor left out.
    LateCall required;
    invoke(dispatch.get(), id_color_to_bn, {v_bstr(missing.get()), v_missing(), v_i4(0)}, required);
    EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, required.hr);
    EXPECT_EQ(1u, required.arg_error);
    LateCall two;
    invoke(dispatch.get(), id_color_to_bn, {v_bstr(missing.get()), v_i4(0)}, two);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, two.hr);
}

TEST_F(DispatchTest, NamedArgumentsAndScriptVariablesReachTheirParameters) {
    UniqueBstr missing(SysAllocString(L"Z:\\no\\such\\picture.bmp"));
    VARIANT threshold = v_i4(200);
    // The three positional arguments, then named HoldProportion (5) and Threshold (4).
    LateCall named;
    invoke(dispatch.get(), id_color_to_bn,
           {v_bstr(missing.get()), v_i4(0), v_i4(0), v_ref(&threshold), v_i4(0)}, named, {5, 4});
    EXPECT_EQ(S_OK, named.hr);
    // A value too big for a byte shows which parameter a name reached: only
    // Threshold overflows at 300, Width does not.
    VARIANT big = v_i4(300);
    LateCall to_width;
    invoke(dispatch.get(), id_color_to_bn,
           {v_bstr(missing.get()), v_i4(0), v_i4(0), v_ref(&big)}, to_width, {6});
    EXPECT_EQ(S_OK, to_width.hr);
    LateCall to_threshold;
    invoke(dispatch.get(), id_color_to_bn,
           {v_bstr(missing.get()), v_i4(0), v_i4(0), v_i4(1), v_ref(&big)}, to_threshold, {4, 3});
    EXPECT_EQ(DISP_E_OVERFLOW, to_threshold.hr);
    EXPECT_EQ(0u, to_threshold.arg_error);

    VARIANT width = v_r8(2540.0);
    LateCall by_name;
    invoke(dispatch.get(), id_scale_x, {v_ref(&width)}, by_name, {0});
    ASSERT_EQ(S_OK, by_name.hr);
    short early = 0;
    object->ScaleX(2540.0f, &early);
    EXPECT_EQ(early, V_I2(by_name.result.get()));

    LateCall unknown;
    invoke(dispatch.get(), id_scale_x, {v_r8(1.0)}, unknown, {1});
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, unknown.hr);
    EXPECT_EQ(0u, unknown.arg_error);
    LateCall twice;
    invoke(dispatch.get(), id_blur, {v_i4(1), v_i4(1)}, twice, {1, 1});
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, twice.hr);
}

TEST_F(DispatchTest, ArgumentsAreCoercedToTheDeclaredTypes) {
    UniqueBstr text(SysAllocString(L"2540"));
    LateCall from_text;
    invoke(dispatch.get(), id_scale_x, {v_bstr(text.get())}, from_text);
    ASSERT_EQ(S_OK, from_text.hr);
    short early = 0;
    object->ScaleX(2540.0f, &early);
    EXPECT_EQ(early, V_I2(from_text.result.get()));

    // Threshold is a byte: 256 overflows it; the failing argument is named by
    // its place in rgvarg (arguments stand there last to first).
    UniqueBstr missing(SysAllocString(L"Z:\\no\\such\\picture.bmp"));
    LateCall too_big;
    invoke(dispatch.get(), id_color_to_bn,
           {v_bstr(missing.get()), v_i4(0), v_i4(0), v_i4(0), v_i4(256)}, too_big);
    EXPECT_EQ(DISP_E_OVERFLOW, too_big.hr);
    EXPECT_EQ(0u, too_big.arg_error);

    // A 64-bit caller's 8-byte integers (LongPtr) for the 32-bit parameters:
    // taken when the value fits, else the overflow, naming the argument.
    struct Wide {
        LONGLONG value;
        HRESULT expected;
    };
    for (const Wide w : {Wide{-1, S_OK}, Wide{0x7FFFFFFF, S_OK}, Wide{-0x7FFFFFFFLL - 1, S_OK},
                         Wide{0x80000000LL, DISP_E_OVERFLOW}, Wide{-0x80000001LL, DISP_E_OVERFLOW},
                         Wide{0x100000000LL, DISP_E_OVERFLOW}}) {
        constexpr UINT untouched = 0xFFFFFFFF;
        SCOPED_TRACE(w.value);
        LateCall hdc;
        invoke(dispatch.get(), id_color_to_bn, {v_bstr(missing.get()), v_i8(w.value), v_i4(0)}, hdc);
        EXPECT_EQ(w.expected, hdc.hr);
        EXPECT_EQ(FAILED(w.expected) ? 1u : untouched, hdc.arg_error);
        VARIANT held = v_i8(w.value);
        LateCall image;  // a variable passed by reference, as a caller's own LongPtr
        invoke(dispatch.get(), id_color_to_bn, {v_bstr(missing.get()), v_i4(0), v_ref(&held)}, image);
        EXPECT_EQ(w.expected, image.hr);
        EXPECT_EQ(FAILED(w.expected) ? 0u : untouched, image.arg_error);
        SAFEARRAY* nothing = nullptr;
        LateCall dim;
        invoke(dispatch.get(), id_blur, {v_bytes_ref(&nothing), v_i8(w.value), v_i4(4)}, dim);
        EXPECT_EQ(SUCCEEDED(w.expected) ? DISP_E_EXCEPTION : w.expected, dim.hr);
        EXPECT_EQ(FAILED(w.expected) ? 1u : untouched, dim.arg_error);
    }

    UniqueBstr word(SysAllocString(L"wide"));
    LateCall not_a_number;
    invoke(dispatch.get(), id_blur, {v_missing(), v_bstr(word.get()), v_i4(1)}, not_a_number);
    EXPECT_NE(S_OK, not_a_number.hr);
    LateCall not_an_array;
    invoke(dispatch.get(), id_blur, {v_i4(7), v_i4(1), v_i4(1)}, not_an_array);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, not_an_array.hr);
    EXPECT_EQ(2u, not_an_array.arg_error);
    LateCall bad_dim;
    invoke(dispatch.get(), id_scale_y, {v_bstr(word.get())}, bad_dim);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, bad_dim.hr);
    EXPECT_EQ(0u, bad_dim.arg_error);
    LateCall float_overflow;
    invoke(dispatch.get(), id_scale_x, {v_r8(1.0e300)}, float_overflow);
    EXPECT_EQ(DISP_E_OVERFLOW, float_overflow.hr);
}

TEST_F(DispatchTest, CallShapeErrors) {
    LateCall too_many;
    invoke(dispatch.get(), id_scale_x, {v_i4(1), v_i4(2)}, too_many);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, too_many.hr);
    LateCall no_member;
    invoke(dispatch.get(), 0x60030005, {}, no_member);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, no_member.hr);
    LateCall put;
    invoke(dispatch.get(), id_scale_x, {v_i4(1)}, put, {DISPID_PROPERTYPUT}, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, put.hr);
    LateCall none;
    invoke(dispatch.get(), id_scale_x, {}, none);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, none.hr);
    // A reference that refers to itself would never end.
    VARIANT self;
    V_VT(&self) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&self) = &self;
    LateCall loop;
    invoke(dispatch.get(), id_scale_x, {self}, loop);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, loop.hr);
}

TEST_F(DispatchTest, MethodErrorsArriveAsExceptionInfo) {
    LateCall overflow;
    invoke(dispatch.get(), id_scale_x, {v_r8(1.0e7)}, overflow);
    ASSERT_EQ(DISP_E_EXCEPTION, overflow.hr);
    EXPECT_EQ(static_cast<SCODE>(0x800A0006), overflow.exception.scode);
    EXPECT_STREQ(L"Orvessa.Pictava", overflow.exception.bstrSource);
    EXPECT_STREQ(L"Overflow", overflow.exception.bstrDescription);

    SAFEARRAY* nothing = nullptr;
    LateCall out_of_range;
    invoke(dispatch.get(), id_median_cut, {v_bytes_ref(&nothing), v_i4(3), v_i4(4)}, out_of_range);
    ASSERT_EQ(DISP_E_EXCEPTION, out_of_range.hr);
    EXPECT_EQ(static_cast<SCODE>(0x800A0009), out_of_range.exception.scode);
    EXPECT_STREQ(L"Subscript out of range", out_of_range.exception.bstrDescription);
}

TEST_F(DispatchTest, TypeInfoIsTheLibrarysInterface) {
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(IID__Pictava, attr->guid));
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, info.put()));
}

}  // namespace
}  // namespace orvessa::test
