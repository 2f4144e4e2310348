#include "Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>

#include "Status.h"
#include "Utf.h"

namespace platform {
namespace {

// File layout, UTF-8, one record per line, fields separated by tabs:
//   VelkLevel2 settings 1        first line
//   K <path>                     a key, path relative to the hive ("" is the hive)
//   S <name> <text>              a string value of the key above
//   D <name> <decimal>           a DWORD value of the key above
//   end                          last line: a file without it was cut short
// '%', tab, CR and LF inside names and texts are written as %25, %09, %0D, %0A.
constexpr std::string_view kHeader = "VelkLevel2 settings 1";
constexpr std::string_view kTrailer = "end";

struct Value {
    std::u16string name;
    bool isDword = false;
    std::u16string text;
    uint32_t dword = 0;
};

struct Key {
    std::u16string path;
    std::vector<Value> values;
};

using Hive = std::vector<Key>;

std::mutex g_mutex; // one process may touch the store from several threads

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

std::string Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '%': out += "%25"; break;
        case '\t': out += "%09"; break;
        case '\r': out += "%0D"; break;
        case '\n': out += "%0A"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const std::string_view code = text.substr(i + 1, 2);
        if (code == "25")
            out += '%';
        else if (code == "09")
            out += '\t';
        else if (code == "0D")
            out += '\r';
        else if (code == "0A")
            out += '\n';
        else
            return std::nullopt;
        i += 2;
    }
    return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

// Splits "HKEY_CURRENT_USER\\Software\\X" into the hive's canonical name and
// the rest, with empty path parts dropped.
bool SplitKey(std::u16string_view key, std::string* hive, std::u16string* path)
{
    static constexpr struct {
        std::u16string_view alias;
        std::string_view hive;
    } kHives[] = {
        {u"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},   {u"HKCU", "HKEY_CURRENT_USER"},
        {u"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"}, {u"HKLM", "HKEY_LOCAL_MACHINE"},
        {u"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},   {u"HKCR", "HKEY_CLASSES_ROOT"},
        {u"HKEY_USERS", "HKEY_USERS"},
    };
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    while (start <= key.size()) {
        std::size_t slash = key.find(u'\\', start);
        if (slash == std::u16string_view::npos)
            slash = key.size();
        if (slash > start)
            parts.push_back(key.substr(start, slash - start));
        start = slash + 1;
    }
    if (parts.empty())
        return false;
    bool found = false;
    for (const auto& h : kHives) {
        if (SameName(parts[0], h.alias)) {
            *hive = h.hive;
            found = true;
            break;
        }
    }
    if (!found)
        return false;
    path->clear();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (i > 1)
            *path += u'\\';
        *path += parts[i];
    }
    return true;
}

std::string HiveFile(const std::string& hive) { return SettingsFolder() + "/" + hive + ".settings"; }

void Warn(const std::string& file, const char* why)
{
    // Once per file and process: a damaged file is read on every call.
    static std::set<std::string> warned;
    if (!warned.insert(file).second)
        return;
    std::fprintf(stderr, "VelkLevel2: settings file %s %s; it is read as empty\n", file.c_str(), why);
}

Hive LoadHive(const std::string& hive)
{
    const std::string file = HiveFile(hive);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return {};
    std::string content;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        content.append(buffer, got);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        Warn(file, "could not be read");
        return {};
    }

    Hive result;
    std::size_t pos = 0;
    std::size_t lineNo = 0;
    bool ended = false;
    while (pos < content.size()) {
        const std::size_t nl = content.find('\n', pos);
        if (nl == std::string::npos)
            break; // a last line without its line feed was cut short
        const std::string_view line(content.data() + pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        if (ended) {
            Warn(file, "has data after its end");
            return {};
        }
        if (lineNo == 1) {
            if (line != kHeader) {
                Warn(file, "is not a settings file");
                return {};
            }
            continue;
        }
        if (line == kTrailer) {
            ended = true;
            continue;
        }
        const auto fields = SplitTabs(line);
        const auto fail = [&] {
            Warn(file, "is damaged");
            return Hive{};
        };
        if (fields[0] == "K" && fields.size() == 2) {
            const auto path = Unescape(fields[1]);
            if (!path)
                return fail();
            result.push_back(Key{ToUtf16(*path), {}});
        } else if ((fields[0] == "S" || fields[0] == "D") && fields.size() == 3 && !result.empty()) {
            const auto name = Unescape(fields[1]);
            const auto text = Unescape(fields[2]);
            if (!name || !text)
                return fail();
            Value v;
            v.name = ToUtf16(*name);
            if (fields[0] == "D") {
                if (text->empty() || text->size() > 10 || text->find_first_not_of("0123456789") != std::string::npos)
                    return fail();
                const unsigned long long n = std::strtoull(text->c_str(), nullptr, 10);
                if (n > 0xFFFFFFFFull)
                    return fail();
                v.isDword = true;
                v.dword = static_cast<uint32_t>(n);
            } else {
                v.text = ToUtf16(*text);
            }
            result.back().values.push_back(std::move(v));
        } else {
            return fail();
        }
    }
    if (!ended) {
        if (lineNo > 0 || !content.empty())
            Warn(file, "is cut short");
        return {};
    }
    return result;
}

int MakeFolders(const std::string& folder)
{
    std::string partial;
    std::size_t start = 0;
    while (start <= folder.size()) {
        std::size_t slash = folder.find('/', start);
        if (slash == std::string::npos)
            slash = folder.size();
        partial = folder.substr(0, slash);
        start = slash + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return StatusFromErrno(errno);
    }
    return status::kSuccess;
}

int SaveHive(const std::string& hive, const Hive& keys)
{
    std::string content(kHeader);
    content += '\n';
    for (const Key& key : keys) {
        content += "K\t" + Escape(ToUtf8(key.path)) + "\n";
        for (const Value& v : key.values) {
            content += v.isDword ? "D\t" : "S\t";
            content += Escape(ToUtf8(v.name));
            content += '\t';
            content += v.isDword ? std::to_string(v.dword) : Escape(ToUtf8(v.text));
            content += '\n';
        }
    }
    content += kTrailer;
    content += '\n';

    const std::string folder = SettingsFolder();
    if (int rc = MakeFolders(folder); rc != 0)
        return rc;
    const std::string file = HiveFile(hive);
    const std::string temp = file + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return StatusFromErrno(errno);
    std::size_t done = 0;
    int rc = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            rc = StatusFromErrno(errno);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (rc == 0 && ::fsync(fd) != 0)
        rc = StatusFromErrno(errno);
    if (::close(fd) != 0 && rc == 0)
        rc = StatusFromErrno(errno);
    if (rc == 0 && ::rename(temp.c_str(), file.c_str()) != 0)
        rc = StatusFromErrno(errno);
    if (rc != 0)
        ::unlink(temp.c_str());
    return rc;
}

Key* FindKey(Hive& hive, std::u16string_view path)
{
    for (Key& k : hive)
        if (SameName(k.path, path))
            return &k;
    return nullptr;
}

Value* FindValue(Key& key, std::u16string_view name)
{
    for (Value& v : key.values)
        if (SameName(v.name, name))
            return &v;
    return nullptr;
}

Key& EnsureKey(Hive& hive, const std::u16string& path)
{
    // The parents exist as keys of their own, as in the registry.
    std::size_t pos = 0;
    for (;;) {
        const std::size_t slash = path.find(u'\\', pos);
        const std::u16string prefix = path.substr(0, slash);
        if (!FindKey(hive, prefix))
            hive.push_back(Key{prefix, {}});
        if (slash == std::u16string::npos)
            break;
        pos = slash + 1;
    }
    if (!FindKey(hive, u""))
        hive.insert(hive.begin(), Key{u"", {}});
    return *FindKey(hive, path);
}

bool IsUnder(std::u16string_view path, std::u16string_view parent)
{
    if (parent.empty())
        return !path.empty();
    return path.size() > parent.size() && path[parent.size()] == u'\\' && SameName(path.substr(0, parent.size()), parent);
}

// Runs `work(hive, path, hiveName)` on the hive of `key`, loaded under the
// lock. A malformed key gives 87, running out of memory 8.
template <typename Work> int WithHive(std::u16string_view key, Work work)
{
    try {
        std::string hiveName;
        std::u16string path;
        if (!SplitKey(key, &hiveName, &path))
            return status::kInvalidParameter;
        std::lock_guard lock(g_mutex);
        Hive hive = LoadHive(hiveName);
        return work(hive, path, hiveName);
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int WriteValue(std::u16string_view key, std::u16string_view name, const Value& value)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string& hiveName) {
        Key& k = EnsureKey(hive, path);
        if (Value* existing = FindValue(k, name)) {
            const std::u16string keepName = existing->name;
            *existing = value;
            existing->name = keepName;
        } else {
            k.values.push_back(value);
            k.values.back().name = std::u16string(name);
        }
        return SaveHive(hiveName, hive);
    });
}

int ReadValue(std::u16string_view key, std::u16string_view name, Value* out)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string&) {
        Key* k = FindKey(hive, path);
        if (!k)
            return status::kFileNotFound;
        Value* v = FindValue(*k, name);
        if (!v)
            return status::kFileNotFound;
        *out = *v;
        return status::kSuccess;
    });
}

} // namespace

