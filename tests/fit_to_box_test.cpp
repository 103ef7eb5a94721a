#include <gtest/gtest.h>

#include <cfenv>
#include <climits>

#include "convert/fit_to_box.hpp"
#include "orvessa/error.hpp"

namespace orvessa {
namespace {

struct Rect {
    std::int32_t left = -1, top = -1, width = -1, height = -1;
    bool operator==(const Rect&) const = default;
};

Rect fit(std::int32_t bw, std::int32_t bh, std::int32_t pw, std::int32_t ph) {
    Rect r;
    convert::fit_to_box(bw, bh, pw, ph, r.left, r.top, r.width, r.height);
    return r;
}

std::int32_t error_number_of_fit(std::int32_t bw, std::int32_t bh, std::int32_t pw, std::int32_t ph) {
    try {
        fit(bw, bh, pw, ph);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(FitToBox, WorkedExamples) {
    struct Row { std::int32_t bw, bh, pw, ph; Rect want; };
    const Row rows[] = {
        {400, 300, 800, 400, {0, 50, 400, 200}},   // wider box, Hw fits
        {400, 300, 300, 600, {125, 0, 150, 300}},  // wider box, falls back to Wh
        {400, 300, 40, 30, {0, 0, 400, 300}},      // enlarged tenfold
        {200, 200, 640, 480, {0, 25, 200, 150}},   // square box takes the height first
        {300, 400, 300, 400, {0, 0, 300, 400}},    // candidate equal to the box side fits
        {101, 50, 100, 100, {26, 0, 50, 50}},      // centring tie 25.5 -> 26
        {99, 50, 100, 100, {24, 0, 50, 50}},       // centring tie 24.5 -> 24
        {10, 9, 20, 19, {0, 0, 9, 9}},             // Hw 9.5 -> 10 does not fit; 0.5 -> 0
        {0, 0, 640, 480, {0, 0, 0, 0}},
        {100, 200, 0, 50, {50, 0, 0, 200}},        // multiplying by a zero side is no error
    };
    for (const Row& row : rows) {
        EXPECT_EQ(fit(row.bw, row.bh, row.pw, row.ph), row.want)
            << row.bw << "x" << row.bh << " / " << row.pw << "x" << row.ph;
    }
}

TEST(FitToBox, ZeroPictureSideRaisesFloatingPointErrorOnlyOnThePathTaken) {
    constexpr std::int32_t fp_error = 11;
    EXPECT_EQ(error_number_of_fit(400, 300, 0, 100), fp_error);  // wider box divides by PW first
    EXPECT_EQ(error_number_of_fit(300, 400, 100, 0), fp_error);  // taller box divides by PH first
    EXPECT_EQ(error_number_of_fit(300, 300, 100, 0), fp_error);  // square box likewise
    EXPECT_EQ(error_number_of_fit(0, 0, 0, 0), fp_error);        // 0 / 0, an invalid operation
    // Wider box, PH 0: Hw = 0 fits, PH is never a divisor.
    EXPECT_EQ(fit(400, 300, 100, 0), (Rect{0, 150, 400, 0}));
    // Wider box whose Hw = 0 does not fit a negative height: then PH 0 divides.
    EXPECT_EQ(error_number_of_fit(5, -1, 1, 0), fp_error);
    EXPECT_EQ(error_number_of_fit(-400, -500, 0, 7), fp_error);
}

TEST(FitToBox, OverflowKeepsTheOutputsWrittenBefore) {
    Rect r;
    // Hw = 2^31 leaves the 32-bit range at its conversion: nothing written.
    EXPECT_THROW(convert::fit_to_box(INT_MAX, 1, 1, 2, r.left, r.top, r.width, r.height), Error);
    EXPECT_EQ(r, (Rect{}));
    // Square box: Wh = -2^31 fits, then the centring offset 2147483647.5
    // rounds to the even 2^31, out of range.
    r = Rect{};
    try {
        convert::fit_to_box(INT_MAX, INT_MAX, INT_MIN, INT_MAX, r.left, r.top, r.width, r.height);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(r.width, INT_MIN);
    EXPECT_EQ(r.height, INT_MAX);
    EXPECT_EQ(r.left, -1);
    EXPECT_EQ(r.top, -1);
}

TEST(FitToBox, PositiveSizesLandInsideTheBoxTouchingTwoSides) {
    for (std::int32_t bw : {1, 2, 7, 64, 101, 640}) {
        for (std::int32_t bh : {1, 3, 64, 99, 480}) {
            for (std::int32_t pw : {1, 2, 5, 33, 640, 1000}) {
                for (std::int32_t ph : {1, 4, 33, 480, 999}) {
                    const Rect r = fit(bw, bh, pw, ph);
                    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left + r.width <= bw &&
                                r.top + r.height <= bh && (r.width == bw || r.height == bh))
                        << bw << "x" << bh << " / " << pw << "x" << ph;
                }
            }
        }
    }
}

TEST(FitToBox, IgnoresTheCallersRoundingMode) {
    std::fesetround(FE_UPWARD);
    const Rect up = fit(200, 200, 640, 480);
    const Rect odd = fit(10, 9, 20, 19);
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(up, (Rect{0, 25, 200, 150}));
    EXPECT_EQ(odd, (Rect{0, 0, 9, 9}));
    EXPECT_EQ(mode, FE_UPWARD);
}

}  // namespace
}  // namespace orvessa
