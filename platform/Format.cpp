#include "platform/Format.h"

#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <locale.h>
#include <string>

namespace platform {
namespace {

// Numbers are always written the C way: a front end that switches the process
// to the user's locale must not turn "74.51GB" into "74,51GB".
class CNumericLocale {
public:
    CNumericLocale()
    {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale != static_cast<locale_t>(nullptr))
            m_previous = uselocale(cLocale);
    }
    ~CNumericLocale()
    {
        if (m_previous != static_cast<locale_t>(nullptr))
            uselocale(m_previous);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

// A field wider than this is a mistake, never a wish for megabytes of blanks:
// the conversion then writes nothing (its argument is still taken).
constexpr int kMaxField = 65536;

enum class Length { None, Char, Short, Long, LongLong, Size, IntMax, LongDouble, Int32 };

struct Field {
    std::string flags;
    int width = -1;
    int precision = -1;
    bool leftAlign = false;
    Length length = Length::None;
};

int ReadNumber(const char16_t*& p)
{
    long long value = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (value < INT_MAX)
            value = value * 10 + (*p - u'0');
        ++p;
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void AppendPadded(std::u16string& out, const char16_t* text, std::size_t size, const Field& field)
{
    if (field.width > kMaxField)
        return;
    std::size_t width = field.width > 0 ? static_cast<std::size_t>(field.width) : 0;
    std::size_t pad = width > size ? width - size : 0;
    if (!field.leftAlign)
        out.append(pad, u' ');
    out.append(text, size);
    if (field.leftAlign)
        out.append(pad, u' ');
}

std::string NarrowFormat(const Field& field, const char* length, char conversion)
{
    if (field.width > kMaxField || field.precision > kMaxField)
        return {};
    std::string narrow = "%" + field.flags;
    if (field.width >= 0)
        narrow += std::to_string(field.width);
    if (field.precision >= 0)
        narrow += "." + std::to_string(field.precision);
    narrow += length;
    narrow += conversion;
    return narrow;
}

// The numeric conversions go to the C library, so every flag, width and
// rounding rule is exactly the C one.
template <typename T> void AppendNumber(std::u16string& out, const std::string& narrow, T value)
{
    if (narrow.empty())
        return;
    char small[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int size = std::snprintf(small, sizeof small, narrow.c_str(), value);
    if (size < 0)
        return;
    std::string big;
    const char* text = small;
    if (static_cast<std::size_t>(size) >= sizeof small) {
        big.resize(static_cast<std::size_t>(size) + 1);
        std::snprintf(big.data(), big.size(), narrow.c_str(), value);
        text = big.data();
    }
#pragma GCC diagnostic pop
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
}

void AppendInteger(std::u16string& out, const Field& field, char conversion, va_list* args)
{
    bool isSigned = conversion == 'd' || conversion == 'i';
    switch (field.length) {
    case Length::Long:
        if (isSigned)
            AppendNumber(out, NarrowFormat(field, "l", conversion), va_arg(*args, long));
        else
            AppendNumber(out, NarrowFormat(field, "l", conversion), va_arg(*args, unsigned long));
        return;
    case Length::LongLong:
        if (isSigned)
            AppendNumber(out, NarrowFormat(field, "ll", conversion), va_arg(*args, long long));
        else
            AppendNumber(out, NarrowFormat(field, "ll", conversion), va_arg(*args, unsigned long long));
        return;
    case Length::Size:
        if (isSigned)
            AppendNumber(out, NarrowFormat(field, "z", conversion), va_arg(*args, ptrdiff_t));
        else
            AppendNumber(out, NarrowFormat(field, "z", conversion), va_arg(*args, std::size_t));
        return;
    case Length::IntMax:
        if (isSigned)
            AppendNumber(out, NarrowFormat(field, "j", conversion), va_arg(*args, intmax_t));
        else
            AppendNumber(out, NarrowFormat(field, "j", conversion), va_arg(*args, uintmax_t));
        return;
    case Length::Short:
        AppendNumber(out, NarrowFormat(field, "h", conversion), va_arg(*args, int));
        return;
    case Length::Char:
        AppendNumber(out, NarrowFormat(field, "hh", conversion), va_arg(*args, int));
        return;
    default:
        if (isSigned)
            AppendNumber(out, NarrowFormat(field, "", conversion), va_arg(*args, int));
        else
            AppendNumber(out, NarrowFormat(field, "", conversion), va_arg(*args, unsigned));
        return;
    }
}

void AppendString(std::u16string& out, const Field& field, va_list* args)
{
    const char16_t* text = va_arg(*args, const char16_t*);
    if (text == nullptr)
        text = u"(null)";
    std::size_t size = 0;
    std::size_t limit = field.precision >= 0 ? static_cast<std::size_t>(field.precision) : SIZE_MAX;
    while (size < limit && text[size] != u'\0')
        ++size;
    AppendPadded(out, text, size, field);
}

} // namespace

std::u16string FormatV(const char16_t* format, va_list args)
{
    std::u16string out;
    if (format == nullptr)
        return out;
    va_list ap;
    va_copy(ap, args);
    CNumericLocale cLocale;
    const char16_t* p = format;
    while (*p != u'\0') {
        if (*p != u'%') {
            out.push_back(*p++);
            continue;
        }
        const char16_t* start = p++;
        Field field;
        for (;; ++p) {
            if (*p == u'-')
                field.leftAlign = true;
            else if (*p != u'+' && *p != u' ' && *p != u'0' && *p != u'#')
                break;
            field.flags.push_back(static_cast<char>(*p));
        }
        if (*p == u'*') {
            ++p;
            int width = va_arg(ap, int);
            if (width < 0) {
                field.leftAlign = true;
                field.flags.push_back('-');
                width = width == INT_MIN ? INT_MAX : -width;
            }
            field.width = width;
        } else if (*p >= u'0' && *p <= u'9') {
            field.width = ReadNumber(p);
        }
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                int precision = va_arg(ap, int);
                field.precision = precision < 0 ? -1 : precision;
            } else {
                field.precision = ReadNumber(p);
            }
        }
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
            field.length = Length::LongLong;
            p += 3;
        } else if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2') {
            field.length = Length::Int32;
            p += 3;
        } else if (p[0] == u'I') {
            field.length = Length::Size;
            p += 1;
        } else if (p[0] == u'l' && p[1] == u'l') {
            field.length = Length::LongLong;
            p += 2;
        } else if (p[0] == u'h' && p[1] == u'h') {
            field.length = Length::Char;
            p += 2;
        } else if (*p == u'l' || *p == u'h' || *p == u'z' || *p == u'j' || *p == u'L' || *p == u't') {
            field.length = *p == u'l'   ? Length::Long
                          : *p == u'h' ? Length::Short
                          : *p == u'L' ? Length::LongDouble
                          : *p == u'j' ? Length::IntMax
                                       : Length::Size;
            ++p;
        }
        char16_t conversion = *p;
        switch (conversion) {
        case u'd': case u'i': case u'u': case u'x': case u'X': case u'o':
            AppendInteger(out, field, static_cast<char>(conversion), &ap);
            break;
        case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A':
            if (field.length == Length::LongDouble)
                AppendNumber(out, NarrowFormat(field, "L", static_cast<char>(conversion)), va_arg(ap, long double));
            else
                AppendNumber(out, NarrowFormat(field, "", static_cast<char>(conversion)), va_arg(ap, double));
            break;
        case u'p':
            AppendNumber(out, NarrowFormat(field, "", 'p'), va_arg(ap, void*));
            break;
        case u's':
            AppendString(out, field, &ap);
            break;
        case u'c': {
            char16_t unit = static_cast<char16_t>(va_arg(ap, int));
            AppendPadded(out, &unit, 1, field);
            break;
        }
        case u'%':
            out.push_back(u'%');
            break;
        default:
            // An unknown or incomplete conversion is written as it stands and
            // takes no argument, so a stray "%" can never read a wrong one.
            out.append(start, p);
            continue;
        }
        ++p;
    }
    va_end(ap);
    return out;
}

std::u16string Format(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::u16string out = FormatV(format, args);
    va_end(args);
    return out;
}

std::u16string FormatBoundedV(std::size_t maxUnits, const char16_t* format, va_list args)
{
    std::u16string out = FormatV(format, args);
    std::size_t limit = maxUnits == 0 ? 0 : maxUnits - 1;
    if (out.size() > limit) {
        out.resize(limit);
        // Never leave half of a surrogate pair at the cut.
        if (!out.empty() && out.back() >= 0xD800 && out.back() <= 0xDBFF)
            out.pop_back();
    }
    return out;
}

} // namespace platform
