#include "Ext4Reader.h"

#include <ext2fs/ext2fs.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "Ext4Status.h"
#include "SourceIoManager.h"
#include "platform/Format.h"
#include "platform/Status.h"
#include "platform/Utf.h"

namespace fsm::ext4 {
namespace {

constexpr std::size_t kMaxPathUnits = 519; // FileRecord path field less its terminator
constexpr uint32_t kBadBlocksInode = 1;
constexpr uint32_t kResizeInode = 7;

struct FsCloser {
    void operator()(ext2_filsys fs) const noexcept { ext2fs_free(fs); }
};
using FsHandle = std::unique_ptr<struct_ext2_filsys, FsCloser>;

struct ScanCloser {
    void operator()(ext2_inode_scan scan) const noexcept { ext2fs_close_inode_scan(scan); }
};
using ScanHandle = std::unique_ptr<std::remove_pointer_t<ext2_inode_scan>, ScanCloser>;

struct ExtentCloser {
    void operator()(ext2_extent_handle_t handle) const noexcept { ext2fs_extent_free(handle); }
};
using ExtentHandle = std::unique_ptr<std::remove_pointer_t<ext2_extent_handle_t>, ExtentCloser>;

std::u16string Text(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::u16string text = platform::FormatV(format, args);
    va_end(args);
    return text;
}

std::u16string LibraryMessage(errcode_t error)
{
    static std::once_flag once;
    std::call_once(once, [] { initialize_ext2_error_table(); });
    return platform::ToUtf16(error_message(error));
}

// The first link found for an inode in the directory pass.
struct Link {
    uint32_t parent = 0;
    uint32_t nameOffset = 0;
    uint16_t nameLength = 0;
};

} // namespace

struct Ext4Reader::State {
    std::unique_ptr<ImageSource> source;
    FsHandle fs;
};

Ext4Reader::Ext4Reader() = default;
Ext4Reader::~Ext4Reader() { Close(); }

bool Ext4Reader::IsOpen() const noexcept { return m_state != nullptr; }

void Ext4Reader::Close() noexcept
{
    m_state.reset(); // the file system goes before its source
    m_facts = VolumeFacts{};
}

int Ext4Reader::OpenPath(const std::string& path)
{
    std::unique_ptr<ImageSource> source;
    int error = OpenFileSource(path, &source);
    if (error != 0) {
        Close();
        return platform::StatusFromErrno(error);
    }
    return Open(std::move(source));
}

int Ext4Reader::Open(std::unique_ptr<ImageSource> source)
{
    Close();
    if (!source)
        return platform::status::kInvalidParameter;
    auto state = std::make_unique<State>();
    state->source = std::move(source);

    ext2_filsys raw = nullptr;
    BindSourceForOpen(state->source.get());
    errcode_t error = ext2fs_open2("source", nullptr, EXT2_FLAG_64BITS, 0, 0, SourceIoManager(), &raw);
    BindSourceForOpen(nullptr);
    if (error != 0) {
        if (raw != nullptr)
            ext2fs_free(raw);
        return StatusFromExt2(error);
    }
    state->fs.reset(raw);
    ext2_filsys fs = raw;
    const auto* sb = fs->super;

    VolumeFacts facts;
    facts.blockSize = static_cast<uint32_t>(fs->blocksize);
    facts.totalBlocks = static_cast<int64_t>(ext2fs_blocks_count(fs->super));
    facts.firstDataBlock = sb->s_first_data_block;
    facts.groupCount = fs->group_desc_count;
    facts.inodeCount = sb->s_inodes_count;
    facts.inodesPerGroup = sb->s_inodes_per_group;
    facts.freeBlocksCounter = static_cast<int64_t>(ext2fs_free_blocks_count(fs->super));

    // A volume that claims more blocks than its device holds is truncated or
    // lies; every later count would be built on that lie.
    const uint64_t sourceSize = state->source->Size();
    if (facts.totalBlocks <= 0 || facts.blockSize == 0
        || static_cast<uint64_t>(facts.totalBlocks) > sourceSize / facts.blockSize
        || facts.firstDataBlock >= static_cast<uint64_t>(facts.totalBlocks)
        || static_cast<uint64_t>(facts.inodeCount) > sourceSize / 64)
        return platform::status::kFileCorrupt;

    if (errcode_t bad = ext2fs_check_desc(fs); bad != 0)
        return StatusFromExt2(bad);

    char label[sizeof sb->s_volume_name + 1] = {};
    std::memcpy(label, sb->s_volume_name, sizeof sb->s_volume_name);
    facts.label = platform::ToUtf16(label);
    facts.serial = (uint32_t{sb->s_uuid[0]} << 24) | (uint32_t{sb->s_uuid[1]} << 16)
                   | (uint32_t{sb->s_uuid[2]} << 8) | uint32_t{sb->s_uuid[3]};
    char uuid[37] = {};
    static const char* hex = "0123456789abcdef";
    for (int i = 0, at = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            uuid[at++] = '-';
        uuid[at++] = hex[sb->s_uuid[i] >> 4];
        uuid[at++] = hex[sb->s_uuid[i] & 15];
    }
    facts.uuid = uuid;

    // Count in-use blocks ourselves: the superblock's counter lags on a mounted volume.
    if (ext2fs_read_block_bitmap(fs) == 0) {
        facts.bitmapAvailable = true;
        int64_t used = facts.firstDataBlock; // block 0 of a 1 KiB-block volume is outside the bitmap
        const int64_t end = facts.totalBlocks;
        if (EXT2FS_CLUSTER_RATIO(fs) == 1) {
            std::vector<uint8_t> chunk(8192);
            for (int64_t at = facts.firstDataBlock; at < end; at += 65536) {
                const int64_t n = std::min<int64_t>(65536, end - at);
                std::fill(chunk.begin(), chunk.end(), 0);
                if (ext2fs_get_block_bitmap_range2(fs->block_map, static_cast<blk64_t>(at), static_cast<size_t>(n),
                                                   chunk.data())
                    != 0) {
                    facts.bitmapAvailable = false;
                    break;
                }
                const std::size_t fullBytes = static_cast<std::size_t>(n / 8);
                for (std::size_t i = 0; i < fullBytes; ++i)
                    used += std::popcount(chunk[i]);
                for (int64_t bit = static_cast<int64_t>(fullBytes) * 8; bit < n; ++bit)
                    used += (chunk[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1;
            }
        } else {
            for (int64_t block = facts.firstDataBlock; block < end; ++block)
                used += ext2fs_test_block_bitmap2(fs->block_map, static_cast<blk64_t>(block)) ? 1 : 0;
        }
        facts.blocksInUse = used;
    }
    if (!facts.bitmapAvailable)
        facts.blocksInUse = facts.totalBlocks - std::min(facts.totalBlocks, facts.freeBlocksCounter);

    m_state = std::move(state);
    m_facts = std::move(facts);
    return platform::status::kSuccess;
}

bool Ext4Reader::ReadBitmap(int64_t first, uint32_t count, uint8_t* buffer)
{
    if (!m_state || !m_facts.bitmapAvailable || buffer == nullptr || first < 0 || count > 65536)
        return false;
    std::memset(buffer, 0, (count + 7) / 8);
    ext2_filsys fs = m_state->fs.get();
    const int64_t end = first + count;
    const int64_t lo = std::max<int64_t>(first, m_facts.firstDataBlock);
    const int64_t hi = std::min<int64_t>(end, m_facts.totalBlocks);
    if (m_facts.firstDataBlock > 0 && first == 0 && count > 0)
        buffer[0] |= 1;
    if (lo >= hi)
        return true;
    auto setBit = [&](int64_t block) {
        const int64_t i = block - first;
        buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] | (1u << (i % 8)));
    };
    if (EXT2FS_CLUSTER_RATIO(fs) != 1) {
        for (int64_t block = lo; block < hi; ++block)
            if (ext2fs_test_block_bitmap2(fs->block_map, static_cast<blk64_t>(block)))
                setBit(block);
        return true;
    }
    const auto n = static_cast<std::size_t>(hi - lo);
    if ((lo - first) % 8 == 0) {
        uint8_t* out = buffer + (lo - first) / 8;
        if (ext2fs_get_block_bitmap_range2(fs->block_map, static_cast<blk64_t>(lo), n, out) != 0)
            return false;
        if (n % 8 != 0) // bits past the last block stay clear
            out[n / 8] = static_cast<uint8_t>(out[n / 8] & ((1u << (n % 8)) - 1));
        return true;
    }
    std::vector<uint8_t> bits((n + 7) / 8);
    if (ext2fs_get_block_bitmap_range2(fs->block_map, static_cast<blk64_t>(lo), n, bits.data()) != 0)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if ((bits[i / 8] >> (i % 8)) & 1)
            setBit(lo + static_cast<int64_t>(i));
    return true;
}

namespace {

class Walker {
public:
    Walker(ext2_filsys fs, const VolumeFacts& facts, WalkSink& sink) : m_fs(fs), m_facts(facts), m_sink(sink) {}

