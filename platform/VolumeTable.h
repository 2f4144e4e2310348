#pragma once
// The volume table: drive letters C to Z given to this machine's volumes and to
// attached disk images, answering what a drive-letter system is asked (the
// logical-drive mask, a root's drive type, its volume information and free
// space, and the file behind "\\.\X:").
//
// Sources, in this order:
// - the file named by VELKLEVEL2_VOLUME_TABLE, when set, replaces every other
//   source except the attachments of this process (tests never depend on the
//   machine's mounts);
// - otherwise the mounts of /proc/self/mountinfo whose source is a block device,
//   and the network file systems (nfs, cifs, smb3, sshfs) as remote drives,
//   then the images attached for good (AttachImage, kept in the settings store);
// - the images attached for this process only (AttachImageForProcess).
// A volume keeps its letter across runs: the letter is remembered in the
// settings store under its UUID, image path or device; a new volume takes the
// lowest free letter from C.
//
// Table file format: UTF-8 text, one drive per line, eight fields separated by
// tabs; empty lines and lines starting with '#' are ignored:
//   letter  type  fs-name  label  serial  total-bytes  free-bytes  target
// letter is C..Z; type is one of removable, fixed, remote, cdrom, ramdisk or the
// drive type number; fs-name "-" makes the volume information query fail (an
// empty removable drive); serial is hexadecimal; total-bytes and free-bytes are
// decimal, or "-" for a free-space query that fails; target is the device or
// image file that "\\.\X:" opens (may be empty). In the label and target a tab,
// line feed or '%' is written as %09, %0A or %25. A file with any line that
// does not parse is taken as an empty table, with a warning on stderr.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace drive_type {
constexpr unsigned kUnknown = 0;
constexpr unsigned kNoRootDir = 1;
constexpr unsigned kRemovable = 2;
constexpr unsigned kFixed = 3;
constexpr unsigned kRemote = 4;
constexpr unsigned kCdrom = 5;
constexpr unsigned kRamdisk = 6;
} // namespace drive_type

struct VolumeEntry {
    char16_t letter = 0;
    unsigned type = drive_type::kFixed;
    bool hasInformation = false;     // false: the volume information query fails
    std::u16string fileSystemName;   // as Windows spells it ("NTFS", "FAT32", ...)
    std::u16string label;
    uint32_t serial = 0;
    bool hasFixedSpace = false;      // the table file gave the byte counts
    bool spaceKnown = false;         // false: the free-space query fails
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
    std::string mountPoint;          // statvfs is asked here when not empty
    std::string target;              // device or image file behind "\\.\X:"
    std::string key;                 // what the letter is remembered by
};

// Reads every source again and returns bit n for each present drive (A = bit 0).
uint32_t GetLogicalDrives();

// The drive type of a root such as "C:\\"; kNoRootDir for a letter with no volume.
unsigned GetDriveType(std::u16string_view root);

// Label, serial number and file-system name of a root; false when the volume
// cannot tell them (unknown letter, unreadable or unrecognised volume).
bool GetVolumeInformation(std::u16string_view root, std::u16string* label, uint32_t* serial,
                          std::u16string* fileSystemName);

// Bytes free to the caller and total bytes; false when they cannot be had.
// A mount answers through statvfs; an image through the "ReadImageFacts"
// export of the first plug-in fsm0..fsm5 (found by the library search) that
// reads its file system; a script volume through its "bytes" line.
bool GetDiskFreeSpace(std::u16string_view root, uint64_t* freeToCaller, uint64_t* totalBytes);

// Resolves "\\\\.\\X:" to the device or image file behind drive X: 0 and *target
// set, or a Win32 status (15 for a letter with no volume, 87 for a malformed path).
int ResolveDevicePath(std::u16string_view devicePath, std::string* target);

// Attaches a disk image for good: the letter is remembered in the settings
// store and the image is listed by every later table. 0 and *letter set, or a
// Win32 status (2 when the file does not exist).
int AttachImage(const std::string& imagePath, char16_t* letter);
int DetachImage(const std::string& imagePath);

// Attaches a disk image for this process only (every library of the process
// sees it; nothing is remembered). 0 and *letter set, or a Win32 status.
int AttachImageForProcess(const std::string& imagePath, char16_t* letter);

// The whole table as the last GetLogicalDrives read it (read now when none was).
std::vector<VolumeEntry> GetVolumeTable();

} // namespace platform
