#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>

#include "fake_platform.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa {
namespace {

using test::FakePlatform;

std::int32_t scale_x_error(Pictava& p, float value) {
    try {
        p.ScaleX(value);
    } catch (const Error& e) {
        return e.hresult();
    }
    return 0;
}

TEST(ScaleXY, ConvertAtTheFormsResolution) {
    FakePlatform fake;
    Pictava p(&fake);
    EXPECT_EQ(p.ScaleX(0.0f), 0);
    EXPECT_EQ(p.ScaleY(0.0f), 0);
    EXPECT_EQ(p.ScaleX(2540.0f), 96);
    EXPECT_EQ(p.ScaleX(-2540.0f), -96);
}

TEST(ScaleXY, RoundHalfToEvenWithin16Bits) {
    FakePlatform fake;
    float result = 0;
    fake.form_x = [&](float) { return result; };
    fake.form_y = [&](float) { return result; };
    Pictava p(&fake);
    const std::pair<float, std::int16_t> cases[] = {
        {10.5f, 10}, {11.5f, 12}, {-2.5f, -2}, {0.49f, 0}, {32767.49f, 32767}, {-32768.5f, -32768}};
    for (const auto& [value, want] : cases) {
        result = value;
        EXPECT_EQ(p.ScaleX(1.0f), want) << value;
        EXPECT_EQ(p.ScaleY(1.0f), want) << value;
    }
    constexpr std::int32_t overflow = static_cast<std::int32_t>(0x800A0006u);
    for (float value : {32767.5f, -32768.51f, 1e9f, std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN()}) {
        result = value;
        EXPECT_EQ(scale_x_error(p, 1.0f), overflow) << value;
        EXPECT_THROW(p.ScaleY(1.0f), Error) << value;
    }
}

TEST(ScaleXY, IgnoreTheCallersRoundingMode) {
    FakePlatform fake;
    fake.form_x = [](float) { return 10.5f; };
    Pictava p(&fake);
    std::fesetround(FE_UPWARD);
    const std::int16_t r = p.ScaleX(1.0f);
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(mode, FE_UPWARD);
}

TEST(ScaleXY, OneFormReusedByEveryObjectAndTheHeaderUntouched) {
    FakePlatform fake;
    Pictava a(&fake), b(&fake);
    EXPECT_EQ(fake.forms_created, 0);  // creating objects makes no form
    const BitmapInfo before = a.bitmap_info();
    a.ScaleX(100.0f);
    b.ScaleY(100.0f);
    a.ScaleY(100.0f);
    EXPECT_EQ(fake.forms_created, 1);
    EXPECT_EQ(std::memcmp(&before, &a.bitmap_info(), sizeof before), 0);
}

TEST(ScaleXY, FormFailuresPassThroughWithTheirHresult) {
    FakePlatform fake;
    Pictava p(&fake);
    fake.fail_at = "scale_x";
    EXPECT_EQ(scale_x_error(p, 5.0f), test::fake_failure);
    EXPECT_EQ(fake.forms_created, 1);  // the form made by the failing first call stays
    fake.fail_at = "conversion_form";
    EXPECT_EQ(scale_x_error(p, 5.0f), test::fake_failure);
    Pictava without_platform(nullptr);
    EXPECT_THROW(without_platform.ScaleX(1.0f), Error);
}

}  // namespace
}  // namespace orvessa