    WalkResult Execute()
    {
        m_links.assign(static_cast<std::size_t>(m_facts.inodeCount) + 1, Link{});
        m_linked.assign(static_cast<std::size_t>(m_facts.inodeCount) + 1, false);
        m_claimed.assign(static_cast<std::size_t>(m_facts.totalBlocks / 64) + 1, 0);
        m_names.reserve(static_cast<std::size_t>(m_facts.inodeCount) * 8);
        if (!m_facts.bitmapAvailable)
            Damage(nullptr, 0, u"the block bitmap could not be read; the engine's own map stands in for it");
        DirectoryPass();
        InodePass();
        return m_result;
    }

private:
    void Damage(const void* data, std::size_t size, const std::u16string& text) { m_sink.OnDamage(data, size, text); }

    bool ValidInode(uint64_t ino) const { return ino >= 1 && ino <= m_facts.inodeCount; }

    // One breadth-first pass from the root, keeping the first (parent, name)
    // of every inode; a directory is entered once whatever links to it.
    void DirectoryPass()
    {
        std::vector<bool> entered(m_links.size(), false);
        std::deque<uint32_t> queue;
        queue.push_back(EXT2_ROOT_INO);
        entered[EXT2_ROOT_INO] = true;
        m_linked[EXT2_ROOT_INO] = true;
        while (!queue.empty()) {
            m_directory = queue.front();
            queue.pop_front();
            m_children.clear();
            errcode_t error = ext2fs_dir_iterate2(m_fs, m_directory, 0, nullptr, &Walker::OnEntry, this);
            if (error == EXT2_ET_INLINE_DATA_CANT_ITERATE)
                error = ext2fs_dir_iterate2(m_fs, m_directory, DIRENT_FLAG_INCLUDE_INLINE_DATA, nullptr,
                                            &Walker::OnEntry, this);
            if (error != 0)
                Damage(nullptr, 0,
                       Text(u"directory inode %u could not be read completely: %s", m_directory,
                            LibraryMessage(error).c_str()));
            for (uint32_t child : m_children) {
                if (entered[child]) {
                    // Directories have one parent; a second one closes a loop.
                    Damage(nullptr, 0,
                           Text(u"directory inode %u is linked from more than one directory (inode %u too)", child,
                                m_directory));
                    continue;
                }
                entered[child] = true;
                queue.push_back(child);
            }
        }
    }

