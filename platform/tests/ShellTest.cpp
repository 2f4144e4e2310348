#include "platform/Shell.h"

#include "platform/Utf.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// Puts a recording xdg-open first on PATH; each call appends its arguments,
// one per line, and a closing marker so a half-written record is never read.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path() / ("shelltest-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_folder);
        m_record = m_folder / "record.txt";
        std::filesystem::path script = m_folder / "xdg-open";
        {
            std::ofstream out(script);
            out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << m_record.string()
                << "'\necho '<end>' >> '" << m_record.string() << "'\n";
        }
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_savedPath = path != nullptr ? path : "";
        setenv("PATH", (m_folder.string() + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_savedPath.c_str(), 1);
        std::filesystem::remove_all(m_folder);
    }

    std::string WaitForRecord() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(m_record);
            std::string text(std::istreambuf_iterator<char>(in), {});
            if (text.find("<end>\n") != std::string::npos)
                return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    std::filesystem::path m_folder;
    std::filesystem::path m_record;
    std::string m_savedPath;
};

TEST_F(ShellTest, PassesAddressUnchanged)
{
    const std::u16string address = u"http://example.invalid/cgi-bin/analyze.cgi?v=3.13&l=7.3 x=\u00e9&s=$HOME;`id`";
    ASSERT_TRUE(OpenAddress(address));
    EXPECT_EQ(WaitForRecord(), ToUtf8(address) + "\n<end>\n");
}

TEST_F(ShellTest, LeavesNoChildBehind)
{
    ASSERT_TRUE(OpenAddress(u"/tmp/some file.txt"));
    EXPECT_EQ(WaitForRecord(), "/tmp/some file.txt\n<end>\n");
    // The handler was started by a child that has already been reaped.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(ShellTest, NoHandlerOnPathFails)
{
    setenv("PATH", "", 1);
    EXPECT_FALSE(OpenAddress(u"http://example.invalid/"));
    setenv("PATH", "/nonexistent-folder", 1);
    EXPECT_FALSE(OpenAddress(u"http://example.invalid/"));
}

TEST_F(ShellTest, HandlerThatCannotBeExecutedFails)
{
    // Executable bits but no valid program: execve itself fails.
    std::filesystem::path script = m_folder / "xdg-open";
    {
        std::ofstream out(script, std::ios::trunc);
        out << "\x7f" "ELF garbage";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_FALSE(OpenAddress(u"http://example.invalid/"));
}

TEST_F(ShellTest, EmptyAddressFails)
{
    EXPECT_FALSE(OpenAddress(u""));
}

} // namespace
} // namespace platform
