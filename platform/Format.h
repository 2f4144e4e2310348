#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace platform {

// printf-style formatting of UTF-16 text. Conversions: %s (const char16_t*,
// null prints "(null)"), %c (char16_t passed as int), %d %i %u %x %X (int or
// unsigned), %ld %lu %lx (long), %I64d %I64u %I64x %lld %llu (64-bit), %f %e %g
// (double), %%; flags - + space 0 #, width and precision, '*' for either.
// Numbers are written as in the "C" locale whatever the process locale. An
// unknown conversion is copied as written and takes no argument; a width or
// numeric precision above 65536 writes nothing for its conversion.
std::u16string FormatV(const char16_t* format, va_list args);
std::u16string Format(const char16_t* format, ...);

// As FormatV, cut so the result plus a terminator fits `maxUnits` units.
std::u16string FormatBoundedV(std::size_t maxUnits, const char16_t* format, va_list args);

} // namespace platform