    static int OnEntry(ext2_ino_t, int, struct ext2_dir_entry* entry, int, int, char*, void* context)
    {
        auto* self = static_cast<Walker*>(context);
        const uint32_t ino = entry->inode;
        const int nameLength = ext2fs_dirent_name_len(entry);
        if (ino == 0 || nameLength <= 0)
            return 0;
        if (entry->name[0] == '.' && (nameLength == 1 || (nameLength == 2 && entry->name[1] == '.')))
            return 0;
        if (!self->ValidInode(ino)) {
            self->Damage(entry, 8u + static_cast<unsigned>(nameLength),
                         Text(u"directory inode %u names inode %u, outside the volume's %u inodes", self->m_directory,
                              ino, self->m_facts.inodeCount));
            return 0;
        }
        if (!self->m_linked[ino]) {
            self->m_linked[ino] = true;
            Link& link = self->m_links[ino];
            link.parent = self->m_directory;
            link.nameOffset = static_cast<uint32_t>(self->m_names.size());
            link.nameLength = static_cast<uint16_t>(nameLength);
            self->m_names.append(entry->name, static_cast<std::size_t>(nameLength));
        }
        int type = ext2fs_dirent_file_type(entry);
        if (type == EXT2_FT_DIR) {
            self->m_children.push_back(ino);
        } else if (type == EXT2_FT_UNKNOWN) {
            struct ext2_inode inode {};
            if (ext2fs_read_inode(self->m_fs, ino, &inode) == 0 && LINUX_S_ISDIR(inode.i_mode))
                self->m_children.push_back(ino);
        }
        return 0;
    }

