// Orvessa.Pictava through its vtable: creation by ProgID, the core's errors
// as HRESULTs with error information, the byte-array checks, reference
// counts and unloading, and a call marshalled from another apartment.
#include <process.h>

#include <algorithm>
#include <climits>

#include "com_test_support.hpp"

namespace orvessa::test {
namespace {

constexpr HRESULT overflow = static_cast<HRESULT>(0x800A0006);
constexpr HRESULT subscript_out_of_range = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT type_mismatch = static_cast<HRESULT>(0x800A000D);

// A 3 x 4 picture (stride 12), all zero but pixel (1, 1), the one pixel the
// blur filters, which holds 16 in every byte: its blurred value is 16 x 4 / 16.
constexpr LONG dim_x = 3, dim_y = 4, stride = 12;
constexpr std::size_t centre = (dim_y - 1 - 1) * stride + 3;
std::vector<std::uint8_t> spot_picture() {
    std::vector<std::uint8_t> bytes(stride * dim_y, 0);
    for (int b = 0; b < 3; ++b) bytes[centre + b] = 16;
    return bytes;
}

using ObjectTest = ComTest;

TEST_F(ObjectTest, CreatedByProgIdGivesPictavaWithItsInterfaces) {
    ComPtr<_Pictava> object = create_pictava();
    ASSERT_TRUE(object);
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_ISupportErrorInfo, support.put_void()));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID__Pictava));
    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IClassFactory, other.put_void()));
    EXPECT_FALSE(other);
}

TEST_F(ObjectTest, BlurChangesTheCallersArrayInPlace) {
    ComPtr<_Pictava> object = create_pictava();
    UniqueSafeArray array = make_bytes(spot_picture());
    SAFEARRAY* slot = array.get();
    ASSERT_EQ(S_OK, object->Blur_Buffer(&slot, dim_x, dim_y));
    EXPECT_EQ(array.get(), slot);
    std::vector<std::uint8_t> expected = spot_picture();
    for (int b = 0; b < 3; ++b) expected[centre + b] = 4;
    EXPECT_EQ(expected, read_bytes(array.get()));
}

TEST_F(ObjectTest, CoreErrorsBecomeHresultsWithErrorInfo) {
    ComPtr<_Pictava> object = create_pictava();
    UniqueSafeArray array = make_bytes(spot_picture());
    SAFEARRAY* slot = array.get();
    EXPECT_EQ(overflow, object->Blur_Buffer(&slot, 715827882, 1));
    ErrorRecord error = take_error_info();
    EXPECT_EQ(L"Orvessa.Pictava", error.source);
    EXPECT_EQ(L"Overflow", error.description);

    // Too small for the picture: stops at the first access it cannot serve.
    UniqueSafeArray small = make_bytes(std::vector<std::uint8_t>(5));
    slot = small.get();
    EXPECT_EQ(subscript_out_of_range, object->MedianCut_Buffer(&slot, dim_x, dim_y));
    EXPECT_EQ(L"Subscript out of range", take_error_info().description);

    short pixels = 77;
    EXPECT_EQ(overflow, object->ScaleX(1.0e7f, &pixels));
    EXPECT_EQ(0, pixels);

    // The object stays usable after an error.
    slot = array.get();
    EXPECT_EQ(S_OK, object->Blur_Buffer(&slot, dim_x, dim_y));
    EXPECT_EQ(4, read_bytes(array.get())[centre]);
}

TEST_F(ObjectTest, ArrayThatHoldsNothingOrHasTwoDimensionsIsOutOfRange) {
    ComPtr<_Pictava> object = create_pictava();
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(subscript_out_of_range, object->Blur_Buffer(&none, dim_x, dim_y));
    SAFEARRAYBOUND bounds[2] = {{4, 0}, {12, 0}};
    UniqueSafeArray square(SafeArrayCreate(VT_UI1, 2, bounds));
    SAFEARRAY* slot = square.get();
    EXPECT_EQ(subscript_out_of_range, object->Blur_Buffer(&slot, dim_x, dim_y));
    EXPECT_EQ(E_POINTER, object->Blur_Buffer(nullptr, dim_x, dim_y));
}

