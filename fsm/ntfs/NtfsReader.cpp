#include "NtfsReader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "NtfsDevice.h"
#include "NtfsLib.h"
#include "NtfsStatus.h"
#include "platform/Format.h"
#include "platform/Status.h"
#include "platform/Utf.h"

namespace fsm::ntfs {
namespace {

constexpr std::size_t kMaxPathUnits = 519; // FileRecord path field less its terminator
constexpr uint64_t kRootRecord = 5;
constexpr uint32_t kAttrAttributeList = 0x20;
constexpr uint32_t kAttrFileName = 0x30;
constexpr uint32_t kAttrData = 0x80;
constexpr uint32_t kAttrIndexAllocation = 0xA0;
constexpr uint32_t kAttrEnd = 0xFFFFFFFF;
constexpr uint16_t kRecordInUse = 0x0001;
constexpr uint16_t kRecordIsDirectory = 0x0002;
constexpr uint8_t kDosNamespace = 2;
constexpr int64_t kChunkBytes = 1 << 20;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24); }
uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p)} | (uint64_t{Le32(p + 4)} << 32); }

std::u16string Text(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::u16string text = platform::FormatV(format, args);
    va_end(args);
    return text;
}

void SilenceLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { ntfs_log_set_handler(ntfs_log_handler_null); });
}

struct VolumeCloser {
    void operator()(ntfs_volume* volume) const noexcept { ntfs_umount(volume, FALSE); }
};
using VolumeHandle = std::unique_ptr<ntfs_volume, VolumeCloser>;

struct InodeCloser {
    void operator()(ntfs_inode* inode) const noexcept { ntfs_inode_close(inode); }
};
struct AttrCloser {
    void operator()(ntfs_attr* attr) const noexcept { ntfs_attr_close(attr); }
};
struct SearchCloser {
    void operator()(ntfs_attr_search_ctx* ctx) const noexcept { ntfs_attr_put_search_ctx(ctx); }
};
struct RunlistFree {
    void operator()(runlist_element* rl) const noexcept { std::free(rl); }
};

// The bits of `bytes` starting at bit `skip`, `count` of them, into `out` from bit 0.
void CopyBits(const uint8_t* bytes, int64_t skip, int64_t count, uint8_t* out)
{
    if (skip == 0) {
        std::memcpy(out, bytes, static_cast<std::size_t>(count / 8));
        for (int64_t i = count / 8 * 8; i < count; ++i)
            if ((bytes[i / 8] >> (i % 8)) & 1)
                out[i / 8] = static_cast<uint8_t>(out[i / 8] | (1u << (i % 8)));
        return;
    }
    for (int64_t i = 0; i < count; ++i) {
        const int64_t from = skip + i;
        if ((bytes[from / 8] >> (from % 8)) & 1)
            out[i / 8] = static_cast<uint8_t>(out[i / 8] | (1u << (i % 8)));
    }
}

} // namespace

struct NtfsReader::State {
    std::unique_ptr<ImageSource> source;
    SourceDeviceState device;
    VolumeHandle volume;
};

NtfsReader::NtfsReader() = default;
NtfsReader::~NtfsReader() { Close(); }

bool NtfsReader::IsOpen() const noexcept { return m_state != nullptr; }

void NtfsReader::Close() noexcept
{
    if (m_state)
        m_state->volume.reset(); // unmounting closes and frees the device
    m_state.reset();
    m_facts = VolumeFacts{};
}

int NtfsReader::OpenPath(const std::string& path)
{
    std::unique_ptr<ImageSource> source;
    int error = OpenFileSource(path, &source);
    if (error != 0) {
        Close();
        return platform::StatusFromErrno(error);
    }
    return Open(std::move(source));
}

