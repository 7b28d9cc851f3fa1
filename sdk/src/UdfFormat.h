// UDF on-disk layout: descriptor tags, volume and partition descriptors,
// partition maps, file set, file entries, identifiers and allocation descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vbe::udf {

// Where the volume recognition sequence and the first anchor sit.
constexpr std::uint64_t kRecognitionStart = 32768;
constexpr std::uint32_t kAnchorBlock = 256;

// Descriptor tag identifiers.
constexpr std::uint16_t kTagSparingTable = 0; // with the "*UDF Sparing Table" identifier
constexpr std::uint16_t kTagPrimaryVolume = 1;
constexpr std::uint16_t kTagAnchor = 2;
constexpr std::uint16_t kTagPointer = 3;
constexpr std::uint16_t kTagImplementationUse = 4;
constexpr std::uint16_t kTagPartition = 5;
constexpr std::uint16_t kTagLogicalVolume = 6;
constexpr std::uint16_t kTagUnallocatedSpace = 7;
constexpr std::uint16_t kTagTerminating = 8;
constexpr std::uint16_t kTagFileSet = 256;
constexpr std::uint16_t kTagFileIdentifier = 257;
constexpr std::uint16_t kTagAllocationExtent = 258;
constexpr std::uint16_t kTagIndirectEntry = 259;
constexpr std::uint16_t kTagTerminalEntry = 260;
constexpr std::uint16_t kTagFileEntry = 261;
constexpr std::uint16_t kTagExtendedFileEntry = 266;
constexpr std::size_t kTagSize = 16;

// File types in an ICB tag.
constexpr std::uint8_t kFtUnspecified = 0;
constexpr std::uint8_t kFtIndirect = 3;
constexpr std::uint8_t kFtDirectory = 4;
constexpr std::uint8_t kFtFile = 5;
constexpr std::uint8_t kFtBlockDevice = 6;
constexpr std::uint8_t kFtCharDevice = 7;
constexpr std::uint8_t kFtFifo = 9;
constexpr std::uint8_t kFtSocket = 10;
constexpr std::uint8_t kFtSymlink = 12;
constexpr std::uint8_t kFtVat = 248;
constexpr std::uint8_t kFtRealTime = 249;
constexpr std::uint8_t kFtMetadata = 250;
constexpr std::uint8_t kFtMetadataMirror = 251;

// Allocation descriptor forms in the ICB flags.
constexpr std::uint16_t kAdShort = 0;
constexpr std::uint16_t kAdLong = 1;
constexpr std::uint16_t kAdExtended = 2;
constexpr std::uint16_t kAdEmbedded = 3;

// Extent types in the top two bits of an extent length.
constexpr std::uint32_t kExtRecorded = 0;
constexpr std::uint32_t kExtAllocated = 1;
constexpr std::uint32_t kExtUnallocated = 2;
constexpr std::uint32_t kExtContinuation = 3;

// File characteristics of a file identifier.
constexpr std::uint8_t kFcHidden = 0x01;
constexpr std::uint8_t kFcDirectory = 0x02;
constexpr std::uint8_t kFcDeleted = 0x04;
constexpr std::uint8_t kFcParent = 0x08;
constexpr std::uint8_t kFcMetadata = 0x10;

// Anchor volume descriptor pointer.
constexpr std::size_t kAnchorMain = 16;    // extent_ad
constexpr std::size_t kAnchorReserve = 24; // extent_ad

// Primary volume descriptor.
constexpr std::size_t kPvdSequence = 16;
constexpr std::size_t kPvdVolumeId = 24; // dstring 32

// Volume descriptor pointer.
constexpr std::size_t kVdpNext = 20; // extent_ad

// Partition descriptor.
constexpr std::size_t kPdSequence = 16;
constexpr std::size_t kPdNumber = 22;
constexpr std::size_t kPdStart = 188;
constexpr std::size_t kPdLength = 192;

