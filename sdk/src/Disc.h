// Disc images that describe a disc rather than hold one file system: a cue
// sheet over BIN files, NRG, MDS/MDF, CloneCD, compressed ISO. Each is read
// into a Disc, a list of tracks and where their sectors lie, and the file
// systems are read through the logical view of its data tracks.
#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vbe {

// One track of a disc, as its image lays it out.
struct Track
{
    std::uint8_t number = 1;  // 1 to 99
    std::uint8_t session = 1; // 1 to 99, ascending with the tracks
    bool audio = false;
    // Audio samples stored big-endian (a cue sheet's MOTOROLA files).
    bool swapBytes = false;
    std::uint32_t file = 0;       // into Disc::files
    std::uint64_t fileOffset = 0; // where the sector at startLba starts in that file
    // Bytes per sector in the file: 2048, 2336, 2352, or 2448 (2352 and 96
    // bytes of subchannel data).
    std::uint32_t sectorSize = 2048;
    // Data tracks: where the 2048 user bytes start in a sector (0 for 2048,
    // 8 for 2336, 16 for mode 1 and 24 for mode 2 form 1 raw sectors).
    // Audio tracks: 0, the 2352 bytes of samples.
    std::uint32_t dataOffset = 0;
    std::uint32_t startLba = 0; // disc address of the track's INDEX 01
    // Sectors stored from startLba on, up to the next track's pregap.
    std::uint32_t sectors = 0;
    // Sectors of this track's pregap (INDEX 00 to INDEX 01) stored just
    // before fileOffset in the same file; 0 when none is stored.
    std::uint32_t storedPregap = 0;
    // As the image names the track's mode: "MODE1/2352", "AUDIO", ...
    std::string mode;
};

struct Disc
{
    // The kind of image: "cue", "nrg", "mds", "ccd", "cso", "zso"; empty for
    // an image that is one file system on its own.
    std::string container;
    std::vector<std::shared_ptr<ByteSource>> files;
    std::vector<Track> tracks; // in disc order
};

// The folder an image description lies in, where the files it names are
// looked for. Names are relative, with "/" between folders; a name that
// climbs out ("..") or is absolute is refused, and a name that differs only
// in case from an entry there is taken, as descriptions often come from a
// case-insensitive system.
class DiscFolder
{
public:
    virtual ~DiscFolder() = default;
    // The file named, or nullptr with *error set to ENOENT (not there, or a
    // refused name), EACCES, or another errno value.
    virtual std::shared_ptr<ByteSource> open(const std::string& name, int* error) const = 0;
};

// A folder of the file system.
class DirectoryFolder final : public DiscFolder
{
public:
    explicit DirectoryFolder(std::string path) : path_(std::move(path)) {}
    std::shared_ptr<ByteSource> open(const std::string& name, int* error) const override;

private:
    std::string path_;
};

// Why an image description cannot be read, in English, for the user: the
// readers below fill it when they return false.
struct DiscError
{
    std::string what;
    bool missingFile = false; // a file the description names is not there
};

// Limits that keep a crafted description from costing time or memory.
namespace limits {
constexpr std::uint32_t kMaxTracks = 99;
constexpr std::uint32_t kMaxDescriptionBytes = 1u << 20; // text and binary descriptors
// The widest gap between two tracks on the disc, in sectors (a lead-out
// and lead-in between sessions take about 11,400).
constexpr std::uint32_t kMaxTrackGap = 1u << 20;
} // namespace limits

// Checks what every reader must leave: tracks in ascending addresses that
// do not overlap, gaps below kMaxTrackGap, each track's sectors within its
// file, a known sector size, sessions ascending. Fills error when not.
bool checkDisc(const Disc& disc, DiscError* error);

// The user data of the data tracks, addressed as the disc addresses it:
// block n of the view is the sector at disc address n. Addresses no track
// stores read as zeros. Offsets from kAudioBase on read the audio tracks
// as WAV files (audioOffset below).
class DiscSource final : public ByteSource
{
public:
    static constexpr std::uint64_t kAudioBase = 1ull << 60;

    explicit DiscSource(std::shared_ptr<const Disc> disc);
    // The size of the data tracks' view; the audio files lie beyond it.
    std::uint64_t size() const override { return size_; }
    std::int64_t readAt(std::uint64_t offset, void* dst, std::size_t n) override;

    // Where the WAV file of tracks[index] starts, and its size: a 44-byte
    // header and the track's samples from its INDEX 01 up to the next
    // track's INDEX 01 (the next audio track's stored pregap appended).
    std::uint64_t audioOffset(std::size_t index) const;
    std::uint64_t audioSize(std::size_t index) const;

private:
    std::int64_t readData(std::uint64_t offset, std::uint8_t* dst, std::size_t n);
    std::int64_t readAudio(std::uint64_t offset, std::uint8_t* dst, std::size_t n);

    std::shared_ptr<const Disc> disc_;
    std::vector<std::size_t> data_; // indexes of the data tracks
    std::uint64_t size_ = 0;
};

// The session starts of the data tracks' sessions: the disc address of the
// first data track of each session, ascending.
std::vector<std::uint32_t> dataSessionStarts(const Disc& disc);

} // namespace vbe
