#pragma once
// Short names and labels are in the OEM code page; we read them as code page
// 437, the default of the systems that write FAT.

#include <cstdint>
#include <string>

namespace fat {

char16_t OemToUnicode(uint8_t byte) noexcept;

// `bytes` with trailing spaces dropped.
std::u16string OemText(const uint8_t* bytes, std::size_t size);

} // namespace fat
