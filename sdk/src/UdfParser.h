// The UDF parser: anchors, the volume descriptor sequence, partitions of every
// kind (physical, sparable, virtual, metadata) and the directory tree. Reads
// only through a ByteSource.
#pragma once

#include "ByteSource.h"
#include "IsoParser.h"
#include "Records.h"

#include <cstdint>
#include <string>

namespace vbe {

// Reads the UDF file system of the logical view of an image into tree.
// Unrecognized when no anchor is found.
ScanStatus scanUdf(ByteSource& logical, Tree& tree, const ScanControl& control = {});

// What one file identifier and the file entry it names record, read again
// for one entry when asked, as the scan keeps less of it.
struct UdfRecordFacts
{
    std::u16string name;
    std::uint8_t characteristics = 0; // of the file identifier
    bool embedded = false;            // the data is held in the entry itself
    Stamp accessed, modified, attributes, created;
    std::vector<Extent> extents; // image offsets, holes as kHoleOffset
};

// Looks up path (empty: the root folder) in the UDF tree (lookupIsoRecord
// tells how entries match). False when there is no UDF tree or no such entry.
bool lookupUdfRecord(ByteSource& src, std::vector<LookupStep>& path, std::uint64_t dataOffset,
                     UdfRecordFacts* out, const ScanControl& control = {});

// OSTA compressed Unicode (compression 8 or 16) to UTF-16; empty for an
// unknown compression.
std::u16string decodeCs0(const std::uint8_t* p, std::size_t n);

// A 12-byte UDF time stamp; false when it holds no valid time.
bool decodeUdfTime(const std::uint8_t* p, std::int64_t* utc, std::uint32_t* hundredths);

// A descriptor tag: checksum, identifier, recorded location and, when the
// covered bytes are at hand, the CRC.
bool udfTagValid(const std::uint8_t* p, std::size_t available, std::uint16_t ident,
                 std::uint32_t location);

namespace limits {
constexpr std::uint32_t kMaxIcbHops = 64;           // indirect entries followed per file
constexpr std::uint32_t kMaxAdContinuations = 4096; // allocation extents per file
constexpr std::uint32_t kMaxFileExtents = 1u << 20; // produced extents, after translation
constexpr std::uint64_t kMaxTotalExtents = 4u << 20;
constexpr std::uint64_t kMaxVatBytes = 64ull << 20;
// Work per image, from its size in blocks: blocks of descriptors and entries
// read; identifiers, allocation descriptors and translated blocks looked at
// count as records (kRecordsPerBlock).
constexpr std::uint64_t kBlockReadsPerBlock = 8;
constexpr std::uint64_t kBlockReadsBase = 1u << 16;
constexpr std::uint32_t kMaxVdsBlocks = 256;
constexpr std::uint32_t kMaxSymlinkBytes = 64 * 1024;
} // namespace limits

} // namespace vbe
