#pragma once
// The FAT test images, made once per test process by make-fat-images.sh.

#include <string>

#include "TestSupport.h"

namespace fattest {

struct FatImage {
    const char* file;
    const char* fileSystemName;
    const char* plugin; // the plug-in that serves it
};

constexpr FatImage kImages[] = {
    {"fat12.img", "FAT", "fsm2.so"},
    {"fat16.img", "FAT", "fsm2.so"},
    {"fat32.img", "FAT32", "fsm1.so"},
};

inline std::string ImageFolder() { return VELK_FAT_TEST_DIR "/images"; }
inline std::string PluginPath(const std::string& plugin) { return std::string(VELK_BIN_DIR) + "/" + plugin; }

// Empty when the images are there, else why they cannot be made.
inline const std::string& MakeImages()
{
    static const std::string problem = [] {
        for (const char* tool : {"mkfs.fat", "mcopy", "mshowfat", "fsck.fat"}) {
            if (!fstest::HaveTool(tool))
                return std::string("needs ") + tool + " (dosfstools, mtools)";
        }
        fstest::CommandResult made =
            fstest::RunCommand(std::string("bash ") + VELK_FAT_SCRIPT_DIR "/make-fat-images.sh " + ImageFolder());
        return made.exitCode == 0 ? std::string() : "make-fat-images.sh failed: " + made.output;
    }();
    return problem;
}

} // namespace fattest