// Logical volume descriptor.
constexpr std::size_t kLvdSequence = 16;
constexpr std::size_t kLvdVolumeId = 84; // dstring 128
constexpr std::size_t kLvdBlockSize = 212;
constexpr std::size_t kLvdFileSet = 248; // long_ad
constexpr std::size_t kLvdMapTableLength = 264;
constexpr std::size_t kLvdMapCount = 268;
constexpr std::size_t kLvdMaps = 440;

// Partition maps.
constexpr std::uint8_t kMapPhysical = 1;
constexpr std::uint8_t kMapIdentified = 2;
constexpr std::size_t kMap2Ident = 5; // identifier characters of the regid at 4
constexpr std::size_t kMap2Number = 38;
constexpr std::size_t kMapSparePacket = 40;
constexpr std::size_t kMapSpareCount = 42;
constexpr std::size_t kMapSpareSize = 44;
constexpr std::size_t kMapSpareTables = 48;
constexpr std::size_t kMapMetaFile = 40;
constexpr std::size_t kMapMetaMirror = 44;

// Sparing table.
constexpr std::size_t kSpareCount = 48;
constexpr std::size_t kSpareEntries = 56;

// File set descriptor.
constexpr std::size_t kFsdRoot = 400; // long_ad

// File identifier descriptor.
constexpr std::size_t kFidCharacteristics = 18;
constexpr std::size_t kFidNameLength = 19;
constexpr std::size_t kFidIcb = 20; // long_ad
constexpr std::size_t kFidImplLength = 36;
constexpr std::size_t kFidFixed = 38;

// ICB tag, at 16 in every ICB entry.
constexpr std::size_t kIcbStrategy = 20;
constexpr std::size_t kIcbMaxEntries = 24;
constexpr std::size_t kIcbFileType = 27;
constexpr std::size_t kIcbFlags = 34;
constexpr std::uint16_t kIcbSetuid = 0x40;
constexpr std::uint16_t kIcbSetgid = 0x80;
constexpr std::uint16_t kIcbSticky = 0x100;

// Indirect entry.
constexpr std::size_t kIndirectTarget = 36; // long_ad

// File entry and extended file entry.
constexpr std::size_t kFeUid = 36;
constexpr std::size_t kFeGid = 40;
constexpr std::size_t kFePermissions = 44;
constexpr std::size_t kFeLinkCount = 48;
constexpr std::size_t kFeInfoLength = 56;
constexpr std::size_t kFeAccessed = 72;
constexpr std::size_t kFeModified = 84;
constexpr std::size_t kFeAttributes = 96;
constexpr std::size_t kFeEaLength = 168;
constexpr std::size_t kFeFixed = 176;
constexpr std::size_t kEfeAccessed = 80;
constexpr std::size_t kEfeModified = 92;
constexpr std::size_t kEfeCreated = 104;
constexpr std::size_t kEfeAttributes = 116;
constexpr std::size_t kEfeEaLength = 208;
constexpr std::size_t kEfeFixed = 216;

// Allocation extent descriptor.
constexpr std::size_t kAedLength = 20;
constexpr std::size_t kAedFixed = 24;

// VAT of UDF 2.00 and later: a header before the entries; UDF 1.50: a
// trailer after them.
constexpr std::size_t kVatHeaderLength = 0;
constexpr std::size_t kVatTrailer = 36;

inline std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline std::uint64_t le64(const std::uint8_t* p)
{
    return std::uint64_t(le32(p)) | std::uint64_t(le32(p + 4)) << 32;
}

// A logical block address: a block within a partition of the logical volume.
struct LbAddr
{
    std::uint32_t block = 0;
    std::uint16_t partition = 0;
};

inline LbAddr lbAddr(const std::uint8_t* p)
{
    return {le32(p), le16(p + 4)};
}

// An identifier field starting with "*UDF ..." or "+NSR02".
inline bool identIs(const std::uint8_t* p, const char* text)
{
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

} // namespace vbe::udf
