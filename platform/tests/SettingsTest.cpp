#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Settings.h"
#include "platform/Status.h"

namespace {

constexpr std::u16string_view kKey = u"HKEY_CURRENT_USER\\Software\\VelkLevel2\\Settings";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/velk-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        ::setenv("VELKLEVEL2_CONFIG_DIR", (m_dir + "/config").c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("VELKLEVEL2_CONFIG_DIR");
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string HiveFile() const { return m_dir + "/config/HKEY_CURRENT_USER.settings"; }
    void WriteHiveFile(const std::string& content) const
    {
        std::ofstream(HiveFile(), std::ios::binary) << content;
    }

    std::string m_dir;
};

TEST_F(SettingsTest, ValuesRoundTripThroughTheFile)
{
    ASSERT_EQ(platform::WriteSettingString(kKey, u"storeFolder", u"/home/u/Ombrix"), 0);
    ASSERT_EQ(platform::WriteSettingDword(kKey, u"Count", 4000000000u), 0);
    ASSERT_EQ(platform::WriteSettingString(kKey, u"", u"default text"), 0);
    const std::u16string awkward = u"tab\there\nline 100% \\ \u00e9\u4e2d";
    ASSERT_EQ(platform::WriteSettingString(kKey, u"odd\tname%", awkward), 0);

    std::u16string text;
    uint32_t dword = 0;
    EXPECT_EQ(platform::ReadSettingString(kKey, u"STOREFOLDER", &text), 0) << "names ignore case";
    EXPECT_EQ(text, u"/home/u/Ombrix");
    EXPECT_EQ(platform::ReadSettingDword(u"HKCU\\software\\velklevel2\\settings", u"count", &dword), 0);
    EXPECT_EQ(dword, 4000000000u);
    EXPECT_EQ(platform::ReadSettingString(kKey, u"", &text), 0);
    EXPECT_EQ(text, u"default text");
    EXPECT_EQ(platform::ReadSettingString(kKey, u"odd\tname%", &text), 0);
    EXPECT_EQ(text, awkward);

    EXPECT_EQ(platform::ReadSettingDword(kKey, u"storeFolder", &dword), platform::status::kInvalidData);
    EXPECT_EQ(platform::ReadSettingString(kKey, u"missing", &text), platform::status::kFileNotFound);
    EXPECT_EQ(platform::ReadSettingString(u"HKEY_CURRENT_USER\\Nowhere", u"x", &text), platform::status::kFileNotFound);
    EXPECT_EQ(platform::ReadSettingString(u"Software\\NoHive", u"x", &text), platform::status::kInvalidParameter);

    ASSERT_EQ(platform::WriteSettingString(kKey, u"StoreFolder", u"/elsewhere"), 0) << "overwrite keeps one value";
    std::vector<std::u16string> names;
    ASSERT_EQ(platform::ListSettingValues(kKey, &names), 0);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"storeFolder", u"Count", u"", u"odd\tname%"}));

    // Nothing but the hive file is left in the folder: the temporary file was renamed.
    DIR* dir = ::opendir((m_dir + "/config").c_str());
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> files;
    while (const dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            files.push_back(e->d_name);
    ::closedir(dir);
    EXPECT_EQ(files, std::vector<std::string>{"HKEY_CURRENT_USER.settings"});
}

TEST_F(SettingsTest, KeysFormATree)
{
    ASSERT_EQ(platform::WriteSettingString(u"HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32", u"", u"/x.so"), 0);
    ASSERT_EQ(platform::CreateSettingKey(u"HKEY_CLASSES_ROOT\\CLSID\\{2}"), 0);
    std::vector<std::u16string> names;
    ASSERT_EQ(platform::ListSettingSubkeys(u"HKEY_CLASSES_ROOT\\CLSID", &names), 0);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"{1}", u"{2}"}));
    ASSERT_EQ(platform::ListSettingSubkeys(u"HKEY_CLASSES_ROOT", &names), 0);
    EXPECT_EQ(names, std::vector<std::u16string>{u"CLSID"});

    ASSERT_EQ(platform::DeleteSettingKey(u"HKEY_CLASSES_ROOT\\CLSID\\{1}"), 0);
    std::u16string text;
    EXPECT_EQ(platform::ReadSettingString(u"HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32", u"", &text),
              platform::status::kFileNotFound);
    ASSERT_EQ(platform::ListSettingSubkeys(u"HKEY_CLASSES_ROOT\\CLSID", &names), 0);
    EXPECT_EQ(names, std::vector<std::u16string>{u"{2}"});
    EXPECT_EQ(platform::DeleteSettingValue(u"HKEY_CLASSES_ROOT\\CLSID\\{2}", u"none"), platform::status::kFileNotFound);
}

TEST_F(SettingsTest, DamagedFilesReadAsEmpty)
{
    ASSERT_EQ(platform::WriteSettingString(kKey, u"storeFolder", u"/a"), 0);
    std::ifstream in(HiveFile(), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const std::string damaged[] = {
        good.substr(0, good.size() - 4),                      // cut inside the end line
        good.substr(0, good.find("end")),                     // cut before it
        std::string("\x7f" "ELF\x01\x02garbage\n\0\0\0", 16), // not a settings file
        "VelkLevel2 settings 1\nS\tx\ty\nend\n",              // a value outside any key
        "VelkLevel2 settings 1\nK\tA\nD\tn\t99999999999\nend\n",
        "VelkLevel2 settings 1\nK\tA\nS\tn\tbad %zz escape\nend\n",
        "VelkLevel2 settings 1\nK\tA\nend\nK\tB\n",           // data after the end
        "",
    };
    for (const std::string& content : damaged) {
        WriteHiveFile(content);
        std::u16string text;
        EXPECT_EQ(platform::ReadSettingString(kKey, u"storeFolder", &text), platform::status::kFileNotFound)
            << content;
    }
    // Writing replaces a damaged file with a sound one.
    ASSERT_EQ(platform::WriteSettingString(kKey, u"storeFolder", u"/b"), 0);
    std::u16string text;
    EXPECT_EQ(platform::ReadSettingString(kKey, u"storeFolder", &text), 0);
    EXPECT_EQ(text, u"/b");
}

TEST_F(SettingsTest, FolderFollowsTheEnvironment)
{
    EXPECT_EQ(platform::SettingsFolder(), m_dir + "/config");
    ::unsetenv("VELKLEVEL2_CONFIG_DIR");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(platform::SettingsFolder(), "/xdg/VelkLevel2");
    ::unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(platform::SettingsFolder(), std::string(home) + "/.config/VelkLevel2");
    }
}

} // namespace
