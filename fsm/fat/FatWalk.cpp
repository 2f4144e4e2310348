// The directory walk of FatReader.

#include <algorithm>

#include "DirectoryPieces.h"
#include "FatDirectory.h"
#include "FatReader.h"
#include "platform/Format.h"
#include "platform/Status.h"

namespace fat {

class FatReader::Walker {
public:
    Walker(FatReader& reader, fsread::WalkSink& sink) : m_reader(reader), m_layout(reader.m_layout), m_sink(sink)
    {
        m_claimed.Reset(m_layout.clusterCount);
        uint32_t type = m_layout.type == FatType::kFat12 ? 0xFF8 : m_layout.type == FatType::kFat16 ? 0xFFF8 : 0x0FFFFFF8;
        m_endOfChain = type;
        m_bad = type - 1;
    }

    fsread::WalkResult Run();

private:
    struct Directory {
        std::u16string path;
        fsread::RunList runs; // empty: the fixed root area of FAT12/16
    };

    // Claims the chain from `start`; damage ends it where it occurs.
    void FollowChain(uint32_t start, const std::u16string& path, fsread::RunList* runs);
    bool Emit(const std::u16string& path, const fsread::RunList& runs);
    void ReadDirectory(const Directory& directory, std::vector<Directory>* subdirectories);
    // false when the directory ends inside this block.
    bool ParseBlock(const uint8_t* data, uint64_t length, const std::u16string& path, DirectoryParser& parser,
                    std::vector<Directory>* subdirectories);
    void Damage(const std::u16string& path, const char16_t* what, uint32_t cluster);
    int Percent() const noexcept;

