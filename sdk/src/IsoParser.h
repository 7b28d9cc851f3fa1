// The ISO 9660 parser: volume descriptors, sessions, directory trees with their
// Rock Ridge and Joliet names. Reads only through a ByteSource.
#pragma once

#include "ByteSource.h"
#include "Records.h"

#include <atomic>
#include <cstdint>
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
