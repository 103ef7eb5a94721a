// ScaleX and ScaleY through the real conversion form: the display's logical
// resolution, the rounding of the result, and one form per thread.
#include <process.h>

#include "com_test_support.hpp"
#include "orvessa/pictava.hpp"
#include "platform/win32/win32_platform.hpp"

namespace orvessa::test {
namespace {

constexpr HRESULT overflow = static_cast<HRESULT>(0x800A0006);

int screen_dpi(int axis) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, axis);
    ReleaseDC(nullptr, screen);
    return dpi;
}

class ConversionFormTest : public PictavaTest {
protected:
    short scale_x(float himetric, HRESULT expected = S_OK) {
        short pixels = 1;
        EXPECT_EQ(expected, object->ScaleX(himetric, &pixels)) << himetric;
        return pixels;
    }
};

TEST_F(ConversionFormTest, OneInchIsTheDisplaysLogicalResolution) {
    EXPECT_EQ(screen_dpi(LOGPIXELSX), scale_x(2540.0f));
    EXPECT_EQ(-screen_dpi(LOGPIXELSX), scale_x(-2540.0f));
    short pixels = 1;
    ASSERT_EQ(S_OK, object->ScaleY(2540.0f, &pixels));
    EXPECT_EQ(screen_dpi(LOGPIXELSY), pixels);
    EXPECT_EQ(0, scale_x(0.0f));
}

// The lengths below give exact halves at 96 dots per inch
// (h = pixels x 2540 / 96, chosen so that the float holds h exactly).
TEST_F(ConversionFormTest, HalvesRoundToEvenAndTheRangeIsChecked) {
    if (screen_dpi(LOGPIXELSX) != 96) GTEST_SKIP() << "needs a display at 96 dots per inch";
    EXPECT_EQ(10, scale_x(277.8125f));     // 10.5
    EXPECT_EQ(2, scale_x(39.6875f));       // 1.5
    EXPECT_EQ(-4, scale_x(-119.0625f));    // -4.5
    EXPECT_EQ(32764, scale_x(866894.0625f));  // 32764.5
    EXPECT_EQ(0, scale_x(866973.4375f, overflow));   // 32767.5
    EXPECT_EQ(0, scale_x(-867052.8125f, overflow));  // -32770.5
}

// The same core and platform as the DLL's, linked into this program so that
// the forms can be counted. Each run is on a fresh thread.
struct FormCount {
    long after_creating = -1;
    long after_converting = -1;
};

unsigned __stdcall convert_on_new_thread(void* arg) {
    auto& count = *static_cast<FormCount*>(arg);
    const long before = win32::conversion_forms_created();
    std::vector<Pictava> objects(20);
    count.after_creating = win32::conversion_forms_created() - before;
    for (Pictava& object : objects) {
        object.ScaleX(2540.0f);
        object.ScaleY(100.0f);
    }
    count.after_converting = win32::conversion_forms_created() - before;
    return 0;
}

TEST(ConversionFormThreads, OneFormPerThreadCreatedOnFirstConversion) {
    FormCount counts[2];
    for (FormCount& c : counts) {
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, convert_on_new_thread, &c, 0, nullptr));
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
    }
    for (const FormCount& c : counts) {
        EXPECT_EQ(0, c.after_creating);
        EXPECT_EQ(1, c.after_converting);
    }
}

}  // namespace
}  // namespace orvessa::test
