#include "ExtentDumpWriter.h"

#include "RecordPath.h"
#include "common/Records.h"
#include "platform/Format.h"

namespace engine {

ExtentDumpWriter::ExtentDumpWriter(const std::u16string& path, uint32_t clusterSize, int64_t totalClusters,
                                   int64_t clustersInUse)
{
    if (!m_file.Create(path))
        return;
    const std::u16string header = platform::Format(u"set: %u %I64d %I64d\n", clusterSize, totalClusters, clustersInUse);
    if (!m_file.Write(header) || !m_file.Flush())
        Abandon();
}

void ExtentDumpWriter::Dump(const FileRecord* record)
{
    if (record == nullptr || !m_file.IsOpen() || record->extents == nullptr)
        return;
    std::u16string text = u"file: " + DumpExtension(RecordPath(*record)) + u"\n";
    const ExtentList& list = *record->extents;
    const Extent* extents = list.extents();
    for (uint32_t i = 0; i < list.count; ++i) {
        text += ExchangedDigits(extents[i].firstCluster);
        text += platform::Format(u" %I64d\n", extents[i].length);
    }
    if (!m_file.Write(text) || !m_file.Flush())
        Abandon();
}

void ExtentDumpWriter::Abandon()
{
    m_file.Close();
}

std::u16string DumpExtension(std::u16string_view path)
{
    std::u16string name;
    name.reserve(path.size());
    for (char16_t unit : path)
        if (unit < 0x7F)
            name += unit;
    const size_t first = name.find_first_not_of(u' ');
    if (first == std::u16string::npos)
        name.clear();
    else
        name = name.substr(first, name.find_last_not_of(u' ') - first + 1);
    if (name.empty())
        name = u"non-asciiName";

    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || name.find_first_of(u" \\/", dot + 1) != std::u16string::npos)
        return u".no-ext";
    return name.substr(dot);
}

std::u16string ExchangedDigits(int64_t number)
{
    std::u16string text = platform::Format(u"%I64d", number);
    for (char16_t& unit : text) {
        if (unit == u'4')
            unit = u'5';
        else if (unit == u'5')
            unit = u'4';
    }
    return text;
}

} // namespace engine
