// velk run as a user runs it, over a volume table file and the scripted plug-in.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/Status.h"
#include "platform/Utf.h"

namespace {

// Clusters of 4096 bytes, 100 in all:
//   /a  0+10                   one extent: adds 0 to the file term
//   /b  10+10 30+10 50+10      three equal extents: adds 2
//   /c  20+1 40+3              S = 4, Q = 10: adds 16/10 - 1 = 0.6
// The bitmap comes from the extents: used 0-20, 30-42, 50-59 (highest 59),
// free 21-29 and 43-49. So
//   files     A = 2.6
//   used runs B = 44^2 / (21^2 + 13^2 + 10^2) = 1936/710
//   free runs C = 16^2 / (9^2 + 7^2) = 256/130
//   A*B*C = 13.961..., log10 + 1 = 2.1449..., level 2.1.
constexpr const char* kScript = "VelkScript 1\n"
                                "label\tDemo\n"
                                "serial\t1A2B3C4D\n"
                                "bytes\t409600\t229376\n"
                                "clusters\t4096\t100\t44\n"
                                "file\t/a\t0+10\n"
                                "file\t/b\t10+10 30+10 50+10\n"
                                "log\tchecked /b\n"
                                "file\t/c\t20+1 40+3\n";

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class VelkScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velk-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        Write("demo.vscript", kScript);
        Write("fails.vscript", "VelkScript 1\nopen-status\t21\n");
        Write("table.txt", "C\tfixed\tVelkScript\tDemo\t1A2B3C4D\t409600\t229376\t" + m_dir + "/demo.vscript\n" +
                               "D\tremovable\tVelkScript\tStick\t00000001\t409600\t0\t" + m_dir + "/fails.vscript\n" +
                               "E\tfixed\tNTFS\tWin\t00000002\t409600\t0\t\n");
        std::system(("mkdir -p '" + m_dir + "/out'").c_str());
    }
    void TearDown() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    void Write(const std::string& name, const std::string& text) { std::ofstream(m_dir + "/" + name) << text; }
    std::string Read(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    Outcome Velk(const std::string& args, const std::string& table = "table.txt")
    {
        const std::string command = "cd '" + m_dir + "' || exit 99; VELKLEVEL2_CONFIG_DIR='" + m_dir + "/config' " +
                                    (table.empty() ? "" : "VELKLEVEL2_VOLUME_TABLE='" + m_dir + "/" + table + "' ") +
                                    "'" VELK_PATH "' " + args + " >'" + m_dir + "/stdout' 2>'" + m_dir + "/stderr'";
        Outcome o;
        const int rc = std::system(command.c_str());
        o.exitCode = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        o.out = Read(m_dir + "/stdout");
        o.err = Read(m_dir + "/stderr");
        return o;
    }
    static double Number(const std::string& json, const std::string& name)
    {
        const auto at = json.find("\"" + name + "\": ");
        if (at == std::string::npos)
            return -1e300;
        return std::strtod(json.c_str() + at + name.size() + 4, nullptr);
    }
    // A string (with its quotes), null, true or false.
    static std::string Field(const std::string& json, const std::string& name)
    {
        const auto at = json.find("\"" + name + "\": ");
        if (at == std::string::npos)
            return "?";
        const auto start = at + name.size() + 4;
        if (json[start] == '"')
            return json.substr(start, json.find('"', start + 1) - start + 1);
        return json.substr(start, json.find_first_of(",}", start) - start);
    }
    // What follows "  <label>:" and the blanks after it, up to the line's end.
    static std::string Line(const std::string& text, const std::string& label)
    {
        const auto at = text.find("\n  " + label + ":");
        if (at == std::string::npos)
            return "?";
        const auto start = text.find_first_not_of(' ', at + label.size() + 4);
        return text.substr(start, text.find('\n', start) - start);
    }
    // `text` is `prefix`, a fourteen-digit timestamp and `suffix`.
    static bool Stamped(const std::string& text, const std::string& prefix, const std::string& suffix)
    {
        return text.size() == prefix.size() + 14 + suffix.size() && text.rfind(prefix, 0) == 0 &&
               text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0 &&
               text.find_first_not_of("0123456789", prefix.size()) == text.size() - suffix.size();
    }

    std::string m_dir;
    const std::string m_plugins = "--plugins '" SCRIPTED_PLUGIN_FOLDER "'";
};