std::string SettingsFolder()
{
    if (const char* dir = std::getenv("VELKLEVEL2_CONFIG_DIR"); dir && *dir)
        return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/VelkLevel2";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/VelkLevel2";
}

int ReadSettingString(std::u16string_view key, std::u16string_view name, std::u16string* value)
{
    try {
        Value v;
        if (int rc = ReadValue(key, name, &v); rc != 0)
            return rc;
        if (v.isDword)
            return status::kInvalidData;
        if (value)
            *value = v.text;
        return status::kSuccess;
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int ReadSettingDword(std::u16string_view key, std::u16string_view name, uint32_t* value)
{
    try {
        Value v;
        if (int rc = ReadValue(key, name, &v); rc != 0)
            return rc;
        if (!v.isDword)
            return status::kInvalidData;
        if (value)
            *value = v.dword;
        return status::kSuccess;
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int WriteSettingString(std::u16string_view key, std::u16string_view name, std::u16string_view value)
{
    try {
        Value v;
        v.text = value;
        return WriteValue(key, name, v);
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int WriteSettingDword(std::u16string_view key, std::u16string_view name, uint32_t value)
{
    try {
        Value v;
        v.isDword = true;
        v.dword = value;
        return WriteValue(key, name, v);
    } catch (...) {
        return status::kNotEnoughMemory;
    }
}

int CreateSettingKey(std::u16string_view key)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string& hiveName) {
        if (FindKey(hive, path) && (path.empty() || FindKey(hive, u"")))
            return status::kSuccess;
        EnsureKey(hive, path);
        return SaveHive(hiveName, hive);
    });
}

int DeleteSettingValue(std::u16string_view key, std::u16string_view name)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string& hiveName) {
        Key* k = FindKey(hive, path);
        if (!k)
            return status::kFileNotFound;
        for (auto it = k->values.begin(); it != k->values.end(); ++it) {
            if (SameName(it->name, name)) {
                k->values.erase(it);
                return SaveHive(hiveName, hive);
            }
        }
        return status::kFileNotFound;
    });
}

