// The platform of the WebAssembly build: a conversion form at a resolution
// the caller sets. There are no files or device contexts in a browser, so
// loading a picture fails and the drawing calls do nothing.
#pragma once

#include <cstdint>

namespace orvessa::web {

// The logical resolution of both axes, pixels per inch (96 until set).
void set_logical_resolution(std::int32_t per_inch) noexcept;

}  // namespace orvessa::web