TEST_F(VelkScan, JsonMatchesTheHandComputedScan)
{
    const Outcome o = Velk("scan C --json " + m_plugins);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out.rfind("{\"volumes\": [", 0), 0u) << o.out;
    EXPECT_EQ(Field(o.out, "letter"), "\"C\"");
    EXPECT_EQ(Field(o.out, "description"), "\"C:\\\\ 0.00GB Demo [VelkScript]\"");
    EXPECT_EQ(Field(o.out, "file_system"), "\"VelkScript\"");
    EXPECT_EQ(Number(o.out, "status"), 0);
    EXPECT_EQ(Field(o.out, "error"), "null");
    EXPECT_EQ(Field(o.out, "interrupted"), "false");
    EXPECT_EQ(Number(o.out, "velk_level"), 2.1);
    EXPECT_EQ(Number(o.out, "files_scanned"), 3);
    EXPECT_EQ(Number(o.out, "clusters_in_use"), 44);
    EXPECT_EQ(Number(o.out, "cluster_size"), 4096);
    EXPECT_EQ(Number(o.out, "total_clusters"), 100);
    EXPECT_EQ(Number(o.out, "highest_cluster_used"), 59);
    EXPECT_EQ(Number(o.out, "highest_cluster_percent"), 59);
    EXPECT_GE(Number(o.out, "scan_duration_seconds"), 0);
    EXPECT_EQ(Field(o.out, "overlap_warning"), "null");
    EXPECT_EQ(Field(o.out, "summary_file"), "null");
    EXPECT_EQ(Field(o.out, "problem_report_file"), "null");
    EXPECT_EQ(Field(o.out, "dump_file"), "null");
    EXPECT_NE(Field(o.out, "analysis_url"), "?");
    EXPECT_NEAR(Number(o.out, "files"), 2.6, 1e-12);
    EXPECT_NEAR(Number(o.out, "used_runs"), 1936.0 / 710.0, 1e-12);
    EXPECT_NEAR(Number(o.out, "free_runs"), 256.0 / 130.0, 1e-12);
    const auto top = o.out.find("\"top_files\": [");
    ASSERT_NE(top, std::string::npos);
    const std::string files = o.out.substr(top, o.out.find(']', top) - top + 1);
    EXPECT_EQ(files.rfind("\"top_files\": [{\"path\": \"/b\", \"extents\": 3, \"contribution\": 2}, "
                          "{\"path\": \"/c\", \"extents\": 2, \"contribution\": 0.6",
                          0),
              0u)
        << files;
    const std::string last = "}, {\"path\": \"/a\", \"extents\": 1, \"contribution\": 0}]";
    EXPECT_EQ(files.substr(files.size() - std::min(files.size(), last.size())), last) << files;
}

TEST_F(VelkScan, TextAndReportFiles)
{
    const Outcome o = Velk("scan c: --summary --dump --report -C out " + m_plugins);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    for (const char* line : {"C:\\ 0.00GB Demo [VelkScript]\n", "  Computation finished.\n",
                             "  Velk level:              2.1\n", "  Files scanned:           3\n",
                             "  Volume usage:            44 clusters/0.00 GB\n",
                             "  Highest cluster used at: 59/0.00 GB (59% of 100 clusters)\n",
                             "  Score: files 2.6 x used runs 2.727 x free runs 1.969\n",
                             "        2.0000       3 extents  /b\n"})
        EXPECT_NE(o.out.find(line), std::string::npos) << line << "\n" << o.out;
    EXPECT_TRUE(Stamped(Line(o.out, "Summary log"), m_dir + "/out/ombrix.sum.C-", ".txt")) << o.out;
    EXPECT_TRUE(Stamped(Line(o.out, "Extent dump"), m_dir + "/out/Vlm-C-Demo-1A2B3C4D-", ".txt")) << o.out;
    EXPECT_TRUE(Stamped(Line(o.out, "Debug log"), m_dir + "/out/ombrix.err.", ".xml")) << o.out;
    // A relative plug-in folder still means the one beside the starting folder.
    std::system(("cp -r '" SCRIPTED_PLUGIN_FOLDER "' '" + m_dir + "/plugins'").c_str());
    const Outcome files = Velk("scan C --json --summary --dump --report -C out --plugins plugins");
    for (const char* name : {"summary_file", "dump_file", "problem_report_file"}) {
        const std::string path = Field(files.out, name);
        ASSERT_GT(path.size(), 2u) << name;
        EXPECT_EQ(::access(path.substr(1, path.size() - 2).c_str(), R_OK), 0) << path;
    }
}

