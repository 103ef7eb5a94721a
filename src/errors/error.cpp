#include "orvessa/error.hpp"

#include <cstdio>
#include <utility>

namespace orvessa {

Error::Error(std::int32_t number, std::int32_t hresult, std::string description, bool platform)
    : number_(number), hresult_(hresult), description_(std::move(description)), platform_(platform) {}

namespace {
Error numbered(ErrorNumber n, const char* description) {
    const auto number = static_cast<std::int32_t>(n);
    return Error::platform(control_hresult(number), description);
}
}  // namespace

Error Error::overflow() { return numbered(ErrorNumber::overflow, "Overflow"); }
Error Error::subscript_out_of_range() {
    return numbered(ErrorNumber::subscript_out_of_range, "Subscript out of range");
}
Error Error::out_of_memory() { return numbered(ErrorNumber::out_of_memory, "Out of memory"); }
Error Error::of(ErrorNumber n, std::string description) {
    return Error::platform(control_hresult(static_cast<std::int32_t>(n)), std::move(description));
}

Error Error::type_mismatch() { return numbered(ErrorNumber::type_mismatch, "Type mismatch"); }

Error Error::floating_point(const char* what_happened) {
    return numbered(ErrorNumber::division_by_zero,
                    (std::string("Floating-point error: ") + what_happened).c_str());
}

Error Error::platform(std::int32_t hresult, std::string message) {
    const auto bits = static_cast<std::uint32_t>(hresult);
    const bool control = (bits & 0xFFFF0000u) == 0x800A0000u;
    const std::int32_t number = control ? static_cast<std::int32_t>(bits & 0xFFFFu) : hresult;
    if (message.empty()) {
        char text[48];
        std::snprintf(text, sizeof text, "Platform error 0x%08X", static_cast<unsigned>(bits));
        message = text;
    }
    return Error(number, hresult, std::move(message), !control);
}

Error Error::file(ErrorNumber n, bool writing, std::string path, const std::string& reason,
                  int system_error) {
    const auto number = static_cast<std::int32_t>(n);
    Error e(number, control_hresult(number),
            (writing ? "cannot write " : "cannot read ") + path + ": " + reason, false);
    e.path_ = std::move(path);
    e.reason_ = reason;
    e.writing_ = writing;
    e.system_error_ = system_error;
    return e;
}

Error Error::reading(ErrorNumber n, std::string path, const std::string& reason, int system_error) {
    return file(n, false, std::move(path), reason, system_error);
}

Error Error::writing(ErrorNumber n, std::string path, const std::string& reason, int system_error) {
    return file(n, true, std::move(path), reason, system_error);
}

Error Error::about(const std::string& name) const {
    if (path_.empty()) return *this;
    return file(static_cast<ErrorNumber>(number_), writing_, name, reason_, system_error_);
}

}  // namespace orvessa
