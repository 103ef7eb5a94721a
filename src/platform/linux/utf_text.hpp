// File names between UTF-8 (Linux) and UTF-16 (ColorToBN's FileName),
// strictly: overlong forms, surrogates in UTF-8 and unpaired surrogates in
// UTF-16 are not text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvessa::platform {

std::optional<std::u16string> utf8_to_utf16(std::string_view text);
std::optional<std::string> utf16_to_utf8(std::u16string_view text);

}  // namespace orvessa::platform
