#include "platform/Version.h"

#include <cstdlib>
#include <optional>
#include <string_view>

namespace platform {
namespace {

constexpr uint32_t kVersionWord = 0x0006; // 6.0

std::optional<uint32_t> ParseWord(std::string_view text)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char ch : text) {
        unsigned digit;
        if (ch >= '0' && ch <= '9')
            digit = static_cast<unsigned>(ch - '0');
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            digit = static_cast<unsigned>(ch - 'a' + 10);
        else if (base == 16 && ch >= 'A' && ch <= 'F')
            digit = static_cast<unsigned>(ch - 'A' + 10);
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > UINT32_MAX)
            return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

} // namespace

uint32_t GetVersionWord()
{
    const char* text = std::getenv("VELKLEVEL2_VERSION_WORD");
    if (text == nullptr)
        return kVersionWord;
    return ParseWord(text).value_or(kVersionWord);
}

} // namespace platform