    // The path of an inode from its first link: "/" for the root, "/<N>" for an
    // inode no directory reaches. Parents are always directories entered
    // earlier in the pass, so the chain ends at the root; directory paths are
    // kept, cut to what a record can hold.
    std::u16string PathOf(uint32_t ino)
    {
        if (ino == EXT2_ROOT_INO)
            return u"/";
        if (!m_linked[ino])
            return Text(u"/<%u>", ino);
        std::vector<uint32_t> chain;
        std::u16string path;
        for (uint32_t at = m_links[ino].parent; at != EXT2_ROOT_INO && at != 0 && chain.size() <= m_links.size();
             at = m_links[at].parent) {
            if (auto cached = m_directoryPaths.find(at); cached != m_directoryPaths.end()) {
                path = cached->second;
                break;
            }
            chain.push_back(at);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            AppendName(path, *it);
            m_directoryPaths.emplace(*it, path);
        }
        AppendName(path, ino);
        return path;
    }

    void AppendName(std::u16string& path, uint32_t ino) const
    {
        if (path.size() > kMaxPathUnits)
            return;
        const Link& link = m_links[ino];
        const std::string_view name = std::string_view(m_names).substr(link.nameOffset, link.nameLength);
        path += u'/';
        // Most names are ASCII: widen them in place and convert only the rest.
        if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            path.append(name.begin(), name.end());
        else
            path += platform::ToUtf16(name);
        if (path.size() > kMaxPathUnits)
            path.resize(kMaxPathUnits);
    }

    // A block claimed by two files (or twice by one) is a cross-link: the
    // walk reports it once per file and still delivers the extents as found.
    void ClaimRuns(uint32_t ino, const std::vector<Run>& runs)
    {
        int64_t shared = -1;
        for (const Run& run : runs) {
            for (int64_t block = run.first; block < run.first + run.length; ++block) {
                uint64_t& word = m_claimed[static_cast<std::size_t>(block / 64)];
                const uint64_t bit = uint64_t{1} << (block % 64);
                if ((word & bit) != 0 && shared < 0)
                    shared = block;
                word |= bit;
            }
        }
        if (shared >= 0)
            Damage(nullptr, 0, Text(u"inode %u: block %I64d is also claimed by another file (cross-linked)", ino, shared));
    }

    void AddRun(std::vector<Run>& runs, int64_t first, int64_t length)
    {
        if (!runs.empty() && runs.back().first + runs.back().length == first)
            runs.back().length += length;
        else
            runs.push_back({first, length});
    }

