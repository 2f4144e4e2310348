#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// The one writer of report files: each UTF-16 unit becomes the byte of the same
// value, each "\n" becomes "\r\n". A unit above 0xFF is an error. The file is
// created anew (truncating one of the same name).
class ReportFile {
public:
    ReportFile() = default;
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    bool Create(const std::u16string& path); // false: not created
    bool IsOpen() const noexcept { return m_file != nullptr; }
    // False on a unit above 0xFF (nothing of `text` is written then) or an I/O error.
    bool Write(std::u16string_view text);
    bool Flush();
    bool Close(); // false when buffered data could not be written

private:
    std::FILE* m_file = nullptr;
};

} // namespace platform