TEST_F(VelkScan, FailuresGiveStatusAndExitCode)
{
    Outcome o = Velk("scan D E C --json " + m_plugins);
    EXPECT_EQ(o.exitCode, 1);
    const std::string notReady = platform::ToUtf8(platform::StatusText(platform::status::kNotReady));
    EXPECT_NE(o.err.find("velk: D: cannot be opened: " + notReady + " (status 21)"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("velk: E: cannot be scanned: "), std::string::npos) << "no plug-in reads NTFS here: " << o.err;
    EXPECT_NE(o.out.find("\"status\": 21"), std::string::npos);
    EXPECT_NE(o.out.find("\"status\": 15"), std::string::npos);
    EXPECT_NE(o.out.find("\"velk_level\": 2.1"), std::string::npos) << "C is still scanned";

    o = Velk("scan --image '" + m_dir + "/no-such.img' " + m_plugins);
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("no-such.img cannot be attached: " +
                         platform::ToUtf8(platform::StatusText(platform::status::kFileNotFound))),
              std::string::npos)
        << o.err;

    for (const char* usage : {"", "frob", "scan A", "scan C --all", "list --dump", "scan -C"}) {
        o = Velk(usage);
        EXPECT_EQ(o.exitCode, 2) << usage;
        EXPECT_NE(o.err.find("Usage: velk"), std::string::npos) << usage;
    }
    o = Velk("scan C -C '" + m_dir + "/missing-folder' " + m_plugins);
    EXPECT_EQ(o.exitCode, 2);

    EXPECT_EQ(Velk("--help").exitCode, 0);
    o = Velk("--version");
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out.rfind("velk ", 0), 0u);
}

TEST_F(VelkScan, ImagesScanWithoutAttachingForGood)
{
    Write("empty.txt", "");
    Outcome o = Velk("scan --image demo.vscript --json " + m_plugins, "empty.txt");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(Field(o.out, "letter"), "\"C\"");
    EXPECT_EQ(Number(o.out, "velk_level"), 2.1);
    // Nothing was remembered: a later list has no drive.
    o = Velk("list --all " + m_plugins, "empty.txt");
    EXPECT_EQ(o.out, "");

    Write("plain.img", std::string(65536, '\0'));
    o = Velk("scan --image plain.img " + m_plugins, "empty.txt");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("C: cannot be scanned: " +
                         platform::ToUtf8(platform::StatusText(platform::status::kUnrecognizedVolume))),
              std::string::npos)
        << o.err;
}

TEST_F(VelkScan, ImagesReadByTheirPlugins)
{
    // The ext4 reader beside velk both counts the image's free space for the
    // volume table and serves the scan.
    if (::access(VELK_BIN_DIR "/fsm5.so", R_OK) != 0)
        GTEST_SKIP() << "no ext4 plug-in built";
    if (std::system(("cd '" + m_dir + "' && truncate -s 32M e.img && mkfs.ext4 -q -F -L demo4 -b 1024 e.img").c_str()) != 0)
        GTEST_SKIP() << "mkfs.ext4 is missing";
    Write("empty.txt", "");
    const Outcome o = Velk("scan --image e.img --json", "empty.txt");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(Field(o.out, "description"), "\"C:\\\\ 0.03GB demo4 [ext4]\"");
    EXPECT_EQ(Number(o.out, "cluster_size"), 1024);
    EXPECT_EQ(Number(o.out, "total_clusters"), 32768);
}

