#include "TopFiles.h"

#include <algorithm>

namespace velk {

void TopFileList::Offer(const FileRecord* record)
{
    if (!record || !record->extents || record->extents->count == 0 || m_capacity == 0)
        return;
    const ExtentList* list = record->extents;
    double s = 0.0, q = 0.0;
    for (uint32_t i = 0; i < list->count; ++i) {
        const double length = static_cast<double>(list->extents()[i].length);
        s += length;
        q += length * length;
    }
    if (s == 0.0 || q == 0.0)
        return;
    const double contribution = s * s / q - 1.0;
    if (m_files.size() == m_capacity && !(contribution > m_files.back().contribution))
        return;
    const auto at = std::upper_bound(m_files.begin(), m_files.end(), contribution,
                                     [](double c, const TopFile& f) { return c > f.contribution; });
    TopFile file;
    std::size_t n = 0;
    while (n < kFileRecordPathUnits && record->path[n])
        ++n;
    file.path.assign(record->path, n);
    file.extents = list->count;
    file.contribution = contribution;
    m_files.insert(at, std::move(file));
    if (m_files.size() > m_capacity)
        m_files.pop_back();
}

int RecordingSink::AddFile(int percent, int a, int b, int c, FileRecord* record)
{
    try {
        m_top->Offer(record);
    } catch (...) {
        // The list is an extra; the scan goes on without the file in it.
    }
    return m_inner->AddFile(percent, a, b, c, record);
}

int RecordingSink::EndFiles(int64_t filesScanned, int interrupted) { return m_inner->EndFiles(filesScanned, interrupted); }

void RecordingSink::BeginVolume(uint32_t a, uint32_t clusterSize, uint32_t b, int64_t totalClusters,
                                int64_t clustersInUse)
{
    m_top->Clear();
    m_inner->BeginVolume(a, clusterSize, b, totalClusters, clustersInUse);
}

int RecordingVolume::EnumerateFiles(IFileExtentSink* sink, IVolumeLog* log, void* cache)
{
    if (!sink)
        return m_inner->EnumerateFiles(sink, log, cache);
    RecordingSink recording(sink, m_top);
    return m_inner->EnumerateFiles(&recording, log, cache);
}

} // namespace velk
