#include "platform/ReportFile.h"

#include "platform/Utf.h"

namespace platform {

ReportFile::~ReportFile() { Close(); }

bool ReportFile::Create(const std::u16string& path)
{
    Close();
    // "e": the descriptor must not leak into the handlers we start.
    m_file = std::fopen(ToUtf8(path).c_str(), "wbe");
    return m_file != nullptr;
}

bool ReportFile::Write(std::u16string_view text)
{
    if (m_file == nullptr)
        return false;
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (char16_t unit : text) {
        if (unit > 0xFF)
            return false;
        if (unit == u'\n')
            bytes.push_back('\r');
        bytes.push_back(static_cast<char>(unit));
    }
    if (bytes.empty())
        return std::ferror(m_file) == 0;
    return std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size() && std::ferror(m_file) == 0;
}

bool ReportFile::Flush()
{
    if (m_file == nullptr)
        return false;
    return std::fflush(m_file) == 0 && std::ferror(m_file) == 0;
}

bool ReportFile::Close()
{
    if (m_file == nullptr)
        return true;
    // An error met by an earlier write still counts: the file is incomplete.
    bool ok = std::ferror(m_file) == 0;
    if (std::fclose(m_file) != 0)
        ok = false;
    m_file = nullptr;
    return ok;
}

} // namespace platform
