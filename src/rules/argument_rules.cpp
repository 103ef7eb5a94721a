#include "orvessa/argument_rules.hpp"

#include <stdexcept>
#include <string>

#include "orvessa/filter_options.hpp"

namespace orvessa {

namespace {

[[noreturn]] void refuse(std::string_view name, std::string_view rule, std::int32_t value) {
    throw std::invalid_argument(std::string(name) + " must be " + std::string(rule) + ", got " +
                                std::to_string(value));
}

}  // namespace

std::int32_t checked_threads(std::int32_t threads, std::string_view name) {
    if (threads < 0) refuse(name, "0 (every core) or more", threads);
    return threads == 0 ? usable_cores() : threads;
}

std::uint8_t checked_threshold(std::int32_t threshold, std::string_view name) {
    if (threshold < 0 || threshold > 255) refuse(name, "0 to 255", threshold);
    return static_cast<std::uint8_t>(threshold);
}

std::int32_t checked_dpi(std::int32_t dpi, std::string_view name) {
    if (dpi < 1) refuse(name, "positive", dpi);
    return dpi;
}

}  // namespace orvessa