    bool InVolume(uint64_t first, uint64_t length) const
    {
        const auto total = static_cast<uint64_t>(m_facts.totalBlocks);
        return first >= m_facts.firstDataBlock && first < total && length <= total - first;
    }

    void ExtentRuns(uint32_t ino, struct ext2_inode* inode, std::vector<Run>& runs)
    {
        ext2_extent_handle_t raw = nullptr;
        errcode_t error = ext2fs_extent_open2(m_fs, ino, inode, &raw);
        if (error != 0) {
            Damage(inode, sizeof *inode,
                   Text(u"inode %u: bad extent header: %s", ino, LibraryMessage(error).c_str()));
            return;
        }
        ExtentHandle handle(raw);
        struct ext2fs_extent extent {};
        // Every step visits a distinct node or leaf of a well-formed tree, so
        // more steps than the volume has blocks means the tree loops.
        uint64_t budget = 2 * static_cast<uint64_t>(m_facts.totalBlocks) + 64;
        uint64_t blocks = 0;
        for (error = ext2fs_extent_get(raw, EXT2_EXTENT_ROOT, &extent); error == 0;
             error = ext2fs_extent_get(raw, EXT2_EXTENT_NEXT, &extent)) {
            if (budget-- == 0) {
                Damage(inode, sizeof *inode, Text(u"inode %u: the extent tree loops", ino));
                return;
            }
            if ((extent.e_flags & EXT2_EXTENT_FLAGS_LEAF) == 0 || (extent.e_flags & EXT2_EXTENT_FLAGS_SECOND_VISIT) != 0
                || extent.e_len == 0)
                continue;
            if (!InVolume(extent.e_pblk, extent.e_len)) {
                Damage(inode, sizeof *inode,
                       Text(u"inode %u: extent at block %I64u of %u blocks lies outside the volume", ino,
                            static_cast<uint64_t>(extent.e_pblk), extent.e_len));
                continue;
            }
            blocks += extent.e_len;
            if (blocks > static_cast<uint64_t>(m_facts.totalBlocks)) {
                Damage(inode, sizeof *inode, Text(u"inode %u claims more blocks than the volume has", ino));
                return;
            }
            AddRun(runs, static_cast<int64_t>(extent.e_pblk), extent.e_len);
        }
        if (error != EXT2_ET_EXTENT_NO_NEXT)
            Damage(inode, sizeof *inode,
                   Text(u"inode %u: bad extent tree: %s", ino, LibraryMessage(error).c_str()));
    }

    struct BlockWalk {
        Walker* walker;
        std::vector<Run>* runs;
        uint32_t ino;
        uint64_t blocks = 0;
        bool outside = false;
        bool tooMany = false;
    };

    static int OnBlock(ext2_filsys, blk64_t* block, e2_blkcnt_t, blk64_t, int, void* context)
    {
        auto* walk = static_cast<BlockWalk*>(context);
        if (!walk->walker->InVolume(*block, 1)) {
            walk->outside = true;
            return 0;
        }
        if (++walk->blocks > static_cast<uint64_t>(walk->walker->m_facts.totalBlocks)) {
            walk->tooMany = true;
            return BLOCK_ABORT;
        }
        walk->walker->AddRun(*walk->runs, static_cast<int64_t>(*block), 1);
        return 0;
    }

    void BlockMapRuns(uint32_t ino, struct ext2_inode* inode, std::vector<Run>& runs)
    {
        BlockWalk walk{this, &runs, ino};
        errcode_t error = ext2fs_block_iterate3(m_fs, ino, BLOCK_FLAG_READ_ONLY | BLOCK_FLAG_DATA_ONLY, nullptr,
                                                &Walker::OnBlock, &walk);
        if (walk.outside)
            Damage(inode, sizeof *inode, Text(u"inode %u: block map names blocks outside the volume", ino));
        if (walk.tooMany)
            Damage(inode, sizeof *inode, Text(u"inode %u claims more blocks than the volume has", ino));
        if (error != 0)
            Damage(inode, sizeof *inode, Text(u"inode %u: bad block map: %s", ino, LibraryMessage(error).c_str()));
    }

