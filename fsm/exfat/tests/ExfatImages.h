#pragma once
// The exFAT test images, made once per test process by make-exfat-images.sh.

#include <string>

#include "TestSupport.h"

namespace exfattest {

constexpr const char* kImages[] = {"exfat4k.img", "exfat512.img"};

inline std::string ImageFolder() { return VELK_EXFAT_TEST_DIR "/images"; }
inline std::string PluginPath() { return std::string(VELK_BIN_DIR) + "/fsm3.so"; }

// Empty when the images are there, else why they cannot be made.
inline const std::string& MakeImages()
{
    static const std::string problem = [] {
        for (const char* tool : {"mkfs.exfat", "fsck.exfat", "dump.exfat", "tune.exfat"}) {
            if (!fstest::HaveTool(tool))
                return std::string("needs ") + tool + " (exfatprogs)";
        }
        fstest::CommandResult made = fstest::RunCommand(std::string("bash ") +
                                                        VELK_EXFAT_SCRIPT_DIR "/make-exfat-images.sh " + ImageFolder());
        if (made.exitCode == 77)
            return "exFAT images need a loop device and FUSE (root, /dev/fuse, exfat-fuse): " + made.output;
        return made.exitCode == 0 ? std::string() : "make-exfat-images.sh failed: " + made.output;
    }();
    return problem;
}

} // namespace exfattest
