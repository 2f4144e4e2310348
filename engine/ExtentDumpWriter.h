#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ReportFile.h"

struct FileRecord;

namespace engine {

// Writes, for every file of a scan, the extension of its name and its extents,
// with the digits 4 and 5 of each first cluster exchanged. Never a file's name.
class ExtentDumpWriter {
public:
    ExtentDumpWriter(const std::u16string& path, uint32_t clusterSize, int64_t totalClusters, int64_t clustersInUse);

    // Records without an extent list are skipped. A write that fails closes the
    // dump for the rest of the scan rather than leave a broken file in use.
    void Dump(const FileRecord* record);

private:
    void Abandon();

    platform::ReportFile m_file;
};

// The extension the dump shows for a path: characters from U+007F up are
// dropped, then outer blanks; "non-asciiName" stands for nothing left. The text
// from the last dot on, unless a blank or a folder separator follows it.
std::u16string DumpExtension(std::u16string_view path);

// "%I64d" of the number with every 4 written as 5 and every 5 as 4.
std::u16string ExchangedDigits(int64_t number);

} // namespace engine
