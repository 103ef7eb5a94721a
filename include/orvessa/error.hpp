// The errors that Pictava methods raise. Inside the library they travel as
// C++ exceptions; the COM layer is the one place that turns them into
// HRESULTs and error information.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace orvessa {

// Automation error numbers; an error number n travels as 0x800A0000 + n.
enum class ErrorNumber : std::int32_t {
    overflow = 6,
    out_of_memory = 7,
    subscript_out_of_range = 9,
    division_by_zero = 11,
    type_mismatch = 13,
};

constexpr std::int32_t control_hresult(std::int32_t number) noexcept {
    return static_cast<std::int32_t>(0x800A0000u + static_cast<std::uint32_t>(number));
}

class Error : public std::exception {
public:
    static Error overflow();
    static Error subscript_out_of_range();
    static Error out_of_memory();
    // An invalid operation, a division by zero or an overflow in floating point.
    static Error floating_point(const char* what_happened);
    static Error type_mismatch();
    // A failure HRESULT passed through from a platform object; the message
    // is what the platform could tell about it (may be empty).
    static Error platform(std::int32_t hresult, std::string message = {});

    // The automation error number: n for the numbered errors, the HRESULT
    // itself for a platform failure outside the control facility.
    std::int32_t number() const noexcept { return number_; }
    std::int32_t hresult() const noexcept { return hresult_; }
    const std::string& description() const noexcept { return description_; }
    bool is_platform() const noexcept { return platform_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    Error(std::int32_t number, std::int32_t hresult, std::string description, bool platform);

    std::int32_t number_;
    std::int32_t hresult_;
    std::string description_;
    bool platform_;
};

}  // namespace orvessa
