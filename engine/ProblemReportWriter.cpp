#include "ProblemReportWriter.h"

#include "common/MakeTimestamp.h"

namespace engine {

namespace {

constexpr size_t kBytesPerLine = 32;

std::u16string Hex(const uint8_t* bytes, size_t size)
{
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    text.reserve(size * 2 + size / kBytesPerLine * 5);
    for (size_t i = 0; i < size; ++i) {
        if (i != 0 && i % kBytesPerLine == 0)
            text += u"\n    ";
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

} // namespace

void ProblemReportWriter::Report(const void* data, uint32_t size, std::u16string_view description)
{
    if (m_file.IsOpen())
        return;
    const std::u16string name = u"ombrix.err." + MakeTimestamp() + u".xml";
    if (!m_file.Create(name))
        return; // a later problem of the scan tries again
    m_name = name;

    std::u16string text = u"<problem>\n  <description>";
    for (char16_t unit : description)
        text += unit <= 0xFF ? unit : u'?';
    text += u"</description>\n  <context>\n    ";
    if (data != nullptr)
        text += Hex(static_cast<const uint8_t*>(data), size);
    text += u"\n  </context>\n</problem>\n";
    // A failed write leaves a short file; the scan goes on and the name still
    // points the user at what was written.
    m_file.Write(text);
    m_file.Flush();
}

} // namespace engine
