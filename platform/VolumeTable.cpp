#include "VolumeTable.h"

#include <blkid/blkid.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

#include "Library.h"
#include "Settings.h"
#include "Status.h"
#include "Utf.h"
#include "common/ImageFacts.h"

namespace platform {
namespace {

// Remembered letters: value "C" holds the key of the volume that had C:.
constexpr std::u16string_view kLettersKey = u"HKEY_CURRENT_USER\\Software\\VelkLevel2\\Drives";
// Images attached for good: values "image0", "image1", ... hold their paths.
constexpr std::u16string_view kImagesKey = u"HKEY_CURRENT_USER\\Software\\VelkLevel2\\Images";
// Images attached for this process, one path per line. The environment is the
// one state every library of the process shares, whatever copy of this file
// it carries.
constexpr const char* kProcessImagesVariable = "VELKLEVEL2_PROCESS_IMAGES";
// A script volume's first line; the scripted volume-system plug-in serves it.
constexpr std::string_view kScriptMagic = "VelkScript";

std::mutex g_mutex;
std::vector<VolumeEntry> g_table;
bool g_haveTable = false;

struct BlkidProbeDeleter {
    void operator()(blkid_struct_probe* p) const noexcept { blkid_free_probe(p); }
};
using BlkidProbe = std::unique_ptr<blkid_struct_probe, BlkidProbeDeleter>;

struct ProbeResult {
    std::u16string fileSystemName;
    std::u16string label;
    uint32_t serial = 0;
    std::string uuid;
    bool hasSpace = false;
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
};

std::u16string WindowsFileSystemName(std::string_view type, std::string_view version)
{
    if (type == "ntfs" || type == "ntfs3")
        return u"NTFS";
    if (type == "vfat" || type == "msdos" || type == "fat") {
        if (version == "FAT12" || version == "FAT16")
            return u"FAT";
        return u"FAT32";
    }
    if (type == "exfat")
        return u"exFAT";
    return ToUtf16(type);
}

// The 32-bit serial as Windows shows it: FAT and exFAT volume IDs are the UUID
// itself ("1A2B-3C4D"), NTFS shows the low half of its 64-bit serial (the UUID's
// last eight digits), and other file systems the first four UUID bytes.
uint32_t SerialFromUuid(std::string_view uuid, std::u16string_view fileSystemName)
{
    std::string hex;
    for (char c : uuid)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += c;
    if (hex.size() < 8)
        return 0;
    const std::string digits = fileSystemName == u"NTFS" ? hex.substr(hex.size() - 8) : hex.substr(0, 8);
    return static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

std::optional<ProbeResult> ProbeScript(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    if (!std::getline(in, line) || line.rfind(kScriptMagic, 0) != 0)
        return std::nullopt;
    ProbeResult r;
    r.fileSystemName = ToUtf16(kScriptMagic);
    // The header lines come first; stop at the first file line.
    for (int lines = 0; lines < 64 && std::getline(in, line); ++lines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto tab = line.find('\t');
        const std::string word = line.substr(0, tab);
        const std::string rest = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        if (word == "label") {
            r.label = ToUtf16(rest);
        } else if (word == "serial") {
            r.serial = static_cast<uint32_t>(std::strtoul(rest.c_str(), nullptr, 16));
        } else if (word == "bytes") {
            unsigned long long total = 0, freeBytes = 0;
            if (std::sscanf(rest.c_str(), "%llu %llu", &total, &freeBytes) == 2) {
                r.hasSpace = true;
                r.totalBytes = total;
                r.freeBytes = freeBytes;
            }
        } else if (word == "file") {
            break;
        }
    }
    r.uuid = "script:" + path;
    return r;
}

std::optional<ProbeResult> Probe(const std::string& path)
{
    BlkidProbe probe(blkid_new_probe_from_filename(path.c_str()));
    if (probe) {
        blkid_probe_enable_superblocks(probe.get(), 1);
        blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE |
                                                           BLKID_SUBLKS_VERSION);
        if (blkid_do_safeprobe(probe.get()) == 0) {
            const auto value = [&](const char* name) {
                const char* data = nullptr;
                std::size_t len = 0;
                if (blkid_probe_lookup_value(probe.get(), name, &data, &len) != 0 || !data)
                    return std::string();
                return std::string(data, strnlen(data, len));
            };
            const std::string type = value("TYPE");
            if (!type.empty()) {
                ProbeResult r;
                r.fileSystemName = WindowsFileSystemName(type, value("VERSION"));
                r.label = ToUtf16(value("LABEL"));
                r.uuid = value("UUID");
                r.serial = SerialFromUuid(r.uuid, r.fileSystemName);
                return r;
            }
        }
    }
    return ProbeScript(path);
}

// mountinfo escapes blanks, tabs, line feeds and backslashes as \ooo.
std::string UnescapeMountField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsRemoteFileSystem(std::string_view type)
{
    static constexpr std::string_view kRemote[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p"};
    return std::find(std::begin(kRemote), std::end(kRemote), type) != std::end(kRemote);
}

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

unsigned BlockDriveType(unsigned major, unsigned minor)
{
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major, minor);
    char resolved[PATH_MAX];
    if (!::realpath(link, resolved))
        return drive_type::kFixed;
    std::string dev = resolved;
    // A partition's flags live on its disk, one folder up.
    struct stat st {};
    if (::stat((dev + "/partition").c_str(), &st) == 0)
        dev = dev.substr(0, dev.rfind('/'));
    const std::string name = dev.substr(dev.rfind('/') + 1);
    if (major == 11 || name.rfind("sr", 0) == 0)
        return drive_type::kCdrom;
    if (ReadSmallFile(dev + "/removable") == "1" || dev.find("/usb") != std::string::npos)
        return drive_type::kRemovable;
    return drive_type::kFixed;
}

bool IsBlockDevice(const std::string& source, unsigned major, unsigned minor)
{
    if (source.rfind("/dev/", 0) != 0)
        return false;
    struct stat st {};
    if (::stat(source.c_str(), &st) == 0)
        return S_ISBLK(st.st_mode);
    // The node may be missing from this mount namespace while sysfs knows it.
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major, minor);
    return ::access(link, F_OK) == 0;
}

void AddMounts(std::vector<VolumeEntry>* out)
{
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, majmin, root, mountPoint;
        fields >> id >> parent >> majmin >> root >> mountPoint;
        std::string word;
        while (fields >> word && word != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        if (type.empty())
            continue;
        mountPoint = UnescapeMountField(mountPoint);
        source = UnescapeMountField(source);
        unsigned major = 0, minor = 0;
        std::sscanf(majmin.c_str(), "%u:%u", &major, &minor);

        VolumeEntry e;
        e.mountPoint = mountPoint;
        if (IsRemoteFileSystem(type)) {
            e.type = drive_type::kRemote;
            e.key = "remote:" + source;
            e.hasInformation = true;
            e.fileSystemName = u"Network";
            const auto slash = source.find_last_of("/\\:");
            e.label = ToUtf16(slash == std::string::npos ? source : source.substr(slash + 1));
        } else if (IsBlockDevice(source, major, minor)) {
            e.type = BlockDriveType(major, minor);
            e.target = source;
            if (auto probe = Probe(source)) {
                e.hasInformation = true;
                e.fileSystemName = probe->fileSystemName;
                e.label = probe->label;
                e.serial = probe->serial;
                e.key = probe->uuid.empty() ? "device:" + source : "uuid:" + probe->uuid;
            } else {
                // Without read access to the device, the mount still tells the
                // file system; the serial then comes from the kernel's id.
                e.hasInformation = true;
                e.fileSystemName = WindowsFileSystemName(type, "");
                struct statvfs sv {};
                if (::statvfs(mountPoint.c_str(), &sv) == 0)
                    e.serial = static_cast<uint32_t>(sv.f_fsid);
                e.key = "device:" + source;
            }
        } else {
            continue;
        }
        // A volume mounted in several places (bind mounts) is one drive.
        if (!seen.insert(e.key).second)
            continue;
        out->push_back(std::move(e));
    }
}

VolumeEntry ImageEntry(const std::string& path)
{
    VolumeEntry e;
    e.type = drive_type::kFixed;
    e.target = path;
    e.key = "image:" + path;
    if (auto probe = Probe(path)) {
        e.hasInformation = true;
        e.fileSystemName = probe->fileSystemName;
        e.label = probe->label;
        e.serial = probe->serial;
        if (probe->hasSpace) {
            e.hasFixedSpace = true;
            e.spaceKnown = true;
            e.totalBytes = probe->totalBytes;
            e.freeBytes = probe->freeBytes;
        }
    }
    return e;
}

std::optional<std::string> UnescapeTableField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return std::nullopt;
        const std::string_view code = field.substr(i + 1, 2);
        if (code == "09")
            out += '\t';
        else if (code == "0A")
            out += '\n';
        else if (code == "25")
            out += '%';
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

bool ParseUnsigned(std::string_view text, int base, uint64_t* value)
{
    if (text.empty() || text.size() > 20)
        return false;
    const std::string s(text);
    const char* digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (s.find_first_not_of(digits) != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), nullptr, base);
    if (errno == ERANGE)
        return false;
    *value = v;
    return true;
}

