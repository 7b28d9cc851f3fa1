// The ISO 9660 parser: volume descriptors, sessions, directory trees with their
// Rock Ridge and Joliet names. Reads only through a ByteSource.
#pragma once

#include "ByteSource.h"
#include "Records.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vbe {

struct ScanControl
{
    const std::atomic<bool>* abort = nullptr;
    std::atomic<float>* progress = nullptr;
    // How many entries the caller expects the tree to hold (the other tree
    // of a bridge image), to size it once; 0 when unknown.
    std::size_t expectedEntries = 0;
    // The first blocks of the sessions, when the image describes them (a
    // cue sheet, NRG, ...): the newest that holds a volume is read, and no
    // other is searched for.
    const std::vector<std::uint32_t>* sessionStarts = nullptr;
};

enum class ScanStatus
{
    Ok,
    Unrecognized,
    Corrupt,
    Aborted
};

// One step of a path looked up in a tree: the names the entry is known by in
// the trees looked at so far (any of them may match, case-blind), and whether
// it is a folder. A lookup adds the names it found at each step.
struct LookupStep
{
    std::vector<std::u16string> names;
    bool directory = false;
};

// A time stamp as a record holds it.
struct Stamp
{
    bool present = false;
    std::int64_t utc = 0; // seconds since 1970-01-01 UTC
};

// What one directory record of an ISO 9660 or Joliet tree holds, with its
// Rock Ridge entries: read again for one entry when asked, as the scan keeps
// less of it.
struct IsoRecordFacts
{
    bool rockRidge = false;  // the tree carries Rock Ridge entries
    std::u16string name;     // as recorded, with its version
    std::u16string rockName; // NM, empty without one
    std::uint8_t flags = 0;  // of the (first) record
    std::vector<Extent> extents;
    Stamp recorded;
    Stamp rockTimes[7]; // TF, by flag bit: creation, modify, access, attributes, ...
};

// Looks up path (empty: the root, whose "." record is read) in the Joliet
// tree or in the primary tree with its Rock Ridge entries, of the session a
// scan reads. A file matches by the start of its data where dataOffset (an
// image offset, kHoleOffset for none) is given, else by name. False when the
// tree or the entry is not there.
bool lookupIsoRecord(ByteSource& src, bool joliet, std::vector<LookupStep>& path,
                     std::uint64_t dataOffset, IsoRecordFacts* out,
                     const ScanControl& control = {});

// Whether a recorded name matches one of the names an entry is known by:
// equal but for case, or a name cut short (Joliet keeps 64 characters) of a
// longer one.
bool namesMatch(const std::u16string& recorded, const std::vector<std::u16string>& known);

// Reads the file system of the logical view of an image into tree.
ScanStatus scanIso(ByteSource& logical, Tree& tree, const ScanControl& control = {});

// Recorded times: 7-byte directory-record form and 17-byte descriptor form.
// False when the field holds no valid time.
bool decodeShortTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths);
bool decodeLongTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths);

// Size caps that keep a hostile image from taking unbounded time or memory.
namespace limits {
constexpr std::uint32_t kMaxDepth = 1024;
constexpr std::uint32_t kMaxEntries = 2'000'000;
constexpr std::uint64_t kMaxDirectoryBytes = 64ull << 20;
constexpr std::uint64_t kMaxTotalDirectoryBytes = 512ull << 20;
constexpr std::uint32_t kMaxContinuations = 16;
constexpr std::size_t kMaxNameBytes = 1023;
constexpr std::uint32_t kMaxSessions = 99;
constexpr std::uint64_t kSessionGapScanBlocks = 32768;
constexpr std::uint32_t kMaxDescriptors = 64;
// Records and identifiers looked at per tree, from the image's size in blocks.
constexpr std::uint64_t kRecordsPerBlock = 256; // short allocation descriptors fill a block
constexpr std::uint64_t kRecordsBase = 1u << 20;
} // namespace limits

} // namespace vbe
