#include "Velk.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "IVelkLevelEngine.h"
#include "Options.h"
#include "Progress.h"
#include "Results.h"
#include "TopFiles.h"
#include "VolumeAccess.h"
#include "platform/Library.h"
#include "platform/Status.h"
#include "platform/Utf.h"
#include "platform/VolumeTable.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {
namespace {

constexpr unsigned kFixedDrives = 1u << 3;
constexpr unsigned kRemovableFixedRemote = 28; // as the desktop program lists them
constexpr std::size_t kTopFiles = 10;

std::string U8(std::u16string_view text) { return platform::ToUtf8(text); }

std::u16string Copy(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

std::u16string StatusMessage(int status)
{
    return platform::StatusText(status) + u" (status " + platform::ToUtf16(std::to_string(status)) + u")";
}

// The file-system name as the details text tells it ("Type: NTFS").
std::u16string FileSystemOf(const std::u16string& details)
{
    const std::u16string tag = u"\nType: ";
    const auto at = details.find(tag);
    if (at == std::u16string::npos)
        return {};
    const auto start = at + tag.size();
    return details.substr(start, details.find(u'\n', start) - start);
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    if (name.empty() || name[0] == '/')
        return name;
    return folder + "/" + name;
}

std::string CurrentFolder()
{
    std::string buffer(4096, '\0');
    if (!::getcwd(buffer.data(), buffer.size()))
        return ".";
    return buffer.c_str();
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The two libraries, loaded by name as every front end loads them, and the
// objects they made; freed engine first, volume access second, then unloaded.
class Components {
public:
    Components() = default;
    Components(const Components&) = delete;
    Components& operator=(const Components&) = delete;
    ~Components()
    {
        if (m_engine && m_freeEngine)
            m_freeEngine(&m_engine);
        if (m_access && m_freeAccess)
            m_freeAccess(&m_access);
        m_engineLibrary.Unload();
        m_mountx.Unload();
    }

    bool LoadVolumeAccess(unsigned mask, const std::string& pluginFolder, std::FILE* err)
    {
        if (!m_mountx.Load(u"mountx")) {
            std::fprintf(err, "velk: the volume access library cannot be loaded: %s\n", m_mountx.Error().c_str());
            return false;
        }
        auto create = m_mountx.Function<CreateVolumeAccessFn>("CreateVolumeAccess");
        m_freeAccess = m_mountx.Function<FreeVolumeAccessFn>("FreeVolumeAccess");
        if (!create || !m_freeAccess) {
            std::fprintf(err, "velk: the volume access library lacks its exports\n");
            return false;
        }
        const std::u16string folder = platform::ToUtf16(pluginFolder);
        create(&m_access, mask, pluginFolder.empty() ? nullptr : folder.c_str());
        if (!m_access) {
            std::fprintf(err, "velk: the volume list cannot be made: %s\n",
                         U8(StatusMessage(platform::status::kNotEnoughMemory)).c_str());
            return false;
        }
        return true;
    }

    bool LoadEngine(std::FILE* err)
    {
        if (!m_engineLibrary.Load(u"vk2eng")) {
            std::fprintf(err, "velk: the analysis engine cannot be loaded: %s\n", m_engineLibrary.Error().c_str());
            return false;
        }
        auto create = m_engineLibrary.Function<CreateVelkLevelEngineFn>("CreateVelkLevelEngine");
        m_freeEngine = m_engineLibrary.Function<FreeVelkLevelEngineFn>("FreeVelkLevelEngine");
        if (create && m_freeEngine)
            create(&m_engine);
        if (!m_engine) {
            std::fprintf(err, "velk: the analysis engine cannot be created: %s\n",
                         U8(StatusMessage(platform::status::kCallNotImplemented)).c_str());
            return false;
        }
        return true;
    }

    VolumeAccess* Access() const noexcept { return m_access; }
    IVelkLevelEngine* Engine() const noexcept { return m_engine; }

private:
    platform::Library m_mountx;
    platform::Library m_engineLibrary;
    FreeVolumeAccessFn m_freeAccess = nullptr;
    FreeVelkLevelEngineFn m_freeEngine = nullptr;
    VolumeAccess* m_access = nullptr;
    IVelkLevelEngine* m_engine = nullptr;
};

int FindVolume(VolumeAccess& access, char16_t letter)
{
    for (int i = 0; i < access.GetVolumeCount(); ++i) {
        const char16_t* caption = access.GetVolumeCaption(static_cast<unsigned>(i));
        if (caption && caption[0] == letter)
            return i;
    }
    return -1;
}

int List(const Options& options, std::FILE* out, std::FILE* err)
{
    Components components;
    if (!components.LoadVolumeAccess(options.all ? kRemovableFixedRemote : kFixedDrives, options.pluginFolder, err))
        return 1;
    VolumeAccess& access = *components.Access();
    const int count = access.GetVolumeCount();
    if (options.json)
        std::fputs("{\"volumes\": [", out);
    for (int i = 0; i < count; ++i) {
        const unsigned index = static_cast<unsigned>(i);
        const std::u16string description = Copy(access.GetVolumeDescription(index));
        const std::u16string caption = Copy(access.GetVolumeCaption(index));
        const std::u16string details = Copy(access.GetVolumeDetails(index));
        if (options.json) {
            std::fprintf(out, "%s\n  {\"letter\": %s, \"description\": %s, \"caption\": %s, \"file_system\": %s}",
                         i ? "," : "", JsonString(caption.substr(0, 1)).c_str(), JsonString(description).c_str(),
                         JsonString(caption).c_str(), JsonString(FileSystemOf(details)).c_str());
        } else {
            std::fprintf(out, "%-40s %s\n", U8(description).c_str(), U8(caption).c_str());
        }
    }
    if (options.json)
        std::fputs(count ? "\n]}\n" : "]}\n", out);
    else if (count == 0)
        std::fprintf(err, "velk: no volume can be scanned%s\n", options.all ? "" : " (--all lists more kinds of drives)");
    return 0;
}

VolumeResult Unscanned(std::optional<char16_t> letter, std::u16string description, int status, std::u16string error)
{
    VolumeResult r;
    r.letter = letter;
    r.description = std::move(description);
    r.status = status;
    r.error = std::move(error);
    return r;
}

VolumeResult ScanOne(Components& components, const Options& options, unsigned index, const std::string& folder,
                     TerminalProgress& progress, std::FILE* err)
{
    VolumeAccess& access = *components.Access();
    IVelkLevelEngine& engine = *components.Engine();
    VolumeResult r;
    const std::u16string caption = Copy(access.GetVolumeCaption(index));
    r.letter = caption.empty() ? std::optional<char16_t>() : caption[0];
    r.description = Copy(access.GetVolumeDescription(index));
    const std::u16string details = Copy(access.GetVolumeDetails(index));
    r.fileSystem = FileSystemOf(details);
    const std::string name = U8(caption.substr(0, 1)) + ":";

    int status = platform::status::kNotSupported;
    IVolume* volume = access.OpenVolume(index, &status);
    if (!volume || status != 0) {
        r.status = status;
        r.error = StatusMessage(status);
        std::fprintf(err, "velk: %s cannot be opened: %s\n", name.c_str(), U8(r.error).c_str());
        return r;
    }
    std::u16string header = Copy(volume->GetDetails());
    if (header.empty())
        header = details;
    const std::u16string dumpName = options.dump ? Copy(access.GetDumpFileName(index)) : std::u16string();
    const std::u16string summaryName = options.summary ? Copy(access.GetSummaryFileName(index)) : std::u16string();
    engine.SetDiagnosticOutput(options.report ? 1 : 0, dumpName.c_str());
    engine.SetSummaryFile(summaryName.c_str(), header.c_str());

    TopFileList top(kTopFiles);
    RecordingVolume recording(volume, &top);
    progress.SetVolume(name);
    engine.AnalyzeVolume(&recording, &progress);

    r.scanned = true;
    // The factors as the scan ended them: GetVelkLevel puts 1.0 in place of 0.0.
    engine.GetFactors(&r.files, &r.usedRuns, &r.freeRuns);
    r.velkLevel = engine.GetVelkLevel();
    r.interrupted = engine.IsInterrupted() != 0;
    r.filesScanned = engine.GetFilesScanned();
    r.clustersInUse = engine.GetClustersInUse();
    r.clusterSize = engine.GetClusterSize();
    r.totalClusters = engine.GetTotalClusters();
    r.highestClusterUsed = engine.GetHighestClusterUsed();
    r.highestClusterPercent = engine.GetHighestClusterPercent();
    int64_t duration = 0;
    engine.GetScanDuration(&duration);
    r.scanDurationSeconds = duration;
    const char16_t* warning = nullptr;
    if (engine.GetOverlapWarning(&warning) && warning)
        r.overlapWarning = std::u16string(warning);
    const std::u16string summary = engine.GetSummaryFile();
    if (summary == u"Error saving summary")
        r.summaryError = summary;
    else if (!summary.empty())
        r.summaryFile = InFolder(folder, U8(summary));
    const std::u16string problemReport = engine.GetProblemReportFile();
    if (!problemReport.empty())
        r.problemReportFile = InFolder(folder, U8(problemReport));
    if (!dumpName.empty() && FileExists(InFolder(folder, U8(dumpName))))
        r.dumpFile = InFolder(folder, U8(dumpName));
    r.analysisUrl = engine.GetAnalysisUrl();
    r.topFiles = top.Files();
    if (r.interrupted)
        r.error = u"The scan was stopped.";
    return r;
}

int Scan(const Options& options, std::FILE* out, std::FILE* err)
{
    std::vector<VolumeResult> results;
    std::vector<char16_t> letters;
    for (char c : options.letters)
        letters.push_back(static_cast<char16_t>(c));
    bool failed = false;
    for (const std::string& image : options.images) {
        char16_t letter = 0;
        const int rc = platform::AttachImageForProcess(image, &letter);
        if (rc != 0) {
            results.push_back(Unscanned({}, platform::ToUtf16(image), rc, StatusMessage(rc)));
            std::fprintf(err, "velk: the image %s cannot be attached: %s\n", image.c_str(), U8(results.back().error).c_str());
            failed = true;
            continue;
        }
        letters.push_back(letter);
    }
    // Paths on the command line mean what they meant where velk was started.
    Options scanOptions = options;
    if (!scanOptions.pluginFolder.empty() && scanOptions.pluginFolder[0] != '/')
        scanOptions.pluginFolder = InFolder(CurrentFolder(), scanOptions.pluginFolder);
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) {
        std::fprintf(err, "velk: cannot write into %s: %s\n", options.directory.c_str(),
                     U8(StatusMessage(platform::StatusFromErrno(errno))).c_str());
        return 2;
    }
    const std::string folder = CurrentFolder();

    Components components;
    const bool named = !letters.empty() || !options.images.empty();
    if (!components.LoadVolumeAccess(named || options.all ? kRemovableFixedRemote : kFixedDrives,
                                     scanOptions.pluginFolder, err) ||
        !components.LoadEngine(err))
        return 1;
    VolumeAccess& access = *components.Access();

    std::vector<int> indexes;
    std::vector<char16_t> missing;
    if (named) {
        for (char16_t letter : letters) {
            const int index = FindVolume(access, letter);
            if (index < 0)
                missing.push_back(letter);
            indexes.push_back(index);
        }
    } else {
        for (int i = 0; i < access.GetVolumeCount(); ++i)
            indexes.push_back(i);
        // Nothing to scan is a failure: a script falls back on something else.
        if (indexes.empty()) {
            std::fprintf(err, "velk: no volume can be scanned%s\n", options.all ? "" : " (--all adds more kinds of drives)");
            failed = true;
        }
    }

    InstallInterruptHandler();
    TerminalProgress progress(::isatty(STDERR_FILENO) ? stderr : nullptr);
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        if (StopRequested())
            break;
        if (indexes[k] < 0) {
            const char16_t letter = letters[k];
            // An attached image that no plug-in reads is not listed.
            const bool image = k >= options.letters.size();
            const int status = image ? platform::status::kUnrecognizedVolume : platform::status::kInvalidDrive;
            results.push_back(Unscanned(letter, std::u16string(1, letter) + u":\\", status, StatusMessage(status)));
            std::fprintf(err, "velk: %c: cannot be scanned: %s\n", static_cast<char>(letter), U8(results.back().error).c_str());
            failed = true;
            continue;
        }
        results.push_back(ScanOne(components, options, static_cast<unsigned>(indexes[k]), folder, progress, err));
        failed = failed || results.back().status != 0 || results.back().interrupted;
    }
    if (StopRequested()) {
        failed = true;
        std::fprintf(err, "velk: stopped\n");
    }
    if (options.json)
        PrintJson(out, results);
    else
        PrintText(out, results);
    std::fflush(out);
    return failed ? 1 : 0;
}

int Attach(const Options& options, std::FILE* out, std::FILE* err)
{
    const std::string& image = options.images.front();
    char16_t letter = 0;
    const int status = platform::AttachImage(image, &letter);
    if (status != 0) {
        std::fprintf(err, "velk: %s cannot be attached: %s\n", image.c_str(), U8(StatusMessage(status)).c_str());
        return 1;
    }
    std::fprintf(out, "%c: %s\n", static_cast<char>(letter), image.c_str());
    return 0;
}

int Detach(const Options& options, std::FILE* err)
{
    const std::string& image = options.images.front();
    const int status = platform::DetachImage(image);
    if (status != 0) {
        std::fprintf(err, "velk: %s cannot be detached: %s\n", image.c_str(), U8(StatusMessage(status)).c_str());
        return 1;
    }
    return 0;
}

} // namespace

int RunVelk(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    try {
        Options options;
        std::string error;
        if (!ParseOptions(args, &options, &error)) {
            std::fprintf(err, "velk: %s\n%s", error.c_str(), UsageText());
            return 2;
        }
        switch (options.command) {
        case Command::Help:
            std::fputs(UsageText(), out);
            return 0;
        case Command::Version:
            std::fprintf(out, "velk %s\n", VELK_VERSION);
            return 0;
        case Command::List:
            return List(options, out, err);
        case Command::Scan:
            return Scan(options, out, err);
        case Command::Attach:
            return Attach(options, out, err);
        case Command::Detach:
            return Detach(options, err);
        }
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(err, "velk: %s\n", e.what());
        return 1;
    }
}

} // namespace velk
