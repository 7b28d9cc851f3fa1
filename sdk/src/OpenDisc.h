// Opening an image file of any kind the module reads: a file system on its
// own in 2048-, 2336- or 2352-byte sectors, or a disc described by a cue
// sheet, NRG, MDS, CloneCD or compressed ISO image, recognised by content.
#pragma once

#include "Disc.h"
#include "ImageScan.h"
#include "IsoParser.h"
#include "VbeSdk.h"

#include <memory>
#include <string>
#include <vector>

namespace vbe {

struct OpenedImage
{
    // The tracks; container empty and no tracks for a plain image.
    std::shared_ptr<const Disc> disc;
    // What the file systems are read through: 2048-byte blocks.
    std::shared_ptr<ByteSource> logical;
    // What file data is read through: the logical view, and beyond it the
    // audio tracks as WAV files.
    std::shared_ptr<ByteSource> data;
    // The sectors of the plain image, or of the first data track.
    SectorLayout layout;
    // First blocks of the sessions holding data, when the image describes
    // them; empty when they are searched for.
    std::vector<std::uint32_t> sessionStarts;
    // The bytes of the image's files: the one opened and those it names.
    std::uint64_t fileBytes = 0;
    // Why the image could not be opened, for the user; may be empty.
    DiscError error;
};

// Opens file (named fileName, in folder) as an image. kOk; kUnrecognized
// when it is no image the module reads; kCorrupt when it is one but cannot
// be read (error says why); kFileNotFound when a file it names is missing.
Result openDisc(std::shared_ptr<ByteSource> file, const std::string& fileName,
                const DiscFolder& folder, OpenedImage* out);

// The same for the image file at a UTF-16 path; also kAccessDenied.
Result openDiscImage(const char16_t* path, OpenedImage* out);

// Scans the file systems of an opened image into tree, as scanImage does,
// in the sessions the image describes, and adds the folder "[AUDIO]" of
// its audio tracks. A disc of audio tracks alone gives a tree of that folder.
ScanStatus scanOpened(const OpenedImage& image, Tree& tree, const ScanControl& control = {});

} // namespace vbe
