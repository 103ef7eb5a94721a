// The one error type of the library: what Pictava methods raise and what the
// picture jobs raise. Inside the library errors travel as C++ exceptions; each
// face turns them into its own at one place (HRESULTs and error information,
// exit statuses and lines, Python exceptions).
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
    file_not_found = 53,
    file_exists = 58,
    file_access = 75,
    invalid_picture = 481,
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
    // A numbered error with a description of its own.
    static Error of(ErrorNumber n, std::string description);
    // A failure HRESULT passed through from a platform object; the message
    // is what the platform could tell about it (may be empty).
    static Error platform(std::int32_t hresult, std::string message = {});
    // A file that cannot be read or written: "cannot read PATH: reason" (or
    // write), the path named once; `system_error` is the errno behind it, if any.
    static Error reading(ErrorNumber n, std::string path, const std::string& reason, int system_error = 0);
    static Error writing(ErrorNumber n, std::string path, const std::string& reason, int system_error = 0);

    // The automation error number: n for the numbered errors, the HRESULT
    // itself for a platform failure outside the control facility.
    std::int32_t number() const noexcept { return number_; }
    std::int32_t hresult() const noexcept { return hresult_; }
    const std::string& description() const noexcept { return description_; }
    bool is_platform() const noexcept { return platform_; }
    // The file a reading or writing error is about (empty for others).
    const std::string& path() const noexcept { return path_; }
    int system_error() const noexcept { return system_error_; }
    // The same error about a file named otherwise ("standard input").
    Error about(const std::string& name) const;
    const char* what() const noexcept override { return description_.c_str(); }

private:
    Error(std::int32_t number, std::int32_t hresult, std::string description, bool platform);
    static Error file(ErrorNumber n, bool writing, std::string path, const std::string& reason,
                      int system_error);

    std::int32_t number_;
    std::int32_t hresult_;
    std::string description_;
    bool platform_;
    std::string path_;
    std::string reason_;
    bool writing_ = false;
    int system_error_ = 0;
};

}  // namespace orvessa
