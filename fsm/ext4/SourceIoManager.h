#pragma once
// A libext2fs I/O manager that reads through an ImageSource and refuses every
// write, so the library cannot change a volume whatever it is asked to do.

#include <ext2fs/ext2fs.h>

#include "ImageSource.h"

namespace fsm::ext4 {

// Makes the next ext2fs_open2 on this thread with SourceIoManager() read from
// `source`, which must outlive the file-system handle.
void BindSourceForOpen(ImageSource* source);
io_manager SourceIoManager();

} // namespace fsm::ext4
