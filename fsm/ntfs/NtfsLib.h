#pragma once
// libntfs-3g's headers, included the one way that compiles as C++: they expect
// the configuration macros of the library's own build and define min/max.

#include <sys/types.h>
#include <sys/stat.h>
#include <cstdarg>
#include <ctime>

#ifndef HAVE_STDINT_H
#define HAVE_STDINT_H 1
#endif
#ifndef HAVE_SYS_STAT_H
#define HAVE_SYS_STAT_H 1
#endif

extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/bitmap.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/layout.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/runlist.h>
#include <ntfs-3g/volume.h>
}

#undef min
#undef max
