// Checked 32-bit integer arithmetic and round-half-to-even conversions.
// Conversions round explicitly, so their results never depend on the
// caller's floating-point rounding mode or precision.
#pragma once

#include <cmath>
#include <cstdint>

#include "orvessa/error.hpp"

namespace orvessa {

inline std::int32_t checked_add(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) throw Error::overflow();
    return r;
}

inline std::int32_t checked_sub(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) throw Error::overflow();
    return r;
}

inline std::int32_t checked_mul(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) throw Error::overflow();
    return r;
}

// Nearest integer, an exact half going to the even neighbour. floor() and
// the subtraction of it are exact, so no rounding mode takes part.
// Non-finite values come back unchanged (the range checks reject them).
inline double round_half_even(double v) noexcept {
    if (!std::isfinite(v)) return v;
    const double f = std::floor(v);
    const double frac = v - f;
    if (frac < 0.5) return f;
    if (frac > 0.5) return f + 1.0;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

inline std::int32_t round_to_int32(double v) {
    const double r = round_half_even(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Error::overflow();
    return static_cast<std::int32_t>(r);
}

inline std::int16_t round_to_int16(double v) {
    const double r = round_half_even(v);
    if (!(r >= -32768.0 && r <= 32767.0)) throw Error::overflow();
    return static_cast<std::int16_t>(r);
}

inline std::uint8_t round_to_byte(double v) {
    const double r = round_half_even(v);
    if (!(r >= 0.0 && r <= 255.0)) throw Error::overflow();
    return static_cast<std::uint8_t>(r);
}

// Fast form for a float already known to lie in 0..255 (the filters' values):
// truncation and the fractional part are exact, so this matches round_to_byte.
inline std::uint8_t round_unit_byte(float v) noexcept {
    const auto i = static_cast<std::int32_t>(v);
    const float frac = v - static_cast<float>(i);
    const bool up = frac > 0.5f || (frac == 0.5f && (i & 1) != 0);
    return static_cast<std::uint8_t>(i + (up ? 1 : 0));
}

}  // namespace orvessa
