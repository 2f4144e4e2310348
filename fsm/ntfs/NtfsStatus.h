#pragma once

namespace fsm::ntfs {

// The Win32 status for an errno value that libntfs-3g left after a failed mount.
int StatusFromNtfsErrno(int error);

} // namespace fsm::ntfs
