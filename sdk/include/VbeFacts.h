// VbeFacts.h - what a disc image holds, as the module reads it from the
// image's descriptors: the file systems, their versions, sessions, boot
// records and sizes. Standard library only, like VbeSdk.h.
//
// The module exports one function for it, looked up by name after loading:
//
//   vbe::Result VbeReadImageFacts(const char16_t* path, VbeImageFacts* facts);
//
// path is UTF-16 and NUL-terminated; facts->structSize must be set to
// sizeof(VbeImageFacts) by the caller. The image is opened, read and closed
// within the call, which scans the file system as OpenImage and the reader's
// scan would. Results: kOk; kUnrecognized when the file holds no file system
// the module reads; kCorrupt; kFileNotFound, kAccessDenied; kInvalidArg for
// a null pointer or a wrong structSize.
//
// A second export tells what the image records about one entry:
//
//   vbe::Result VbeReadEntryFacts(const char16_t* imagePath, const char16_t* entryPath,
//                                 VbeEntryFacts* facts);
//
// entryPath as the browser's OpenFile takes it: backslash-separated, no
// leading backslash, relative to the root of the tree the viewer shows; ""
// is the root itself. The same conventions and results as above, and
// kPathNotFound when the shown tree has no such entry.
#pragma once

#include "VbeSdk.h"

#include <cstdint>

constexpr std::uint32_t kVbeFactIso9660 = 0x01;   // a primary volume descriptor
constexpr std::uint32_t kVbeFactJoliet = 0x02;    // a Joliet supplementary descriptor
constexpr std::uint32_t kVbeFactRockRidge = 0x04; // System Use entries of Rock Ridge
constexpr std::uint32_t kVbeFactUdf = 0x08;       // a UDF logical volume
constexpr std::uint32_t kVbeFactElTorito = 0x10;  // an El Torito boot record
constexpr std::uint32_t kVbeFactIso1999 = 0x20;   // an enhanced (ISO 9660:1999) descriptor

// The tree the viewer shows.
enum VbeShownTree : std::uint32_t
{
    kVbeShownIso9660 = 0,
    kVbeShownRockRidge = 1,
    kVbeShownJoliet = 2,
    kVbeShownUdf = 3,
};

// How the UDF partition is laid out.
enum VbeUdfPartition : std::uint32_t
{
    kVbeUdfNone = 0,
    kVbeUdfPhysical = 1, // written once, in place
    kVbeUdfVirtual = 2,  // incremental writing with a virtual allocation table
    kVbeUdfSparable = 3, // rewritable media with sparing
    kVbeUdfMetadata = 4, // UDF 2.50 and later: a metadata partition
};

struct VbeBootEntry
{
    std::uint8_t platform;  // 0 x86 (BIOS), 1 PowerPC, 2 Mac, 0xEF UEFI
    std::uint8_t bootable;  // 1 when the entry is marked bootable
    std::uint8_t emulation; // 0 none, 1 1.2M floppy, 2 1.44M, 3 2.88M, 4 hard disk
    std::uint8_t reserved;
    std::uint16_t sectorCount; // 512-byte sectors loaded at boot
    std::uint16_t loadSegment;
    std::uint32_t loadBlock; // the boot image's first 2048-byte block
};

constexpr std::uint32_t kVbeMaxBootEntries = 8;

// A track of an image that describes a disc (a cue sheet, NRG, ...).
struct VbeTrack
{
    std::uint8_t number;  // 1 to 99
    std::uint8_t session; // 1 to 99
    std::uint8_t audio;   // 1 for an audio track
    std::uint8_t reserved;
    std::uint32_t sectorSize; // bytes per sector in the file
    std::uint32_t startLba;   // the disc address of its INDEX 01
    std::uint32_t sectors;
    std::uint64_t bytes; // of user data: 2048 a sector for data, 2352 for audio
    char mode[16];       // as the image names it: "MODE1/2352", "AUDIO", ...
};

constexpr std::uint32_t kVbeMaxTracks = 99;

