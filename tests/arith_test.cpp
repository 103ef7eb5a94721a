// Errors, checked arithmetic and rounding: shared by every method.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>

#include "orvessa/float_env.hpp"
#include "orvessa/arith.hpp"

namespace orvessa {
namespace {

TEST(Errors, NumbersHresultsAndDescriptions) {
    struct Case {
        Error error;
        std::int32_t number;
        std::uint32_t hresult;
        const char* description;
    };
    const Case cases[] = {
        {Error::overflow(), 6, 0x800A0006u, "Overflow"},
        {Error::out_of_memory(), 7, 0x800A0007u, "Out of memory"},
        {Error::subscript_out_of_range(), 9, 0x800A0009u, "Subscript out of range"},
        {Error::type_mismatch(), 13, 0x800A000Du, "Type mismatch"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.number(), c.number);
        EXPECT_EQ(static_cast<std::uint32_t>(c.error.hresult()), c.hresult);
        EXPECT_EQ(c.error.description(), c.description);
        EXPECT_FALSE(c.error.is_platform());
    }
    EXPECT_EQ(Error::floating_point("division by zero").number(), 11);

    const Error missing = Error::platform(static_cast<std::int32_t>(0x800A0035u), "File not found");
    EXPECT_EQ(missing.number(), 53);
    EXPECT_EQ(missing.description(), "File not found");
    const Error other = Error::platform(static_cast<std::int32_t>(0x80070002u));
    EXPECT_TRUE(other.is_platform());
    EXPECT_EQ(static_cast<std::uint32_t>(other.number()), 0x80070002u);
    EXPECT_NE(other.description().find("0x80070002"), std::string::npos);
}

TEST(CheckedArithmetic, RaisesOverflowAtThe32BitEdges) {
    EXPECT_EQ(checked_add(INT_MAX - 1, 1), INT_MAX);
    EXPECT_EQ(checked_sub(INT_MIN + 1, 1), INT_MIN);
    EXPECT_EQ(checked_mul(-65536, 32768), INT_MIN);
    EXPECT_THROW(checked_add(INT_MAX, 1), Error);
    EXPECT_THROW(checked_sub(INT_MIN, 1), Error);
    EXPECT_THROW(checked_mul(65536, 32768), Error);
    try {
        checked_mul(3, 715827883);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const std::pair<double, double> cases[] = {
        {10.5, 10}, {11.5, 12}, {-2.5, -2}, {0.49, 0}, {0.5, 0}, {1.5, 2}, {-0.5, 0},
        {-1.5, -2}, {2.4999999, 2}, {2.5000001, 3}, {4503599627370495.5, 4503599627370496.0},
        {-7.75, -8}, {1e300, 1e300}};
    for (auto [in, want] : cases) EXPECT_EQ(round_half_even(in), want) << in;
}

TEST(Rounding, RangesOfTheConversions) {
    EXPECT_EQ(round_to_int16(32767.49f), 32767);
    EXPECT_EQ(round_to_int16(-32768.5), -32768);
    EXPECT_THROW(round_to_int16(32767.5), Error);
    EXPECT_THROW(round_to_int16(-32768.51f), Error);
    EXPECT_EQ(round_to_int32(2147483647.49), INT_MAX);
    EXPECT_EQ(round_to_int32(-2147483648.5), INT_MIN);
    EXPECT_THROW(round_to_int32(2147483647.5), Error);
    EXPECT_THROW(round_to_int32(std::nan("")), Error);
    EXPECT_THROW(round_to_int32(HUGE_VAL), Error);
    EXPECT_EQ(round_to_byte(254.5), 254);
    EXPECT_EQ(round_to_byte(-0.5), 0);
    EXPECT_THROW(round_to_byte(255.5), Error);
    EXPECT_THROW(round_to_byte(-0.51), Error);
    for (int i = 0; i <= 255 * 16; ++i) {
        const float v = static_cast<float>(i) / 16.0f;
        ASSERT_EQ(round_unit_byte(v), round_to_byte(v)) << v;
    }
}

// The caller's rounding mode must not change any result.
TEST(Rounding, IndependentOfTheCallersRoundingMode) {
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        EXPECT_EQ(round_to_int16(10.5), 10);
        EXPECT_EQ(round_to_int16(-2.5), -2);
        EXPECT_EQ(round_to_int32(-7.75), -8);
        EXPECT_EQ(round_unit_byte(2.5f), 2);
        {
            const NearestRoundingScope nearest;
            EXPECT_EQ(std::fegetround(), FE_TONEAREST);
            volatile double third = 1.0;
            EXPECT_EQ(static_cast<float>(third / 3.0), 1.0f / 3.0f);
        }
        EXPECT_EQ(std::fegetround(), mode);
        std::fesetround(FE_TONEAREST);
    }
}

}  // namespace
}  // namespace orvessa