// regression: an array of VARIANTs passed through the vtable would have had
// its elements overwritten byte by byte.
TEST_F(ObjectTest, ArrayOfAnotherElementTypeIsRefusedUntouched) {
    ComPtr<_Pictava> object = create_pictava();
    for (VARTYPE type : {VT_VARIANT, VT_BSTR, VT_I4, VT_I1}) {
        SCOPED_TRACE(testing::Message() << "element type " << type);
        SAFEARRAYBOUND bound{stride * dim_y, 0};
        UniqueSafeArray array(SafeArrayCreate(type, 1, &bound));
        ASSERT_TRUE(array);
        SAFEARRAY* slot = array.get();
        EXPECT_EQ(type_mismatch, object->Blur_Buffer(&slot, dim_x, dim_y));
        EXPECT_EQ(L"Type mismatch", take_error_info().description);
        EXPECT_EQ(type_mismatch, object->MedianCut_Buffer(&slot, dim_x, dim_y));
        // Still intact: a VARIANT array can be destroyed without fault.
        VARIANT* first = nullptr;
        if (type == VT_VARIANT) {
            ASSERT_EQ(S_OK, SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&first)));
            EXPECT_EQ(VT_EMPTY, V_VT(first));
            SafeArrayUnaccessData(array.get());
        }
    }
}

// A caller's array built by hand, as a careless or hostile caller may build
// one that is still what it claims to be: its descriptor over storage with
// guard bytes on both sides, so that a write outside the array shows.
class HandBuiltArray {
public:
    static constexpr std::size_t guard = 64;
    static constexpr std::uint8_t canary = 0xA5;

    HandBuiltArray(VARTYPE type, const std::vector<std::uint8_t>& bytes, LONG lower_bound,
                   USHORT features, bool null_data)
        : storage_(guard + bytes.size() + guard, canary) {
        std::copy(bytes.begin(), bytes.end(), storage_.begin() + guard);
        if (FAILED(SafeArrayAllocDescriptorEx(type, 1, &array_))) return;
        array_->rgsabound[0] = {static_cast<ULONG>(bytes.size()), lower_bound};
        array_->pvData = null_data ? nullptr : storage_.data() + guard;
        array_->fFeatures |= features;
    }
    ~HandBuiltArray() {
        if (array_ == nullptr) return;
        while (array_->cLocks > 0) SafeArrayUnlock(array_);
        SafeArrayDestroyDescriptor(array_);  // the storage is ours
    }
    HandBuiltArray(const HandBuiltArray&) = delete;
    HandBuiltArray& operator=(const HandBuiltArray&) = delete;

    SAFEARRAY* get() const { return array_; }
    std::vector<std::uint8_t> elements() const {
        return {storage_.begin() + guard, storage_.end() - guard};
    }
    bool guards_intact() const {
        return std::all_of(storage_.begin(), storage_.begin() + guard, [](auto b) { return b == canary; }) &&
               std::all_of(storage_.end() - guard, storage_.end(), [](auto b) { return b == canary; });
    }

private:
    std::vector<std::uint8_t> storage_;
    SAFEARRAY* array_ = nullptr;
};

// Hostile but fair arrays, through the slots and late-bound: each gets its
// defined result or a clear error, nothing outside the array is written,
// and the caller's own lock is left as it was.
TEST_F(ObjectTest, HostileArraysGetTheirResultOrAClearError) {
    ComPtr<_Pictava> object = create_pictava();
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    std::vector<std::uint8_t> blurred = spot_picture();
    for (int b = 0; b < 3; ++b) blurred[centre + b] = 4;
    struct Case {
        const char* what;
        VARTYPE type;
        LONG lower_bound;
        USHORT features;
        bool null_data;  // and no elements
        bool locked;     // locked by the caller over the call
        LONG dim_x, dim_y;
        HRESULT result;  // through the slots
    };
    const Case cases[] = {
        {"null data, no elements", VT_UI1, 0, 0, true, false, dim_x, dim_y, subscript_out_of_range},
        {"null data, no elements, empty picture", VT_UI1, 0, 0, true, false, 0, dim_y, S_OK},
        {"fixed size", VT_UI1, 0, FADF_FIXEDSIZE, false, false, dim_x, dim_y, S_OK},
        {"static", VT_UI1, 0, FADF_STATIC, false, false, dim_x, dim_y, S_OK},
        {"static and fixed size, on the stack", VT_UI1, 0, FADF_AUTO | FADF_FIXEDSIZE, false, false,
         dim_x, dim_y, S_OK},
        {"locked by the caller", VT_UI1, 0, 0, false, true, dim_x, dim_y, S_OK},
        {"lowest index INT_MIN", VT_UI1, INT_MIN, 0, false, false, dim_x, dim_y, subscript_out_of_range},
        {"lowest index INT_MAX", VT_UI1, INT_MAX, 0, false, false, dim_x, dim_y, subscript_out_of_range},
        {"lowest index INT_MAX, last index past the 32-bit range", VT_UI1, INT_MAX - 20, 0, false, false,
         dim_x, dim_y, subscript_out_of_range},
        {"signed bytes (VT_I1)", VT_I1, 0, 0, false, false, dim_x, dim_y, type_mismatch},
    };
    for (const Case& c : cases) {
        for (const bool late : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (late ? ", late-bound" : ", through the slots"));
            const std::vector<std::uint8_t> before = c.null_data ? std::vector<std::uint8_t>{} : spot_picture();
            HandBuiltArray array(c.type, before, c.lower_bound, c.features, c.null_data);
            ASSERT_NE(nullptr, array.get());
            if (c.locked) {
                ASSERT_EQ(S_OK, SafeArrayLock(array.get()));
            }
            SAFEARRAY* slot = array.get();
            if (!late) {
                EXPECT_EQ(c.result, object->Blur_Buffer(&slot, c.dim_x, c.dim_y));
            } else {
                VARIANT buffer;
                V_VT(&buffer) = VT_BYREF | VT_ARRAY | c.type;
                V_ARRAYREF(&buffer) = &slot;
                LateCall call;
                invoke(dispatch.get(), 0x60030002, {buffer, v_i4(c.dim_x), v_i4(c.dim_y)}, call);
                if (c.type != VT_UI1) {
                    EXPECT_EQ(DISP_E_TYPEMISMATCH, call.hr);  // refused before the method
                } else if (FAILED(c.result)) {
                    EXPECT_EQ(DISP_E_EXCEPTION, call.hr);
                    EXPECT_EQ(c.result, call.exception.scode);
                } else {
                    EXPECT_EQ(S_OK, call.hr);
                }
            }
            EXPECT_EQ(array.get(), slot);
            EXPECT_EQ(c.locked ? 1u : 0u, array.get()->cLocks);
            EXPECT_TRUE(array.guards_intact());
            const bool filtered = c.result == S_OK && c.dim_x == dim_x;
            EXPECT_EQ(filtered ? blurred : before, array.elements());
        }
    }
}

