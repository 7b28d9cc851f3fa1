#pragma once

// Questions asked about the volume that holds a target folder before files
// are written to it: is there room for the whole selection, and can its file
// system hold a file of a given size.

#include <QByteArray>
#include <QString>
#include <cstdint>

// The free-space query failed.
inline constexpr std::int32_t STATUS_NO_FREE_SPACE_INFO = static_cast<std::int32_t>(0xE0FF000B);

// Every free byte of the volume holding `path` (all free blocks, not only
// those available to the caller). 0 on success; STATUS_NO_FREE_SPACE_INFO,
// with the count unchanged, when the system cannot tell.
std::int32_t GetFreeBytes(const QString& path, std::uint64_t* pFree);

// True when the volume has room for `bytes` with a 1 % margin.
bool HasFreeSpace(const QString& path, std::uint64_t bytes);

// True when the file system holding `folder` may receive a file of `size`
// bytes: FAT up to 2 GiB, FAT32 up to 4 GiB; NTFS, Linux's own file
// systems, network shares and the other file systems known to hold larger
// files without that limit; anything else (exFAT included) is refused.
bool CheckTargetVolume(const QString& folder, std::uint64_t size);

// The type name of the file system holding `path` as the kernel reports it
// ("ext4", "vfat", ...), or empty when no mount is found. Missing trailing
// parts of the path are skipped: the nearest existing folder counts.
QString FileSystemTypeOf(const QString& path);

// The decision for a file-system type name (exposed for tests).
bool FileSystemAcceptsSize(const QString& typeName, std::uint64_t size);

// What kind of drive holds a path: an optical disc is a mount of type
// iso9660 or udf, or any mount of a /dev/sr* device; a path that no mount
// covers is of unknown type; everything else counts as a fixed disk.
enum DriveType
{
    DRIVE_UNKNOWN = 0,
    DRIVE_FIXED = 3,
    DRIVE_CDROM = 5,
};
DriveType GetDriveType(const QString& path);

// Replaces the system's mount table (in the kernel's mountinfo format) for
// every question above; null puts the system's back.
void SetMountTableForTesting(const QByteArray* pTable);
