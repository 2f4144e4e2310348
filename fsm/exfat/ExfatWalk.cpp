// The directory walk of ExfatReader.

#include <algorithm>

#include "DirectoryPieces.h"
#include "ExfatDirectory.h"
#include "ExfatReader.h"
#include "platform/Format.h"
#include "platform/Status.h"

namespace exfat {
namespace {

constexpr uint32_t kBadCluster = 0xFFFFFFF7;
constexpr uint32_t kEndOfChain = 0xFFFFFFFF;

} // namespace

class ExfatReader::Walker {
public:
    Walker(ExfatReader& reader, fsread::WalkSink& sink) : m_reader(reader), m_layout(reader.m_layout), m_sink(sink)
    {
        m_claimed.Reset(m_layout.clusterCount);
    }

    fsread::WalkResult Run();

private:
    struct Directory {
        std::u16string path;
        fsread::RunList runs;
    };

    void ClaimMetadata(const fsread::RunList& runs);
    // Claims the clusters of a stream of `length` bytes; damage ends the runs.
    void StreamRuns(const FileSet& file, const std::u16string& path, fsread::RunList* runs);
    void ChainRuns(uint32_t first, uint64_t clusters, const std::u16string& path, fsread::RunList* runs);
    bool Claim(uint32_t cluster, const std::u16string& path, const fsread::RunList& runs);
    bool Emit(const std::u16string& path, const fsread::RunList& runs);
    void ReadDirectory(const Directory& directory, std::vector<Directory>* subdirectories);
    bool ParseBlock(const uint8_t* data, uint64_t length, const std::u16string& path, EntrySetParser& parser,
                    std::vector<Directory>* subdirectories);
    void Damage(const std::u16string& path, const char16_t* what, uint64_t cluster);
    int Percent() const noexcept;

