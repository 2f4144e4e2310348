#pragma once
// The settings store that stands in for the registry: keys named by backslash
// paths that start with a hive ("HKEY_CURRENT_USER\\Software\\VelkLevel2\\Settings"),
// each holding named string and DWORD values; the empty name is the key's
// default value. Key and value names compare without regard to ASCII case.
//
// One file per hive (HKEY_CURRENT_USER.settings, ...) in the folder named by
// VELKLEVEL2_CONFIG_DIR, else $XDG_CONFIG_HOME/VelkLevel2, else
// $HOME/.config/VelkLevel2. Every change rewrites the hive's file through a
// temporary file and a rename, so a reader sees the old or the new file whole.
// A file that is truncated or does not parse reads as an empty hive, with a
// warning on stderr.
//
// Results are Win32 statuses: 0, 2 (no such key or value), 13 (a value of the
// other type), 87 (no hive named), or the status of a failed file operation.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

int ReadSettingString(std::u16string_view key, std::u16string_view name, std::u16string* value);
int ReadSettingDword(std::u16string_view key, std::u16string_view name, uint32_t* value);

// Create the key (and its parents) when it does not exist.
int WriteSettingString(std::u16string_view key, std::u16string_view name, std::u16string_view value);
int WriteSettingDword(std::u16string_view key, std::u16string_view name, uint32_t value);
int CreateSettingKey(std::u16string_view key);

int DeleteSettingValue(std::u16string_view key, std::u16string_view name);
// Deletes the key with all its subkeys and values.
int DeleteSettingKey(std::u16string_view key);

// Names of the direct subkeys and of the values of a key, in the order stored.
int ListSettingSubkeys(std::u16string_view key, std::vector<std::u16string>* names);
int ListSettingValues(std::u16string_view key, std::vector<std::u16string>* names);

// The folder that holds the hive files.
std::string SettingsFolder();

} // namespace platform