std::optional<VolumeEntry> ParseTableLine(std::string_view line)
{
    std::vector<std::string_view> f;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        f.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (f.size() != 8 || f[0].size() != 1 || f[0][0] < 'C' || f[0][0] > 'Z')
        return std::nullopt;
    VolumeEntry e;
    e.letter = static_cast<char16_t>(f[0][0]);
    static constexpr struct {
        std::string_view word;
        unsigned type;
    } kTypes[] = {{"removable", drive_type::kRemovable}, {"fixed", drive_type::kFixed},
                  {"remote", drive_type::kRemote},       {"cdrom", drive_type::kCdrom},
                  {"ramdisk", drive_type::kRamdisk}};
    bool typed = false;
    for (const auto& t : kTypes)
        if (f[1] == t.word) {
            e.type = t.type;
            typed = true;
        }
    uint64_t number = 0;
    if (!typed) {
        if (!ParseUnsigned(f[1], 10, &number) || number > 6)
            return std::nullopt;
        e.type = static_cast<unsigned>(number);
    }
    const auto label = UnescapeTableField(f[3]);
    const auto target = UnescapeTableField(f[7]);
    if (!label || !target || f[2].empty())
        return std::nullopt;
    e.hasInformation = f[2] != "-";
    if (e.hasInformation)
        e.fileSystemName = ToUtf16(f[2]);
    e.label = ToUtf16(*label);
    if (!ParseUnsigned(f[4], 16, &number) || number > 0xFFFFFFFFull)
        return std::nullopt;
    e.serial = static_cast<uint32_t>(number);
    e.hasFixedSpace = true;
    if (f[5] == "-" || f[6] == "-") {
        if (f[5] != f[6])
            return std::nullopt;
        e.spaceKnown = false;
    } else {
        if (!ParseUnsigned(f[5], 10, &e.totalBytes) || !ParseUnsigned(f[6], 10, &e.freeBytes))
            return std::nullopt;
        e.spaceKnown = true;
    }
    e.target = *target;
    e.key = "table:" + std::string(1, static_cast<char>(e.letter));
    return e;
}

