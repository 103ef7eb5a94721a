// The rules of the numbers that the faces take from their callers, each
// written once here. A check returns the value the library works with, or
// raises std::invalid_argument whose message names the number as the face
// calls it: `name` is "--threads" for the tool, "threads" for Python, so
// "threads must be 0 (every core) or more, got -1". The web module's
// JavaScript says the same words.
#pragma once

#include <cstdint>
#include <string_view>

namespace orvessa {

// Threads of a filter call or a picture job. 0 stands for every core this
// process may use (usable_cores()); a negative count is refused.
std::int32_t checked_threads(std::int32_t threads, std::string_view name = "threads");
// ColorToBN's Threshold, a byte.
std::uint8_t checked_threshold(std::int32_t threshold, std::string_view name = "threshold");
// Pixels per inch of the logical resolution.
std::int32_t checked_dpi(std::int32_t dpi, std::string_view name = "dpi");

}  // namespace orvessa
