#pragma once
#include <ext2fs/ext2fs.h>

namespace fsm::ext4 {

// The Win32 status that stands for a libext2fs error code (errno values included).
int StatusFromExt2(errcode_t error);

} // namespace fsm::ext4