std::vector<VolumeEntry> ReadTableFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "VelkLevel2: volume table file %s cannot be read: %s; no drives are listed\n", path,
                     std::strerror(errno));
        return {};
    }
    std::vector<VolumeEntry> table;
    std::set<char16_t> letters;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        auto e = ParseTableLine(line);
        if (!e || !letters.insert(e->letter).second) {
            std::fprintf(stderr, "VelkLevel2: volume table file %s, line %d does not parse; no drives are listed\n",
                         path, lineNo);
            return {};
        }
        table.push_back(std::move(*e));
    }
    return table;
}

std::vector<std::string> ProcessImages()
{
    std::vector<std::string> images;
    const char* value = std::getenv(kProcessImagesVariable);
    if (!value)
        return images;
    std::string_view rest(value);
    while (!rest.empty()) {
        const auto nl = rest.find('\n');
        const std::string_view path = rest.substr(0, nl);
        if (!path.empty())
            images.emplace_back(path);
        if (nl == std::string_view::npos)
            break;
        rest.remove_prefix(nl + 1);
    }
    return images;
}

std::vector<std::string> PermanentImages()
{
    std::vector<std::u16string> names;
    std::vector<std::string> images;
    if (ListSettingValues(kImagesKey, &names) != 0)
        return images;
    for (const auto& name : names) {
        std::u16string path;
        if (ReadSettingString(kImagesKey, name, &path) == 0 && !path.empty())
            images.push_back(ToUtf8(path));
    }
    return images;
}

