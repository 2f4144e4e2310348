#pragma once
// A script volume: a small text file that describes a whole volume, so that
// tests and demonstrations scan it like a real one.
//
// UTF-8, one directive per line, fields separated by tabs; empty lines and
// lines starting with '#' are ignored. The first line is "VelkScript 1".
//   label <text>                         volume label (read by the volume table)
//   serial <hex>                         volume serial (read by the volume table)
//   bytes <total> <free>                 byte counts the volume table reports
//   clusters <size> <total> <in use>     BeginVolume's cluster size and counts
//   details <text>                       GetDetails (a "\n" in it is a line feed)
//   open-status <n>                      Open fails with Win32 status n
//   file <path> [<extents>]              one file; extents "first+length", blank-
//                                        separated; "-" hands over no extent list
//   log <text>                           a message to the volume log, sent after
//                                        the files listed before it
//   used <first> <length>                clusters in use in the bitmap; without
//                                        any, the files' extents make the bitmap
//   unavailable <first>|all              ReadBitmap has no answer for the chunk
//                                        that starts at <first>, or for any chunk
// Directives are read up to the first "file" line for the volume table's needs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scripted {

struct ScriptExtent {
    int64_t first = 0;
    int64_t length = 0;
};

struct ScriptFile {
    std::u16string path;
    bool nullList = false;
    std::vector<ScriptExtent> extents;
};

// A walk step: a file, or a message for the volume log.
struct ScriptStep {
    bool isLog = false;
    std::u16string text; // the log message
    std::size_t file = 0; // index into files
};

struct Script {
    std::u16string label;
    uint32_t serial = 0;
    uint32_t clusterSize = 4096;
    int64_t totalClusters = 0;
    int64_t clustersInUse = 0;
    std::u16string details;
    int openStatus = 0;
    std::vector<ScriptFile> files;
    std::vector<ScriptStep> steps;
    std::vector<ScriptExtent> used;
    bool bitmapFromFiles = true;
    bool allUnavailable = false;
    std::vector<int64_t> unavailable;
};

// Parses a script; on failure returns nothing and sets *error to the line's
// number and what is wrong with it.
std::optional<Script> ParseScript(const std::string& text, std::string* error);

} // namespace scripted
