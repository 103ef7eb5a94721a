// Helpers for the tests of Orvessa.dll under Wine: the apartment, the
// object made from its ProgID, byte arrays, late-bound calls and the
// server's own exports.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/orvessa_idl.h"
#include "platform/win32/win32_raii.hpp"

namespace orvessa::test {

using win32::ComPtr;
using win32::UniqueBstr;
using win32::UniqueSafeArray;
using win32::UniqueVariant;

// Each test runs in a single-threaded apartment of its own.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override { CoUninitialize(); }
};

// Orvessa.Pictava, created by its ProgID.
ComPtr<_Pictava> create_pictava();

// An apartment and one Pictava object for each test.
class PictavaTest : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        object = create_pictava();
        ASSERT_TRUE(object);
    }
    void TearDown() override {
        object.reset();
        ComTest::TearDown();
    }
    ComPtr<_Pictava> object;
};

// A one-dimensional byte array with the given elements and lowest index.
UniqueSafeArray make_bytes(const std::vector<std::uint8_t>& bytes, LONG lower_bound = 0);
std::vector<std::uint8_t> read_bytes(SAFEARRAY* array);

// The folder of the test program, where Orvessa.dll lies beside it.
std::wstring program_folder();
// A path under the sample pictures, as a Windows path.
std::wstring picture_path(const char* name);

// The exports of the loaded server.
HRESULT call_can_unload_now();

// A late-bound call with arguments in call order (the helper reverses them).
struct LateCall {
    HRESULT hr = E_FAIL;
    UniqueVariant result;
    EXCEPINFO exception{};
    UINT arg_error = 0xFFFFFFFF;
    ~LateCall();
};
void invoke(IDispatch* object, DISPID id, std::vector<VARIANT> args, LateCall& call,
            std::vector<DISPID> named = {}, WORD flags = DISPATCH_METHOD);

VARIANT v_i4(LONG value);
VARIANT v_i8(LONGLONG value);  // what a 64-bit caller passes for a LongPtr
VARIANT v_r8(double value);
// A byte array passed by reference: the variant points at the caller's slot.
VARIANT v_bytes_ref(SAFEARRAY** slot);
VARIANT v_bstr(BSTR value);  // borrows the string
VARIANT v_missing();
VARIANT v_ref(VARIANT* target);  // VT_BYREF | VT_VARIANT

// The one description an automation client sees after a failure.
struct ErrorRecord {
    std::wstring source;
    std::wstring description;
};
ErrorRecord take_error_info();

}  // namespace orvessa::test
