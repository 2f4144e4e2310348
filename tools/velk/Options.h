#pragma once
// The command line of velk.

#include <string>
#include <vector>

namespace velk {

enum class Command { Help, Version, List, Scan, Attach, Detach };

struct Options {
    Command command = Command::Help;
    bool all = false;              // list/scan: removable, fixed and remote drives
    bool json = false;
    bool summary = false;          // scan: write the summary file
    bool dump = false;             // scan: write the extent dump
    bool report = false;           // scan: write the problem report
    std::string directory;         // -C: where the report files go
    std::string pluginFolder;      // --plugins: where fsm0..fsm5 are loaded from
    std::vector<std::string> images; // scan --image; attach/detach: the one image
    std::vector<char> letters;     // scan: drive letters, upper case
};

// Parses argv (without the program name). False, with *error set, on a usage error.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

const char* UsageText();

} // namespace velk