    ExfatReader& m_reader;
    const ExfatLayout& m_layout;
    fsread::WalkSink& m_sink;
    fsread::ClusterSet m_claimed;
    int64_t m_claimedCount = 0;
    bool m_freeClusterReported = false;
    fsread::WalkResult m_result;
    std::vector<uint8_t> m_buffer;
};

void ExfatReader::Walker::Damage(const std::u16string& path, const char16_t* what, uint64_t cluster)
{
    m_sink.OnDamage(platform::Format(u"%s: %s (exFAT cluster %I64u)", path.c_str(), what, cluster));
}

int ExfatReader::Walker::Percent() const noexcept
{
    int64_t inUse = m_reader.m_facts.clustersInUse;
    if (inUse <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>(m_claimedCount * 100 / inUse, 100));
}

void ExfatReader::Walker::ClaimMetadata(const fsread::RunList& runs)
{
    for (const fsread::Run& run : runs.Runs()) {
        for (int64_t i = 0; i < run.length; ++i) {
            if (!m_claimed.Test(static_cast<uint64_t>(run.first + i))) {
                m_claimed.Set(static_cast<uint64_t>(run.first + i));
                ++m_claimedCount;
            }
        }
    }
}

bool ExfatReader::Walker::Claim(uint32_t cluster, const std::u16string& path, const fsread::RunList& runs)
{
    if (cluster < 2 || cluster > m_layout.clusterCount + 1) {
        Damage(path, u"cluster chain points outside the volume", cluster);
        return false;
    }
    uint32_t index = cluster - 2;
    if (m_claimed.Test(index)) {
        bool loop = std::any_of(runs.Runs().begin(), runs.Runs().end(), [&](const fsread::Run& run) {
            return index >= run.first && index < run.first + run.length;
        });
        Damage(path, loop ? u"cluster chain loops back on itself" : u"cluster is cross-linked with another file",
               cluster);
        return false;
    }
    if (!m_reader.m_allocation.Test(index) && !m_freeClusterReported) {
        // Reported once per file: the bitmap, not the file, says what is in use.
        Damage(path, u"file uses a cluster the allocation bitmap marks free", cluster);
        m_freeClusterReported = true;
    }
    m_claimed.Set(index);
    ++m_claimedCount;
    return true;
}

void ExfatReader::Walker::ChainRuns(uint32_t first, uint64_t clusters, const std::u16string& path,
                                    fsread::RunList* runs)
{
    const std::vector<uint32_t>& next = m_reader.m_next;
    uint32_t cluster = first;
    for (uint64_t i = 0; i < clusters; ++i) {
        if (!Claim(cluster, path, *runs))
            return;
        runs->Append(cluster - 2, 1);
        if (i + 1 == clusters)
            return;
        uint32_t value = next[cluster];
        if (value == kEndOfChain) {
            Damage(path, u"cluster chain is shorter than the data length", cluster);
            return;
        }
        if (value == kBadCluster) {
            Damage(path, u"cluster chain runs into a bad cluster", cluster);
            return;
        }
        cluster = value;
    }
}

void ExfatReader::Walker::StreamRuns(const FileSet& file, const std::u16string& path, fsread::RunList* runs)
{
    runs->Clear();
    m_freeClusterReported = false;
    if ((file.flags & kFlagAllocationPossible) == 0 || file.dataLength == 0)
        return;
    uint64_t clusters = (file.dataLength + m_layout.clusterSize - 1) / m_layout.clusterSize;
    if (clusters > m_layout.clusterCount) {
        Damage(path, u"data length is larger than the volume", file.firstCluster);
        return;
    }
    if ((file.flags & kFlagNoFatChain) == 0) {
        ChainRuns(file.firstCluster, clusters, path, runs);
        return;
    }
    // One contiguous run; the FAT is not consulted.
    if (file.firstCluster < 2 || file.firstCluster - 2 + clusters > m_layout.clusterCount) {
        Damage(path, u"contiguous run reaches outside the volume", file.firstCluster);
        return;
    }
    for (uint64_t i = 0; i < clusters; ++i) {
        auto cluster = static_cast<uint32_t>(file.firstCluster + i);
        if (!Claim(cluster, path, *runs))
            return;
        runs->Append(cluster - 2, 1);
    }
}

bool ExfatReader::Walker::Emit(const std::u16string& path, const fsread::RunList& runs)
{
    ++m_result.files;
    if (!m_sink.OnFile(Percent(), path, runs)) {
        m_result.interrupted = true;
        return false;
    }
    return true;
}

fsread::WalkResult ExfatReader::Walker::Run()
{
    ClaimMetadata(m_reader.m_bitmapRuns);
    ClaimMetadata(m_reader.m_upcaseRuns);
    Directory root{u"/", {}};
    // The root has no stream extension: its chain ends where the FAT says.
    std::u16string path = root.path;
    uint32_t cluster = m_layout.rootCluster;
    m_freeClusterReported = false;
    for (;;) {
        if (!Claim(cluster, path, root.runs))
            break;
        root.runs.Append(cluster - 2, 1);
        uint32_t value = m_reader.m_next[cluster];
        if (value == kEndOfChain)
            break;
        if (value == kBadCluster || value < 2 || value > m_layout.clusterCount + 1) {
            Damage(path, u"root directory chain is broken", cluster);
            break;
        }
        cluster = value;
    }
    if (!Emit(root.path, root.runs))
        return m_result;
    std::vector<Directory> pending;
    pending.push_back(std::move(root));
    std::vector<Directory> subdirectories;
    while (!pending.empty()) {
        Directory directory = std::move(pending.back());
        pending.pop_back();
        subdirectories.clear();
        ReadDirectory(directory, &subdirectories);
        if (m_result.interrupted)
            return m_result;
        for (auto it = subdirectories.rbegin(); it != subdirectories.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return m_result;
}

void ExfatReader::Walker::ReadDirectory(const Directory& directory, std::vector<Directory>* subdirectories)
{
    EntrySetParser parser;
    fsread::BlockSource& source = *m_reader.m_source;
    const uint32_t failed = fsread::ReadDirectoryPieces(
        source, m_layout, directory.runs, m_buffer, [&](const uint8_t* data, uint64_t bytes) {
            return ParseBlock(data, bytes, directory.path, parser, subdirectories);
        });
    if (failed != 0)
        Damage(directory.path, u"directory cannot be read", failed);
}

bool ExfatReader::Walker::ParseBlock(const uint8_t* data, uint64_t length, const std::u16string& path,
                                     EntrySetParser& parser, std::vector<Directory>* subdirectories)
{
    SetEvent event;
    fsread::RunList runs;
    for (uint64_t at = 0; at + 32 <= length; at += 32) {
        SetKind kind = parser.Feed(data + at, &event);
        if (kind != SetKind::kFile && event.problem != nullptr)
            Damage(path, event.problem, 0);
        if (kind == SetKind::kEnd)
            return false;
        if (kind != SetKind::kFile)
            continue;
        const FileSet& file = event.file;
        std::u16string child = path == u"/" ? path + file.name : path + u'/' + file.name;
        if (event.problem != nullptr)
            Damage(child, event.problem, file.firstCluster);
        StreamRuns(file, child, &runs);
        if ((file.attributes & kAttrDirectory) != 0) {
            if (runs.Empty()) {
                if (file.dataLength == 0)
                    Damage(child, u"directory has no clusters", 0);
                continue;
            }
            if (!Emit(child, runs))
                return false;
            subdirectories->push_back({std::move(child), runs});
            continue;
        }
        if (!Emit(child, runs))
            return false;
    }
    return true;
}

fsread::WalkResult ExfatReader::Walk(fsread::WalkSink& sink)
{
    if (!IsOpen())
        return {};
    Walker walker(*this, sink);
    return walker.Run();
}

} // namespace exfat