// Gives letters to the volumes that have none: first the letter remembered for
// the volume's key, then the lowest letter from C that is neither taken nor
// remembered for another volume, then the lowest one not taken.
void AssignLetters(std::vector<VolumeEntry>* table, bool remember)
{
    std::u16string remembered[26];
    for (char16_t c = u'C'; c <= u'Z'; ++c) {
        std::u16string key;
        if (ReadSettingString(kLettersKey, std::u16string(1, c), &key) == 0)
            remembered[c - u'A'] = key;
    }
    bool taken[26] = {};
    for (const auto& e : *table)
        if (e.letter)
            taken[e.letter - u'A'] = true;
    for (auto& e : *table) {
        if (e.letter)
            continue;
        const std::u16string key = ToUtf16(e.key);
        for (int i = 2; i < 26; ++i)
            if (!taken[i] && remembered[i] == key) {
                e.letter = static_cast<char16_t>(u'A' + i);
                taken[i] = true;
                break;
            }
    }
    for (auto& e : *table) {
        if (e.letter)
            continue;
        int pick = -1;
        for (int i = 2; i < 26 && pick < 0; ++i)
            if (!taken[i] && remembered[i].empty())
                pick = i;
        for (int i = 2; i < 26 && pick < 0; ++i)
            if (!taken[i])
                pick = i;
        if (pick < 0)
            continue; // more volumes than letters: the rest have none
        e.letter = static_cast<char16_t>(u'A' + pick);
        taken[pick] = true;
        if (remember && e.key.rfind("process:", 0) != 0)
            WriteSettingString(kLettersKey, std::u16string(1, e.letter), ToUtf16(e.key));
    }
    std::erase_if(*table, [](const VolumeEntry& e) { return e.letter == 0; });
    std::sort(table->begin(), table->end(), [](const auto& a, const auto& b) { return a.letter < b.letter; });
}

std::vector<VolumeEntry> BuildTable()
{
    std::vector<VolumeEntry> table;
    bool remember = true;
    if (const char* file = std::getenv("VELKLEVEL2_VOLUME_TABLE"); file && *file) {
        table = ReadTableFile(file);
        remember = false;
    } else {
        AddMounts(&table);
        for (const auto& image : PermanentImages()) {
            VolumeEntry e = ImageEntry(image);
            if (std::none_of(table.begin(), table.end(), [&](const auto& t) { return t.key == e.key; }))
                table.push_back(std::move(e));
        }
    }
    AssignLetters(&table, remember);
    std::vector<VolumeEntry> processImages;
    for (const auto& image : ProcessImages()) {
        if (std::any_of(table.begin(), table.end(), [&](const auto& t) { return t.key == "image:" + image; }))
            continue;
        VolumeEntry e = ImageEntry(image);
        e.key = "process:" + image;
        processImages.push_back(std::move(e));
    }
    table.insert(table.end(), processImages.begin(), processImages.end());
    AssignLetters(&table, false);
    return table;
}

