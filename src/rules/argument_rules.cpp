#include "orvessa/argument_rules.hpp"

#include <stdexcept>
#include <string>

#include "orvessa/filter_options.hpp"

namespace orvessa {

namespace {

[[noreturn]] void refuse(std::string_view name, std::string_view rule, const std::string& value) {
    throw std::invalid_argument(std::string(name) + " must be " + std::string(rule) + ", got " + value);
}
[[noreturn]] void refuse(std::string_view name, std::string_view rule, std::int64_t value) {
    refuse(name, rule, std::to_string(value));
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

std::int32_t checked_quality(std::int32_t quality, std::string_view name) {
    if (quality < 1 || quality > 100) refuse(name, "1 to 100", quality);
    return quality;
}

std::int64_t checked_pixel_limit(std::int64_t pixels, std::string_view name) {
    if (pixels < 1) refuse(name, "positive", pixels);
    return pixels;
}

std::pair<std::int32_t, std::int32_t> checked_box(std::int32_t width, std::int32_t height, std::string_view name) {
    if (width < 1 || height < 1) {
        refuse(name, "two positive lengths", std::to_string(width) + " x " + std::to_string(height));
    }
    return {width, height};
}

}  // namespace orvessa
