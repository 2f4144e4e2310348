#include "Script.h"

#include <cerrno>
#include <cstdlib>

#include "platform/Utf.h"

namespace scripted {
namespace {

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool ParseInt(const std::string& text, int base, int64_t min, int64_t max, int64_t* value)
{
    if (text.empty() || text.size() > 20)
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, base);
    if (errno != 0 || *end != 0 || v < min || v > max)
        return false;
    *value = v;
    return true;
}

bool ParseExtents(const std::string& text, std::vector<ScriptExtent>* extents)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ') {
            ++pos;
            continue;
        }
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(pos, end - pos);
        const std::size_t plus = item.find('+', 1);
        ScriptExtent e;
        if (plus == std::string::npos || !ParseInt(item.substr(0, plus), 10, INT64_MIN, INT64_MAX, &e.first) ||
            !ParseInt(item.substr(plus + 1), 10, INT64_MIN, INT64_MAX, &e.length))
            return false;
        extents->push_back(e);
        pos = end;
    }
    return true;
}

std::u16string WithLineFeeds(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return platform::ToUtf16(out);
}

} // namespace

std::optional<Script> ParseScript(const std::string& text, std::string* error)
{
    Script script;
    bool haveUsed = false;
    std::size_t pos = 0;
    int lineNo = 0;
    const auto fail = [&](const char* why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return std::nullopt;
    };
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lineNo == 1) {
            if (line != "VelkScript 1")
                return fail("not a script volume");
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        const auto f = SplitTabs(line);
        const std::string& word = f[0];
        int64_t a = 0, b = 0, c = 0;
        if (word == "label" && f.size() == 2) {
            script.label = platform::ToUtf16(f[1]);
        } else if (word == "serial" && f.size() == 2) {
            if (!ParseInt(f[1], 16, 0, 0xFFFFFFFFll, &a))
                return fail("bad serial");
            script.serial = static_cast<uint32_t>(a);
        } else if (word == "bytes" && f.size() == 3) {
            // For the volume table only.
        } else if (word == "clusters" && f.size() == 4) {
            if (!ParseInt(f[1], 10, 1, 0xFFFFFFFFll, &a) || !ParseInt(f[2], 10, 0, INT64_MAX, &b) ||
                !ParseInt(f[3], 10, 0, INT64_MAX, &c))
                return fail("bad cluster counts");
            script.clusterSize = static_cast<uint32_t>(a);
            script.totalClusters = b;
            script.clustersInUse = c;
        } else if (word == "details" && f.size() == 2) {
            script.details = WithLineFeeds(f[1]);
        } else if (word == "open-status" && f.size() == 2) {
            if (!ParseInt(f[1], 10, 0, INT32_MAX, &a))
                return fail("bad status");
            script.openStatus = static_cast<int>(a);
        } else if (word == "file" && (f.size() == 2 || f.size() == 3)) {
            ScriptFile file;
            file.path = platform::ToUtf16(f[1]);
            if (f.size() == 3 && f[2] == "-")
                file.nullList = true;
            else if (f.size() == 3 && !ParseExtents(f[2], &file.extents))
                return fail("bad extent list");
            script.steps.push_back(ScriptStep{false, {}, script.files.size()});
            script.files.push_back(std::move(file));
        } else if (word == "log" && f.size() == 2) {
            script.steps.push_back(ScriptStep{true, WithLineFeeds(f[1]), 0});
        } else if (word == "used" && f.size() == 3) {
            if (!ParseInt(f[1], 10, 0, INT64_MAX, &a) || !ParseInt(f[2], 10, 0, INT64_MAX, &b))
                return fail("bad used run");
            script.used.push_back(ScriptExtent{a, b});
            haveUsed = true;
        } else if (word == "unavailable" && f.size() == 2) {
            if (f[1] == "all")
                script.allUnavailable = true;
            else if (ParseInt(f[1], 10, 0, INT64_MAX, &a))
                script.unavailable.push_back(a);
            else
                return fail("bad chunk");
        } else {
            return fail("unknown directive");
        }
    }
    if (lineNo == 0)
        return fail("empty");
    script.bitmapFromFiles = !haveUsed;
    if (script.bitmapFromFiles)
        for (const auto& file : script.files)
            script.used.insert(script.used.end(), file.extents.begin(), file.extents.end());
    return script;
}

} // namespace scripted