// An image is not mounted, so only a reader of its file system can count its
// free space: the plug-ins are asked in turn.
bool ImageFreeSpace(const std::string& image, uint64_t* freeBytes, uint64_t* totalBytes)
{
    for (int number = 0; number <= 5; ++number) {
        Library plugin;
        if (!plugin.Load(ToUtf16("fsm" + std::to_string(number))))
            continue;
        const auto read = plugin.Function<ReadImageFactsFn>("ReadImageFacts");
        VelkImageFacts facts{};
        if (read && read(image.c_str(), &facts) == 0) {
            *freeBytes = facts.freeBytes;
            *totalBytes = facts.totalBytes;
            return true;
        }
    }
    return false;
}

const VolumeEntry* FindLocked(char16_t letter)
{
    if (!g_haveTable) {
        g_table = BuildTable();
        g_haveTable = true;
    }
    for (const auto& e : g_table)
        if (e.letter == letter)
            return &e;
    return nullptr;
}

// "C:\\", "C:" or "c:/" name drive C.
char16_t LetterOfRoot(std::u16string_view root)
{
    if (root.size() < 2 || root[1] != u':')
        return 0;
    char16_t c = root[0];
    if (c >= u'a' && c <= u'z')
        c = static_cast<char16_t>(c - u'a' + u'A');
    return (c >= u'A' && c <= u'Z') ? c : 0;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string Absolute(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

} // namespace

uint32_t GetLogicalDrives()
{
    try {
        std::lock_guard lock(g_mutex);
        g_table = BuildTable();
        g_haveTable = true;
        uint32_t mask = 0;
        for (const auto& e : g_table)
            mask |= 1u << (e.letter - u'A');
        return mask;
    } catch (...) {
        return 0;
    }
}

unsigned GetDriveType(std::u16string_view root)
{
    try {
        std::lock_guard lock(g_mutex);
        const VolumeEntry* e = FindLocked(LetterOfRoot(root));
        return e ? e->type : drive_type::kNoRootDir;
    } catch (...) {
        return drive_type::kUnknown;
    }
}

bool GetVolumeInformation(std::u16string_view root, std::u16string* label, uint32_t* serial,
                          std::u16string* fileSystemName)
{
    try {
        std::lock_guard lock(g_mutex);
        const VolumeEntry* e = FindLocked(LetterOfRoot(root));
        if (!e || !e->hasInformation)
            return false;
        if (label)
            *label = e->label;
        if (serial)
            *serial = e->serial;
        if (fileSystemName)
            *fileSystemName = e->fileSystemName;
        return true;
    } catch (...) {
        return false;
    }
}

bool GetDiskFreeSpace(std::u16string_view root, uint64_t* freeToCaller, uint64_t* totalBytes)
{
    try {
        std::string mountPoint;
        std::string image;
        {
            std::lock_guard lock(g_mutex);
            // A table file is cheap to read and stands for the machine's
            // current state, as a mount's statvfs does.
            if (const char* file = std::getenv("VELKLEVEL2_VOLUME_TABLE"); file && *file)
                g_haveTable = false;
            const VolumeEntry* e = FindLocked(LetterOfRoot(root));
            if (!e)
                return false;
            if (e->hasFixedSpace) {
                if (!e->spaceKnown)
                    return false;
                *freeToCaller = e->freeBytes;
                *totalBytes = e->totalBytes;
                return true;
            }
            mountPoint = e->mountPoint;
            image = e->mountPoint.empty() ? e->target : std::string();
        }
        if (!image.empty())
            return ImageFreeSpace(image, freeToCaller, totalBytes);
        if (mountPoint.empty())
            return false;
        struct statvfs sv {};
        if (::statvfs(mountPoint.c_str(), &sv) != 0)
            return false;
        *freeToCaller = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
        *totalBytes = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
        return true;
    } catch (...) {
        return false;
    }
}

int ResolveDevicePath(std::u16string_view devicePath, std::string* target)
{
    try {
        constexpr std::u16string_view kPrefix = u"\\\\.\\";
        if (!target || devicePath.size() != kPrefix.size() + 2 || devicePath.substr(0, kPrefix.size()) != kPrefix)
            return status::kInvalidParameter;
        const char16_t letter = LetterOfRoot(devicePath.substr(kPrefix.size()));
        if (!letter)
            return status::kInvalidParameter;
        std::lock_guard lock(g_mutex);
        // Read afresh: this library's copy of the table may be older than the
        // caller's list.
        g_table = BuildTable();
        g_haveTable = true;
        const VolumeEntry* e = FindLocked(letter);
        if (!e)
            return status::kInvalidDrive;
        if (e->target.empty())
            return status::kNotSupported;
        *target = e->target;
        return status::kSuccess;
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int AttachImage(const std::string& imagePath, char16_t* letter)
{
    try {
        if (!FileExists(imagePath))
            return status::kFileNotFound;
        const std::string path = Absolute(imagePath);
        std::vector<std::u16string> names;
        ListSettingValues(kImagesKey, &names);
        bool present = false;
        for (const auto& name : names) {
            std::u16string stored;
            if (ReadSettingString(kImagesKey, name, &stored) == 0 && ToUtf8(stored) == path)
                present = true;
        }
        if (!present) {
            int n = 0;
            std::u16string name;
            do
                name = u"image" + ToUtf16(std::to_string(n++));
            while (std::find_if(names.begin(), names.end(), [&](const auto& v) {
                       return v.size() == name.size() && std::equal(v.begin(), v.end(), name.begin(), [](char16_t a, char16_t b) {
                                  return std::tolower(a) == std::tolower(b);
                              });
                   }) != names.end());
            if (int rc = WriteSettingString(kImagesKey, name, ToUtf16(path)); rc != 0)
                return rc;
        }
        GetLogicalDrives();
        std::lock_guard lock(g_mutex);
        for (const auto& e : g_table)
            if (e.key == "image:" + path) {
                if (letter)
                    *letter = e.letter;
                return status::kSuccess;
            }
        return status::kInvalidDrive; // every letter is taken
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int DetachImage(const std::string& imagePath)
{
    try {
        const std::string path = Absolute(imagePath);
        std::vector<std::u16string> names;
        ListSettingValues(kImagesKey, &names);
        for (const auto& name : names) {
            std::u16string stored;
            if (ReadSettingString(kImagesKey, name, &stored) == 0 && (ToUtf8(stored) == path || ToUtf8(stored) == imagePath))
                return DeleteSettingValue(kImagesKey, name);
        }
        return status::kFileNotFound;
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int AttachImageForProcess(const std::string& imagePath, char16_t* letter)
{
    try {
        if (!FileExists(imagePath))
            return status::kFileNotFound;
        const std::string path = Absolute(imagePath);
        if (path.find('\n') != std::string::npos)
            return status::kInvalidParameter;
        std::string list;
        if (const char* value = std::getenv(kProcessImagesVariable))
            list = value;
        bool present = false;
        for (const auto& p : ProcessImages())
            present = present || p == path;
        if (!present) {
            if (!list.empty())
                list += '\n';
            list += path;
            ::setenv(kProcessImagesVariable, list.c_str(), 1);
        }
        GetLogicalDrives();
        std::lock_guard lock(g_mutex);
        for (const auto& e : g_table)
            if (e.key == "process:" + path) {
                if (letter)
                    *letter = e.letter;
                return status::kSuccess;
            }
        return status::kInvalidDrive;
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

std::vector<VolumeEntry> GetVolumeTable()
{
    std::lock_guard lock(g_mutex);
    if (!g_haveTable) {
        g_table = BuildTable();
        g_haveTable = true;
    }
    return g_table;
}

} // namespace platform