TEST_F(VelkScan, AttachedImagesAreListedUntilDetached)
{
    // The machine's own table, with an image attached for good to it.
    if (::access(VELK_BIN_DIR "/fsm5.so", R_OK) != 0)
        GTEST_SKIP() << "no ext4 plug-in built";
    if (std::system(("cd '" + m_dir + "' && truncate -s 32M a.img && mkfs.ext4 -q -F -L attached4 a.img").c_str()) != 0)
        GTEST_SKIP() << "mkfs.ext4 is missing";
    Outcome o = Velk("attach a.img", "");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    ASSERT_EQ(o.out.substr(1), ": a.img\n") << o.out;
    const std::string letter = o.out.substr(0, 1);

    o = Velk("list", "");
    EXPECT_NE(o.out.find(letter + ":\\ 0.03GB attached4 [ext4]"), std::string::npos) << o.out;
    EXPECT_EQ(Velk("attach a.img", "").out, letter + ": a.img\n"); // the same letter again
    o = Velk("scan " + letter + " --json", "");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(Number(o.out, "total_clusters"), 32768); // 1 KiB blocks on so small a volume

    EXPECT_EQ(Velk("detach a.img", "").exitCode, 0);
    EXPECT_EQ(Velk("list", "").out.find("attached4"), std::string::npos);
    o = Velk("detach a.img", "");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_NE(o.err.find("cannot be detached"), std::string::npos);
    EXPECT_EQ(Velk("attach no-such.img", "").exitCode, 1);
    EXPECT_EQ(Velk("attach", "").exitCode, 2);
}

TEST_F(VelkScan, CtrlCStopsTheScanAndKeepsPartialResults)
{
    // The volume is a pipe: velk blocks opening it, with its Ctrl-C handler in
    // place, until the test has sent the interrupt and then the script.
    ASSERT_EQ(::mkfifo((m_dir + "/pipe.vscript").c_str(), 0600), 0);
    Write("pipe.txt", "C\tfixed\tVelkScript\tPipe\t0\t-\t-\t" + m_dir + "/pipe.vscript\n");
    const std::string command = "cd '" + m_dir + "' || exit 99; VELKLEVEL2_CONFIG_DIR='" + m_dir +
                                "/config' VELKLEVEL2_VOLUME_TABLE='" + m_dir + "/pipe.txt' '" VELK_PATH "' scan C " +
                                m_plugins + " >stdout 2>stderr & pid=$!; exec 3>'" + m_dir +
                                "/pipe.vscript'; kill -INT $pid; cat demo.vscript >&3; exec 3>&-; wait $pid";
    const int rc = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), 1);
    const std::string out = Read(m_dir + "/stdout");
    EXPECT_NE(out.find("  Computation interrupted.\n"), std::string::npos) << out;
    EXPECT_EQ(Line(out, "Files scanned"), "1") << "the walk stopped at its first file";
    EXPECT_NE(Read(m_dir + "/stderr").find("velk: stopped"), std::string::npos);
}

TEST_F(VelkScan, ListAndOverlaps)
{
    Outcome o = Velk("list " + m_plugins);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out.rfind("C:\\ 0.00GB Demo [VelkScript] ", 0), 0u) << o.out;
    const std::string caption = " C:\\ 0.00GB; 56% free\n";
    EXPECT_EQ(o.out.substr(o.out.size() - std::min(o.out.size(), caption.size())), caption) << o.out;
    EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << "one line";
    o = Velk("list --all --json " + m_plugins);
    EXPECT_NE(o.out.find("{\"letter\": \"D\", \"description\": \"D:\\\\ 0.00GB Stick [VelkScript]\", "
                         "\"caption\": \"D:\\\\ 0.00GB; 0% free\", \"file_system\": \"VelkScript\"}"),
              std::string::npos)
        << o.out;

    Write("garbage.txt", "C\tfixed\n\x01\x02\x03\n");
    o = Velk("list " + m_plugins, "garbage.txt");
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("does not parse"), std::string::npos) << o.err;

    Write("overlap.vscript", "VelkScript 1\nclusters\t4096\t20\t4\nfile\t/first\t0+4\nfile\t/second\t2+2\n");
    Write("overlap.txt", "C\tfixed\tVelkScript\t\t0\t-\t-\t" + m_dir + "/overlap.vscript\n");
    o = Velk("scan C --json " + m_plugins, "overlap.txt");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(Field(o.out, "overlap_warning"), "null") << o.out;

    o = Velk("list --plugins '" + m_dir + "/no-plugins'");
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("no volume can be scanned"), std::string::npos);
    o = Velk("scan --all --plugins '" + m_dir + "/no-plugins'");
    EXPECT_EQ(o.exitCode, 1) << "nothing scanned";
    EXPECT_EQ(o.out, "");
}

} // namespace