int NtfsReader::Open(std::unique_ptr<ImageSource> source)
{
    Close();
    if (!source)
        return platform::status::kInvalidParameter;
    SilenceLibrary();
    auto state = std::make_unique<State>();
    state->source = std::move(source);
    state->device.source = state->source.get();

    uint8_t boot[512] = {};
    if (state->source->ReadAt(0, boot, sizeof boot) != 0 || std::memcmp(boot + 3, "NTFS    ", 8) != 0)
        return platform::status::kUnrecognizedVolume;

    struct ntfs_device* device = AllocateSourceDevice(&state->device);
    if (device == nullptr)
        return platform::status::kNotEnoughMemory;
    errno = 0;
    ntfs_volume* volume = ntfs_device_mount(device, NTFS_MNT_RDONLY);
    if (volume == nullptr) {
        int error = errno;
        ntfs_device_free(device);
        return StatusFromNtfsErrno(error);
    }
    state->volume.reset(volume);

    VolumeFacts facts;
    facts.clusterSize = volume->cluster_size;
    facts.totalClusters = volume->nr_clusters;
    facts.mftRecordSize = volume->mft_record_size;
    facts.majorVersion = volume->major_ver;
    facts.minorVersion = volume->minor_ver;
    facts.serial = Le32(boot + 0x48);
    if (volume->vol_name != nullptr)
        facts.label = platform::ToUtf16(volume->vol_name);
    const uint64_t sourceSize = state->source->Size();
    if (volume->mft_na == nullptr || volume->mftbmp_na == nullptr || volume->lcnbmp_na == nullptr
        || facts.clusterSize == 0 || facts.mftRecordSize < 256 || facts.mftRecordSize > 65536
        || facts.totalClusters <= 0
        || static_cast<uint64_t>(facts.totalClusters) > sourceSize / facts.clusterSize
        || volume->mft_na->initialized_size < 0
        || static_cast<uint64_t>(volume->mft_na->initialized_size) > sourceSize)
        return platform::status::kFileCorrupt;
    facts.mftBytes = volume->mft_na->data_size;
    facts.mftRecords = volume->mft_na->initialized_size / facts.mftRecordSize;

    // Count in-use clusters from $Bitmap itself; bits past the last cluster
    // (the bitmap is padded to 8 bytes) are not clusters.
    std::vector<uint8_t> chunk(static_cast<std::size_t>(kChunkBytes));
    int64_t used = 0;
    const int64_t bitmapBytes = (facts.totalClusters + 7) / 8;
    for (int64_t at = 0; at < bitmapBytes; at += kChunkBytes) {
        const int64_t want = std::min(kChunkBytes, bitmapBytes - at);
        if (ntfs_attr_pread(volume->lcnbmp_na, at, want, chunk.data()) != want)
            return platform::status::kFileCorrupt;
        const int64_t bits = std::min(want * 8, facts.totalClusters - at * 8);
        for (int64_t i = 0; i < bits / 8; ++i)
            used += std::popcount(chunk[static_cast<std::size_t>(i)]);
        for (int64_t bit = bits / 8 * 8; bit < bits; ++bit)
            used += (chunk[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1;
    }
    facts.clustersInUse = used;

    m_state = std::move(state);
    m_facts = std::move(facts);
    return platform::status::kSuccess;
}

bool NtfsReader::ReadBitmap(int64_t first, uint32_t count, uint8_t* buffer)
{
    if (!m_state || buffer == nullptr || first < 0 || count > 65536)
        return false;
    std::memset(buffer, 0, (count + 7) / 8);
    const int64_t end = std::min<int64_t>(first + count, m_facts.totalClusters);
    if (first >= end)
        return true;
    const int64_t firstByte = first / 8;
    const int64_t lastByte = (end - 1) / 8;
    std::vector<uint8_t> bytes(static_cast<std::size_t>(lastByte - firstByte + 1));
    const auto want = static_cast<s64>(bytes.size());
    if (ntfs_attr_pread(m_state->volume->lcnbmp_na, firstByte, want, bytes.data()) != want)
        return false;
    CopyBits(bytes.data(), first % 8, end - first, buffer);
    return true;
}

namespace {

// What the walk keeps of every MFT record between reading it and delivering it.
struct RecordInfo {
    uint64_t parent = 0;
    uint32_t nameOffset = 0;
    uint16_t nameLength = 0;
    uint16_t sequence = 0;
    uint16_t parentSequence = 0;
    bool inUse = false;
    bool isDirectory = false;
    bool hasName = false;
    bool nameIsDos = false;
    uint32_t runOffset = 0;
    uint32_t runCount = 0;
};

class Walker {
public:
    Walker(ntfs_volume* volume, const VolumeFacts& facts, WalkSink& sink) : m_volume(volume), m_facts(facts), m_sink(sink)
    {
    }

    WalkResult Execute()
    {
        const auto records = static_cast<std::size_t>(m_facts.mftRecords);
        m_records.assign(records, RecordInfo{});
        m_stamp.assign(records, 0);
        m_claimed.assign(static_cast<std::size_t>(m_facts.totalClusters / 64) + 1, 0);
        // Room for a typical name and run per record, so the pass rarely regrows them.
        m_names.reserve(records * 24);
        m_runs.reserve(records + 64);
        if (!ReadRecords())
            m_result.incomplete = true;
        Deliver();
        return m_result;
    }

private:
    void Damage(const void* data, std::size_t size, const std::u16string& text) { m_sink.OnDamage(data, size, text); }

    bool ReadRecords()
    {
        const int64_t records = m_facts.mftRecords;
        const uint32_t recordSize = m_facts.mftRecordSize;
        std::vector<uint8_t> inUse(static_cast<std::size_t>((records + 7) / 8), 0);
        const auto bitmapBytes = static_cast<s64>(inUse.size());
        const s64 gotBitmap = ntfs_attr_pread(m_volume->mftbmp_na, 0, bitmapBytes, inUse.data());
        if (gotBitmap < 0) {
            Damage(nullptr, 0, u"the MFT bitmap could not be read");
            return false;
        }
        const int64_t perChunk = std::max<int64_t>(1, kChunkBytes / recordSize);
        std::vector<uint8_t> chunk(static_cast<std::size_t>(perChunk) * recordSize);
        for (int64_t first = 0; first < records; first += perChunk) {
            const int64_t want = std::min(perChunk, records - first);
            const s64 got = ntfs_attr_mst_pread(m_volume->mft_na, first * recordSize, want, recordSize, chunk.data());
            if (got < want) {
                Damage(nullptr, 0, Text(u"the MFT could not be read from record %I64d on", first + std::max<s64>(got, 0)));
                return false;
            }
            for (int64_t i = 0; i < want; ++i) {
                const int64_t number = first + i;
                if (((inUse[static_cast<std::size_t>(number / 8)] >> (number % 8)) & 1) == 0)
                    continue;
                ParseRecord(static_cast<uint64_t>(number), chunk.data() + i * recordSize, recordSize);
            }
        }
        return true;
    }

    void ParseRecord(uint64_t number, const uint8_t* record, uint32_t size)
    {
        if (std::memcmp(record, "FILE", 4) != 0) {
            Damage(record, size, Text(u"MFT record %I64u failed its checks (no FILE signature)", number));
            return;
        }
        const uint16_t flags = Le16(record + 0x16);
        if ((flags & kRecordInUse) == 0 || Le64(record + 0x20) != 0)
            return; // free, or an extension of another record
        const uint32_t bytesInUse = Le32(record + 0x18);
        const uint16_t attrsOffset = Le16(record + 0x14);
        if (bytesInUse > size || attrsOffset < 0x30 || attrsOffset >= bytesInUse) {
            Damage(record, size, Text(u"MFT record %I64u failed its checks (bad header)", number));
            return;
        }
        RecordInfo& info = m_records[number];
        info.inUse = true;
        info.sequence = Le16(record + 0x10);
        info.isDirectory = (flags & kRecordIsDirectory) != 0;
        info.runOffset = static_cast<uint32_t>(m_runs.size());
        bool hasAttributeList = false;
        bool sawData = false;
        for (uint32_t at = attrsOffset; at + 8 <= bytesInUse;) {
            const uint8_t* attr = record + at;
            const uint32_t type = Le32(attr);
            if (type == kAttrEnd)
                break;
            const uint32_t length = Le32(attr + 4);
            if (length < 0x18 || length > bytesInUse - at || (length & 7) != 0) {
                Damage(record, size, Text(u"MFT record %I64u: attribute 0x%X overruns the record", number, type));
                break;
            }
            const bool nonResident = attr[8] != 0;
            const uint8_t nameLength = attr[9];
            const uint16_t nameOffset = Le16(attr + 10);
            if (nameLength > 0 && static_cast<uint32_t>(nameOffset) + nameLength * 2u > length) {
                Damage(record, size, Text(u"MFT record %I64u: attribute 0x%X has its name outside it", number, type));
                break;
            }
            if (type == kAttrAttributeList) {
                hasAttributeList = true;
            } else if (type == kAttrFileName && !nonResident) {
                ReadFileName(number, info, attr, length);
            } else if (nonResident && ((type == kAttrData && nameLength == 0 && !info.isDirectory)
                                       || (type == kAttrIndexAllocation && info.isDirectory && IsI30(attr + nameOffset, nameLength)))) {
                if (!sawData) // one instance per base record without an attribute list
                    DecodeRuns(number, record, size, attr, length);
                sawData = true;
            }
            at += length;
        }
        if (hasAttributeList) {
            m_runs.resize(info.runOffset);
            ReadThroughLibrary(number, info);
        }
        info.runCount = static_cast<uint32_t>(m_runs.size() - info.runOffset);
    }

    static bool IsI30(const uint8_t* name, uint8_t length)
    {
        static const char16_t kI30[] = u"$I30";
        if (length != 4)
            return false;
        for (int i = 0; i < 4; ++i)
            if (Le16(name + 2 * i) != kI30[i])
                return false;
        return true;
    }

    void ReadFileName(uint64_t number, RecordInfo& info, const uint8_t* attr, uint32_t length)
    {
        const uint32_t valueLength = Le32(attr + 0x10);
        const uint16_t valueOffset = Le16(attr + 0x14);
        if (valueOffset > length || valueLength > length - valueOffset || valueLength < 0x42) {
            Damage(attr, length, Text(u"MFT record %I64u: a file name attribute is cut short", number));
            return;
        }
        const uint8_t* value = attr + valueOffset;
        const uint8_t units = value[0x40];
        const uint8_t space = value[0x41];
        if (0x42u + units * 2u > valueLength) {
            Damage(attr, length, Text(u"MFT record %I64u: a file name runs past its attribute", number));
            return;
        }
        const bool dos = space == kDosNamespace;
        if (info.hasName && (dos || !info.nameIsDos))
            return; // the first name that is not the short DOS one wins
        const uint64_t parentRef = Le64(value);
        info.parent = parentRef & 0x0000FFFFFFFFFFFFull;
        info.parentSequence = static_cast<uint16_t>(parentRef >> 48);
        info.hasName = true;
        info.nameIsDos = dos;
        info.nameOffset = static_cast<uint32_t>(m_names.size());
        info.nameLength = units;
        m_names.resize(m_names.size() + units);
        char16_t* name = m_names.data() + info.nameOffset;
        for (uint32_t i = 0; i < units; ++i)
            name[i] = static_cast<char16_t>(Le16(value + 0x42 + 2 * i));
    }

    void AddRun(int64_t lcn, int64_t length)
    {
        if (m_runs.size() > 0 && m_runs.size() > m_currentRunOffset && m_runs.back().first + m_runs.back().length == lcn)
            m_runs.back().length += length;
        else
            m_runs.push_back({lcn, length});
    }

    void AddRunChecked(uint64_t number, int64_t lcn, int64_t length, const void* data, std::size_t size)
    {
        if (lcn < 0 || length <= 0)
            return; // holes of sparse and compressed files
        if (lcn >= m_facts.totalClusters || length > m_facts.totalClusters - lcn) {
            Damage(data, size, Text(u"MFT record %I64u: run at cluster %I64d of %I64d clusters lies outside the volume",
                                    number, lcn, length));
            return;
        }
        AddRun(lcn, length);
    }

    void DecodeRuns(uint64_t number, const uint8_t* record, uint32_t size, const uint8_t* attr, uint32_t length)
    {
        const uint16_t pairsOffset = Le16(attr + 0x20);
        if (length < 0x40 || pairsOffset < 0x40 || pairsOffset >= length) {
            Damage(record, size, Text(u"MFT record %I64u: bad mapping pairs offset", number));
            return;
        }
        m_currentRunOffset = m_runs.size();
        errno = 0;
        std::unique_ptr<runlist_element, RunlistFree> rl(
            ntfs_mapping_pairs_decompress(m_volume, reinterpret_cast<const ATTR_RECORD*>(attr), nullptr));
        if (!rl) {
            Damage(record, size, Text(u"MFT record %I64u: its runlist does not decode", number));
            return;
        }
        for (const runlist_element* run = rl.get(); run->length != 0; ++run)
            AddRunChecked(number, run->lcn, run->length, record, size);
    }

    // A record whose attributes spill into others: the library follows the
    // attribute list.
    void ReadThroughLibrary(uint64_t number, RecordInfo& info)
    {
        std::unique_ptr<ntfs_inode, InodeCloser> inode(ntfs_inode_open(m_volume, MK_MREF(number, info.sequence)));
        if (!inode) {
            Damage(nullptr, 0, Text(u"MFT record %I64u: its attribute list could not be followed", number));
            return;
        }
        if (!info.hasName) {
            std::unique_ptr<ntfs_attr_search_ctx, SearchCloser> ctx(ntfs_attr_get_search_ctx(inode.get(), nullptr));
            while (ctx && ntfs_attr_lookup(AT_FILE_NAME, nullptr, 0, CASE_SENSITIVE, 0, nullptr, 0, ctx.get()) == 0) {
                const auto* attr = reinterpret_cast<const uint8_t*>(ctx->attr);
                ReadFileName(number, info, attr, Le32(attr + 4));
                if (info.hasName && !info.nameIsDos)
                    break;
            }
        }
        ntfschar* name = info.isDirectory ? NTFS_INDEX_I30 : AT_UNNAMED;
        const u32 nameLength = info.isDirectory ? 4 : 0;
        std::unique_ptr<ntfs_attr, AttrCloser> attr(
            ntfs_attr_open(inode.get(), info.isDirectory ? AT_INDEX_ALLOCATION : AT_DATA, name, nameLength));
        // An unnamed request can come back with a named stream ($Secure's $SDS).
        if (!attr || attr->name_len != nameLength || !NAttrNonResident(attr.get()))
            return;
        if (ntfs_attr_map_whole_runlist(attr.get()) != 0 || attr->rl == nullptr) {
            Damage(nullptr, 0, Text(u"MFT record %I64u: its runlist could not be mapped", number));
            return;
        }
        m_currentRunOffset = m_runs.size();
        for (const runlist_element* run = attr->rl; run->length != 0; ++run)
            AddRunChecked(number, run->lcn, run->length, nullptr, 0);
    }

    // "/" for the root; a chain that does not reach the root (a parent that
    // is free, reused or not a directory, or a loop) gives "/<N>".
    std::u16string PathOf(uint64_t number)
    {
        if (number == kRootRecord)
            return u"/";
        ++m_currentStamp;
        std::vector<uint64_t> chain;
        std::u16string path;
        uint64_t at = number;
        for (;;) {
            const RecordInfo& info = m_records[at];
            if (!info.hasName)
                return Broken(number, at);
            m_stamp[at] = m_currentStamp;
            chain.push_back(at);
            const uint64_t parent = info.parent;
            if (parent == kRootRecord)
                break;
            if (parent >= m_records.size() || !m_records[parent].inUse || !m_records[parent].isDirectory
                || (info.parentSequence != 0 && info.parentSequence != m_records[parent].sequence)
                || m_stamp[parent] == m_currentStamp)
                return Broken(number, parent);
            if (auto cached = m_directoryPaths.find(parent); cached != m_directoryPaths.end()) {
                path = cached->second;
                break;
            }
            at = parent;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            AppendName(path, *it);
            if (*it != number)
                m_directoryPaths.emplace(*it, path);
        }
        return path;
    }

    std::u16string Broken(uint64_t number, uint64_t where)
    {
        Damage(nullptr, 0, Text(u"MFT record %I64u: its parent chain breaks at record %I64u", number, where));
        return Text(u"/<%I64u>", number);
    }

    void AppendName(std::u16string& path, uint64_t number) const
    {
        if (path.size() > kMaxPathUnits)
            return;
        const RecordInfo& info = m_records[number];
        path += u'/';
        path.append(m_names.data() + info.nameOffset, info.nameLength);
        if (path.size() > kMaxPathUnits)
            path.resize(kMaxPathUnits);
    }

    void ClaimRuns(uint64_t number, const Run* runs, uint32_t count)
    {
        int64_t shared = -1;
        for (uint32_t r = 0; r < count; ++r) {
            for (int64_t c = runs[r].first; c < runs[r].first + runs[r].length; ++c) {
                uint64_t& word = m_claimed[static_cast<std::size_t>(c / 64)];
                const uint64_t bit = uint64_t{1} << (c % 64);
                if ((word & bit) != 0 && shared < 0)
                    shared = c;
                word |= bit;
            }
        }
        if (shared >= 0)
            Damage(nullptr, 0,
                   Text(u"MFT record %I64u: cluster %I64d is also claimed by another file (cross-linked)", number, shared));
    }

    void Deliver()
    {
        std::vector<Run> runs;
        const auto total = static_cast<uint64_t>(m_records.size());
        for (uint64_t number = 0; number < total; ++number) {
            const RecordInfo& info = m_records[number];
            if (!info.inUse)
                continue;
            // Records 12 to 15 are reserved without a name; a directory counts
            // only when its index owns clusters.
            if (!info.hasName || (info.isDirectory && info.runCount == 0))
                continue;
            runs.assign(m_runs.begin() + info.runOffset, m_runs.begin() + info.runOffset + info.runCount);
            ClaimRuns(number, runs.data(), info.runCount);
            const int percent = static_cast<int>(number * 100 / std::max<uint64_t>(1, total));
            ++m_result.files;
            if (!m_sink.OnFile(percent, PathOf(number), runs)) {
                m_result.stopped = true;
                return;
            }
        }
    }

    ntfs_volume* m_volume;
    const VolumeFacts& m_facts;
    WalkSink& m_sink;
    WalkResult m_result;
    std::vector<RecordInfo> m_records;
    std::vector<uint32_t> m_stamp;
    uint32_t m_currentStamp = 0;
    std::vector<char16_t> m_names;
    std::vector<Run> m_runs;
    std::size_t m_currentRunOffset = 0;
    std::vector<uint64_t> m_claimed;
    std::unordered_map<uint64_t, std::u16string> m_directoryPaths;
};

} // namespace

WalkResult NtfsReader::Walk(WalkSink& sink)
{
    if (!m_state)
        return WalkResult{0, false, true};
    Walker walker(m_state->volume.get(), m_facts, sink);
    return walker.Execute();
}

} // namespace fsm::ntfs
