#pragma once
#include <string>
#include <string_view>

namespace platform {

// Lone surrogates and invalid bytes become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

} // namespace platform
