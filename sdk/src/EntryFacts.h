// What an image records about one entry, for the window's Properties: the
// shown tree's entry with what its records hold beyond the listing (every
// time stamp, flags, where the data lies), and the entry's records in the
// other trees of the image (VbeFacts.h describes every field).
#pragma once

#include "OpenDisc.h"
#include "VbeFacts.h"

#include <string_view>

namespace vbe {

// Fills facts (whose structSize the caller has set) for the entry at path
// in the tree the viewer shows. kOk, kPathNotFound, or kUnrecognized or
// kCorrupt as a scan of the image ends.
Result readEntryFacts(const OpenedImage& image, std::u16string_view path, VbeEntryFacts* facts);

} // namespace vbe
