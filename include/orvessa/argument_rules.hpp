// The rules of the numbers that the faces take from their callers, each
// written once here. A check returns the value the library works with, or
// raises std::invalid_argument whose message names the number as the face
// calls it: `name` is "--threads" for the tool, "threads" for Python, so
// "threads must be 0 (every core) or more, got -1". The web module's
// JavaScript says the same words.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

namespace orvessa {

// Threads of a filter call or a picture job. 0 stands for every core this
// process may use (usable_cores()); a negative count is refused.
std::int32_t checked_threads(std::int32_t threads, std::string_view name = "threads");
// ColorToBN's Threshold, a byte.
std::uint8_t checked_threshold(std::int32_t threshold, std::string_view name = "threshold");
// Pixels per inch of the logical resolution.
std::int32_t checked_dpi(std::int32_t dpi, std::string_view name = "dpi");
// The quality of the formats that have one, 1 to 100.
std::int32_t checked_quality(std::int32_t quality, std::string_view name = "quality");
// The most pixels a picture read may declare.
std::int64_t checked_pixel_limit(std::int64_t pixels, std::string_view name = "max_pixels");
// A box the gray picture is fitted into: two positive lengths.
std::pair<std::int32_t, std::int32_t> checked_box(std::int32_t width, std::int32_t height,
                                                  std::string_view name = "fit");

}  // namespace orvessa