TEST_F(ObjectTest, ReferenceCountsReturnToZeroAndTheServerMayUnload) {
    ComPtr<_Pictava> object = create_pictava();
    ASSERT_TRUE(object);
    EXPECT_EQ(S_FALSE, call_can_unload_now());
    EXPECT_EQ(2u, object->AddRef());
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    EXPECT_EQ(2u, object->Release());
    dispatch.reset();
    EXPECT_EQ(0u, object.detach()->Release());
    EXPECT_EQ(S_OK, call_can_unload_now());

    // A lock on the class factory keeps the server too.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_Pictava, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, factory.put_void()));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, call_can_unload_now());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, call_can_unload_now());
    ComPtr<IUnknown> outer, aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                      aggregated.put_void()));
}

// The other apartment's side: unmarshals the object and blurs its own array.
struct CrossCall {
    IStream* stream = nullptr;
    HRESULT unmarshal = E_FAIL;
    HRESULT call = E_FAIL;
    std::vector<std::uint8_t> after;
    _Pictava* original = nullptr;
    bool proxied = false;
};

unsigned __stdcall other_apartment(void* arg) {
    auto& cross = *static_cast<CrossCall*>(arg);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<_Pictava> object;
        cross.unmarshal = CoGetInterfaceAndReleaseStream(cross.stream, IID__Pictava, object.put_void());
        if (SUCCEEDED(cross.unmarshal)) {
            cross.proxied = object.get() != cross.original;
            UniqueSafeArray array = make_bytes(spot_picture());
            SAFEARRAY* slot = array.get();
            cross.call = object->Blur_Buffer(&slot, dim_x, dim_y);
            if (slot != array.get()) {  // the marshaller replaced (and freed) the array
                array.release();
                array.reset(slot);
            }
            cross.after = read_bytes(array.get());
        }
    }
    CoUninitialize();
    return 0;
}

TEST_F(ObjectTest, CallFromAnotherApartmentChangesThatCallersArray) {
    ComPtr<_Pictava> object = create_pictava();
    CrossCall cross;
    cross.original = object.get();
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID__Pictava, object.get(), &cross.stream));
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, other_apartment, &cross, 0, nullptr));
    ASSERT_NE(nullptr, thread);
    // The object's apartment serves the marshalled call while it waits.
    DWORD index = 0;
    EXPECT_EQ(S_OK, CoWaitForMultipleHandles(0, 30000, 1, &thread, &index));
    CloseHandle(thread);
    ASSERT_EQ(S_OK, cross.unmarshal);
    EXPECT_TRUE(cross.proxied);
    EXPECT_EQ(S_OK, cross.call);
    std::vector<std::uint8_t> expected = spot_picture();
    for (int b = 0; b < 3; ++b) expected[centre + b] = 4;
    EXPECT_EQ(expected, cross.after);
}

}  // namespace
}  // namespace orvessa::test