int DeleteSettingKey(std::u16string_view key)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string& hiveName) {
        if (!FindKey(hive, path))
            return status::kFileNotFound;
        std::erase_if(hive, [&](const Key& k) { return SameName(k.path, path) || IsUnder(k.path, path); });
        return SaveHive(hiveName, hive);
    });
}

int ListSettingSubkeys(std::u16string_view key, std::vector<std::u16string>* names)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string&) {
        if (!path.empty() && !FindKey(hive, path))
            return status::kFileNotFound;
        names->clear();
        for (const Key& k : hive) {
            if (!IsUnder(k.path, path))
                continue;
            const std::u16string rest = k.path.substr(path.empty() ? 0 : path.size() + 1);
            if (rest.find(u'\\') == std::u16string::npos)
                names->push_back(rest);
        }
        return status::kSuccess;
    });
}

int ListSettingValues(std::u16string_view key, std::vector<std::u16string>* names)
{
    return WithHive(key, [&](Hive& hive, const std::u16string& path, const std::string&) {
        Key* k = FindKey(hive, path);
        if (!k)
            return path.empty() ? (names->clear(), status::kSuccess) : status::kFileNotFound;
        names->clear();
        for (const Value& v : k->values)
            names->push_back(v.name);
        return status::kSuccess;
    });
}

} // namespace platform
