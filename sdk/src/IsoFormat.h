// ISO 9660 on-disk layout: volume descriptors, directory records, System Use
// entries (Rock Ridge) and the zisofs file header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vbe::iso {

constexpr std::uint32_t kBlockSize = 2048;
constexpr std::uint32_t kFirstDescriptor = 16;

// Volume descriptor types.
constexpr std::uint8_t kVdBoot = 0;
constexpr std::uint8_t kVdPrimary = 1;
constexpr std::uint8_t kVdSupplementary = 2;
constexpr std::uint8_t kVdPartition = 3;
constexpr std::uint8_t kVdTerminator = 255;

// Offsets inside a primary or supplementary volume descriptor.
constexpr std::size_t kVdVolumeId = 40;        // 32 bytes
constexpr std::size_t kVdVolumeSpaceSize = 80; // both-endian 32
constexpr std::size_t kVdEscapes = 88;         // 32 bytes, Joliet level marks
constexpr std::size_t kVdBlockSize = 128;      // both-endian 16
constexpr std::size_t kVdRootRecord = 156;     // 34 bytes

// Directory record layout.
constexpr std::size_t kDrLength = 0;
constexpr std::size_t kDrXattrLength = 1;
constexpr std::size_t kDrExtent = 2;      // both-endian 32
constexpr std::size_t kDrDataLength = 10; // both-endian 32
constexpr std::size_t kDrDate = 18;       // 7 bytes
constexpr std::size_t kDrFlags = 25;
constexpr std::size_t kDrUnitSize = 26;
constexpr std::size_t kDrGap = 27;
constexpr std::size_t kDrNameLength = 32;
constexpr std::size_t kDrName = 33;
constexpr std::size_t kDrMinLength = 34;

constexpr std::uint8_t kFlagHidden = 0x01;
constexpr std::uint8_t kFlagDirectory = 0x02;
constexpr std::uint8_t kFlagAssociated = 0x04;
constexpr std::uint8_t kFlagMultiExtent = 0x80;

// Rock Ridge modes (POSIX file type bits as recorded in PX).
constexpr std::uint32_t kModeTypeMask = 0170000;
constexpr std::uint32_t kModeDirectory = 0040000;
constexpr std::uint32_t kModeSymlink = 0120000;

// NM and SL flags.
constexpr std::uint8_t kNmContinue = 0x01;
constexpr std::uint8_t kNmCurrent = 0x02;
constexpr std::uint8_t kNmParent = 0x04;
constexpr std::uint8_t kSlContinue = 0x01;
constexpr std::uint8_t kSlCurrent = 0x02;
constexpr std::uint8_t kSlParent = 0x04;
constexpr std::uint8_t kSlRoot = 0x08;

// TF flags.
constexpr std::uint8_t kTfCreation = 0x01;
constexpr std::uint8_t kTfModify = 0x02;
constexpr std::uint8_t kTfLongForm = 0x80;

// zisofs.
constexpr std::uint8_t kZisofsMagic[8] = {0x37, 0xE4, 0x53, 0x96, 0xC9, 0xDB, 0xD6, 0x07};
constexpr std::size_t kZisofsHeaderSize = 16;

inline std::uint16_t le16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint32_t be32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}
// Both-endian fields: the little-endian half is authoritative.
inline std::uint32_t both32(const std::uint8_t* p)
{
    return le32(p);
}
inline std::uint16_t both16(const std::uint8_t* p)
{
    return le16(p);
}

} // namespace vbe::iso