struct VbeImageFacts
{
    std::uint32_t structSize;
    std::uint32_t found; // kVbeFact* bits
    VbeShownTree shown;
    std::uint32_t isoLevel;    // 1 to 3 from the primary tree; 4 with an enhanced descriptor
    std::uint32_t jolietLevel; // 1 to 3
    char rockRidgeId[16];      // the extension's identifier ("RRIP_1991A", ...), may be empty
    std::uint32_t udfRevision; // BCD: 0x0102, 0x0150, 0x0201, 0x0250, 0x0260
    VbeUdfPartition udfPartition;
    std::uint32_t udfAccess;         // 1 read-only, 2 write-once, 3 rewritable, 4 overwritable
    std::uint32_t sessions;          // ISO 9660 sessions one after another in the file
    std::uint32_t shownSessionStart; // first block of the session read
    std::uint32_t sectorSize;        // 2048, 2352 or 2336 bytes per sector in the file
    std::uint32_t bootEntryCount;    // entries found; the first kVbeMaxBootEntries are kept
    VbeBootEntry boot[kVbeMaxBootEntries];
    std::uint64_t fileBytes;         // the image file
    std::uint64_t isoVolumeBytes;    // the ISO 9660 volume space of the session read
    std::uint64_t udfPartitionBytes; // the UDF partition
    std::uint64_t dataBytes;         // every file of the shown tree
    std::uint32_t folderCount;       // of the shown tree
    std::uint32_t fileCount;
    std::uint32_t damage; // damaged records met while reading the shown tree
    std::uint32_t reserved;
    char16_t isoLabel[33]; // UTF-16, NUL-terminated
    char16_t jolietLabel[33];
    char16_t udfLabel[128];
    char16_t label[128];       // the label the viewer shows
    char16_t firstDamage[256]; // what the first damage met was, in English; may be empty
                               // also why the image could not be read, when it fails
    char container[8];         // "cue", "nrg", "mds", "ccd", "cso", "zso"; empty for none
    std::uint32_t trackCount;  // tracks the image describes; 0 for a plain image
    VbeTrack tracks[kVbeMaxTracks];
};

extern "C" {
using VbeReadImageFactsFn = vbe::Result (*)(const char16_t* path, VbeImageFacts* facts);
}

constexpr std::uint32_t kVbeEntryDirectory = 0x01;
constexpr std::uint32_t kVbeEntryHidden = 0x02;      // ISO "existence" bit / UDF hidden
constexpr std::uint32_t kVbeEntryAssociated = 0x04;  // ISO associated file / UDF metadata stream
constexpr std::uint32_t kVbeEntryZisofs = 0x08;      // Rock Ridge ZF: stored compressed
constexpr std::uint32_t kVbeEntryInline = 0x10;      // UDF: data held in the file entry itself
constexpr std::uint32_t kVbeEntryMultiExtent = 0x20; // ISO 9660 multi-extent file

enum VbeEntryTime : std::uint32_t
{
    kVbeTimeRecorded = 0,
    kVbeTimeModified = 1,
    kVbeTimeAccessed = 2,
    kVbeTimeAttributes = 3,
    kVbeTimeCreated = 4,
    kVbeTimeCount = 5
};

// The times come from the shown tree's record: the ISO 9660 record date is
// Recorded (and Modified where the record has no other); Rock Ridge TF gives
// Created, Modified, Accessed and Attributes; a UDF file entry Accessed,
// Modified and Attributes, an extended one Created too. Where the shown tree
// is UDF, Recorded is the date of the entry's ISO 9660 record, if it has one.
// The other trees' records of the entry: a file's is the one whose data
// starts at the same block, a folder's the one at the same path of names
// (compared case-blind).
struct VbeEntryFacts
{
    std::uint32_t structSize;
    std::uint32_t trees;        // bit (1u << VbeShownTree) for each tree that holds the entry
    std::uint32_t flags;        // kVbeEntry* bits (from the shown tree's record)
    std::uint32_t timesPresent; // bit (1u << VbeEntryTime) for each time recorded
    std::int64_t times[kVbeTimeCount]; // seconds since 1970-01-01 UTC
    std::uint64_t size;                // as the user sees it (uncompressed for zisofs)
    std::uint64_t storedBytes;         // bytes the data takes in the image
    std::uint32_t firstBlock;          // first 2048-byte block of the data from the start of
                                       // the image's volume (UDF: the partition start added),
                                       // 0 for none
    std::uint32_t extentCount;
    std::uint32_t fragmented;                    // 1 when the extents are not one contiguous run
    std::uint32_t zisofsBlockSize;               // bytes, 0 without zisofs
    std::uint32_t unixMode, links, owner, group; // unixMode 0 where nothing is recorded
    std::uint32_t reserved;
    char16_t names[4][256];       // the name as each tree records it, by VbeShownTree
                                  // (ISO 9660 with its ";1"), empty where that tree lacks it
    char16_t linkTarget[1024];    // a symbolic link's target, may be empty
    std::uint32_t firstBlocks[4]; // firstBlock as each tree's record gives it, by
                                  // VbeShownTree; 0 where it lacks the entry or data
};

extern "C" {
using VbeReadEntryFactsFn = vbe::Result (*)(const char16_t* imagePath, const char16_t* entryPath,
                                            VbeEntryFacts* facts);
}
