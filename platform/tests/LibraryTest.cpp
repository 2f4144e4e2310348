#include "platform/Library.h"

#include "platform/Utf.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <climits>
#include <utility>

namespace platform {
namespace {

using AnswerFn = int (*)();

std::string ProgramFolder()
{
    char path[PATH_MAX];
    ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    if (size <= 0)
        return {};
    std::string exe(path, static_cast<std::size_t>(size));
    return exe.substr(0, exe.rfind('/'));
}

TEST(LibraryTest, FileNameRule)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"vk2eng.dll", "vk2eng.so"},   {u"mountx", "mountx.so"},     {u"fsm3", "fsm3.so"},
        {u"MAPI32.DLL", "MAPI32.so"},   {u"DBGHELP.Dll", "DBGHELP.so"}, {u"VelkLevel2gds", "VelkLevel2gds.so"},
        {u"C:/x/fsm3", "C:/x/fsm3.so"}, {u"/opt/v.2/fsm3", "/opt/v.2/fsm3.so"}, {u"bufx.so", "bufx.so"},
        {u"libc.so.6", "libc.so.6"},    {u".dll", ".so"},             {u"caf\u00e9", "caf\xC3\xA9.so"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(LibraryFileName(name), expected) << expected;
}

TEST(LibraryTest, LoadsByBareNameThroughRunpath)
{
    Library library;
    ASSERT_TRUE(library.Load(u"plattestlib")) << library.Error();
    EXPECT_TRUE(library.Error().empty());
    auto answer = library.Function<AnswerFn>("PlatTestAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(library.Symbol("NoSuchSymbol"), nullptr);
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Symbol("PlatTestAnswer"), nullptr);
}

TEST(LibraryTest, LoadsByPathWithDllName)
{
    Library library;
    ASSERT_TRUE(library.Load(ToUtf16(ProgramFolder() + "/plattestlib.dll"))) << library.Error();
    EXPECT_NE(library.Symbol("PlatTestAnswer"), nullptr);
}

TEST(LibraryTest, MissingLibraryReportsError)
{
    Library library;
    EXPECT_FALSE(library.Load(u"no-such-library-anywhere"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_NE(library.Error().find("no-such-library-anywhere.so"), std::string::npos) << library.Error();
    EXPECT_FALSE(library.Load(u""));
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(library.Function<AnswerFn>("PlatTestAnswer"), nullptr);
}

TEST(LibraryTest, MoveTransfersOwnership)
{
    Library first;
    ASSERT_TRUE(first.Load(u"plattestlib"));
    Library second(std::move(first));
    EXPECT_FALSE(first.IsLoaded()); // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_TRUE(second.IsLoaded());
    Library third;
    ASSERT_TRUE(third.Load(u"plattestlib"));
    third = std::move(second);
    EXPECT_TRUE(third.IsLoaded());
    EXPECT_FALSE(second.IsLoaded()); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(third.Function<AnswerFn>("PlatTestAnswer")(), 42);
}

} // namespace
} // namespace platform