    FatReader& m_reader;
    const FatLayout& m_layout;
    fsread::WalkSink& m_sink;
    fsread::ClusterSet m_claimed;
    int64_t m_claimedCount = 0;
    uint32_t m_endOfChain;
    uint32_t m_bad;
    fsread::WalkResult m_result;
    std::vector<uint8_t> m_buffer;
};

void FatReader::Walker::Damage(const std::u16string& path, const char16_t* what, uint32_t cluster)
{
    m_sink.OnDamage(platform::Format(u"%s: %s (FAT cluster %u)", path.c_str(), what, cluster));
}

int FatReader::Walker::Percent() const noexcept
{
    int64_t inUse = m_reader.m_facts.clustersInUse;
    if (inUse <= 0)
        return 0;
    int64_t percent = m_claimedCount * 100 / inUse;
    return static_cast<int>(std::min<int64_t>(percent, 100));
}

void FatReader::Walker::FollowChain(uint32_t start, const std::u16string& path, fsread::RunList* runs)
{
    runs->Clear();
    const std::vector<uint32_t>& next = m_reader.m_next;
    uint32_t last = m_layout.clusterCount + 1;
    uint32_t cluster = start;
    for (;;) {
        if (cluster < 2 || cluster > last) {
            Damage(path, u"cluster chain points outside the volume", cluster);
            return;
        }
        uint32_t index = cluster - 2;
        if (m_claimed.Test(index)) {
            bool loop = std::any_of(runs->Runs().begin(), runs->Runs().end(), [&](const fsread::Run& run) {
                return index >= run.first && index < run.first + run.length;
            });
            Damage(path, loop ? u"cluster chain loops back on itself" : u"cluster chain is cross-linked with another file",
                   cluster);
            return;
        }
        uint32_t value = next[cluster];
        if (value == 0) {
            Damage(path, u"cluster chain runs into a free cluster", cluster);
            return;
        }
        m_claimed.Set(index);
        ++m_claimedCount;
        runs->Append(index, 1);
        if (value >= m_endOfChain)
            return;
        if (value == m_bad) {
            Damage(path, u"cluster chain runs into a bad cluster", cluster);
            return;
        }
        cluster = value;
    }
}

bool FatReader::Walker::Emit(const std::u16string& path, const fsread::RunList& runs)
{
    ++m_result.files;
    if (!m_sink.OnFile(Percent(), path, runs)) {
        m_result.interrupted = true;
        return false;
    }
    return true;
}

fsread::WalkResult FatReader::Walker::Run()
{
    std::vector<Directory> pending;
    Directory root{u"/", {}};
    if (m_layout.type == FatType::kFat32) {
        FollowChain(m_layout.rootCluster, root.path, &root.runs);
        if (!Emit(root.path, root.runs))
            return m_result;
    }
    pending.push_back(std::move(root));
    std::vector<Directory> subdirectories;
    while (!pending.empty()) {
        Directory directory = std::move(pending.back());
        pending.pop_back();
        subdirectories.clear();
        ReadDirectory(directory, &subdirectories);
        if (m_result.interrupted)
            return m_result;
        // Reversed onto the stack, so siblings are walked in directory order.
        for (auto it = subdirectories.rbegin(); it != subdirectories.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return m_result;
}

void FatReader::Walker::ReadDirectory(const Directory& directory, std::vector<Directory>* subdirectories)
{
    DirectoryParser parser(m_layout.type == FatType::kFat32);
    fsread::BlockSource& source = *m_reader.m_source;
    if (m_layout.type != FatType::kFat32 && directory.runs.Empty() && directory.path == u"/") {
        m_buffer.resize(m_layout.rootBytes);
        if (source.Read(m_layout.rootOffset, m_buffer.data(), m_buffer.size()) != platform::status::kSuccess) {
            Damage(directory.path, u"root directory cannot be read", 0);
            return;
        }
        ParseBlock(m_buffer.data(), m_buffer.size(), directory.path, parser, subdirectories);
        return;
    }
    const uint32_t failed = fsread::ReadDirectoryPieces(
        source, m_layout, directory.runs, m_buffer, [&](const uint8_t* data, uint64_t bytes) {
            return ParseBlock(data, bytes, directory.path, parser, subdirectories);
        });
    if (failed != 0)
        Damage(directory.path, u"directory cannot be read", failed);
}

bool FatReader::Walker::ParseBlock(const uint8_t* data, uint64_t length, const std::u16string& path,
                                   DirectoryParser& parser, std::vector<Directory>* subdirectories)
{
    DirectoryEntry entry;
    fsread::RunList runs;
    for (uint64_t at = 0; at + 32 <= length; at += 32) {
        EntryKind kind = parser.Feed(data + at, &entry);
        if (kind == EntryKind::kEnd)
            return false;
        if (kind != EntryKind::kEntry)
            continue;
        std::u16string child = path == u"/" ? path + entry.name : path + u'/' + entry.name;
        bool isDirectory = (entry.attributes & kAttrDirectory) != 0;
        runs.Clear();
        if (entry.firstCluster != 0)
            FollowChain(entry.firstCluster, child, &runs);
        if (isDirectory) {
            if (runs.Empty()) {
                if (entry.firstCluster == 0)
                    Damage(child, u"directory has no clusters", 0);
                continue; // nothing of it can be read
            }
            if (!Emit(child, runs))
                return false;
            subdirectories->push_back({std::move(child), runs});
            continue;
        }
        int64_t wanted = (static_cast<int64_t>(entry.size) + m_layout.clusterSize - 1) / m_layout.clusterSize;
        if (runs.Clusters() > wanted)
            Damage(child, u"cluster chain is longer than the file size", entry.firstCluster);
        else if (runs.Clusters() < wanted && (entry.firstCluster == 0 || runs.Clusters() != 0))
            Damage(child, u"cluster chain is shorter than the file size", entry.firstCluster);
        if (!Emit(child, runs))
            return false;
    }
    return true;
}

fsread::WalkResult FatReader::Walk(fsread::WalkSink& sink)
{
    if (!IsOpen())
        return {};
    Walker walker(*this, sink);
    return walker.Run();
}

} // namespace fat