    void InodePass()
    {
        ext2_inode_scan raw = nullptr;
        errcode_t error = ext2fs_open_inode_scan(m_fs, 0, &raw);
        if (error != 0) {
            Damage(nullptr, 0, Text(u"the inode tables could not be read: %s", LibraryMessage(error).c_str()));
            m_result.incomplete = true;
            return;
        }
        ScanHandle scan(raw);
        ext2fs_inode_scan_flags(raw, EXT2_SF_SKIP_MISSING_ITABLE, 0);
        const int inodeSize = EXT2_INODE_SIZE(m_fs->super);
        std::vector<uint8_t> buffer(std::max<std::size_t>(static_cast<std::size_t>(inodeSize),
                                                          sizeof(struct ext2_inode_large)));
        auto* inode = reinterpret_cast<struct ext2_inode*>(buffer.data());
        const uint32_t firstIno = EXT2_FIRST_INODE(m_fs->super);
        std::vector<Run> runs;
        for (;;) {
            ext2_ino_t ino = 0;
            error = ext2fs_get_next_inode_full(raw, &ino, inode, inodeSize);
            if (error == EXT2_ET_BAD_BLOCK_IN_INODE_TABLE)
                continue;
            if (error == EXT2_ET_INODE_CSUM_INVALID || error == EXT2_ET_INODE_IS_GARBAGE) {
                Damage(buffer.data(), static_cast<std::size_t>(inodeSize),
                       Text(u"inode %u failed its checks: %s", ino, LibraryMessage(error).c_str()));
                continue;
            }
            if (error != 0) {
                Damage(nullptr, 0, Text(u"the inode scan stopped: %s", LibraryMessage(error).c_str()));
                m_result.incomplete = true;
                return;
            }
            if (ino == 0)
                return;
            if (inode->i_links_count == 0 || ino == kBadBlocksInode || ino == kResizeInode)
                continue;
            const bool reserved = ino != EXT2_ROOT_INO && ino < firstIno;
            runs.clear();
            if ((inode->i_flags & EXT4_INLINE_DATA_FL) == 0 && ext2fs_inode_has_valid_blocks2(m_fs, inode)) {
                if ((inode->i_flags & EXT4_EXTENTS_FL) != 0)
                    ExtentRuns(ino, inode, runs);
                else
                    BlockMapRuns(ino, inode, runs);
            }
            ClaimRuns(ino, runs);
            // Reserved inodes count only when they hold data (the journal);
            // directories, as on every file system, only when they own clusters.
            if ((reserved || LINUX_S_ISDIR(inode->i_mode)) && runs.empty())
                continue;
            std::u16string path = PathOf(ino);
            if (path.size() > kMaxPathUnits)
                path.resize(kMaxPathUnits);
            const int percent = static_cast<int>(static_cast<uint64_t>(ino) * 100 / std::max(1u, m_facts.inodeCount));
            ++m_result.files;
            if (!m_sink.OnFile(std::min(percent, 100), path, runs)) {
                m_result.stopped = true;
                return;
            }
        }
    }

    ext2_filsys m_fs;
    const VolumeFacts& m_facts;
    WalkSink& m_sink;
    WalkResult m_result;
    std::vector<Link> m_links;
    std::vector<bool> m_linked;
    std::vector<uint64_t> m_claimed;
    std::string m_names;
    std::unordered_map<uint32_t, std::u16string> m_directoryPaths;
    uint32_t m_directory = 0;
    std::vector<uint32_t> m_children;
};

} // namespace

WalkResult Ext4Reader::Walk(WalkSink& sink)
{
    if (!m_state)
        return WalkResult{0, false, true};
    Walker walker(m_state->fs.get(), m_facts, sink);
    return walker.Execute();
}

} // namespace fsm::ext4
