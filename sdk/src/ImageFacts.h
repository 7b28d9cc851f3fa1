// What an image holds, read from its descriptors for `lantern-cli info`:
// the file systems found and the one shown, versions, sessions, boot
// records and sizes (VbeFacts.h describes every field).
#pragma once

#include "OpenDisc.h"
#include "VbeFacts.h"

#include <memory>

namespace vbe {

// Fills facts (whose structSize the caller has set) from the opened image.
// kOk, kUnrecognized or kCorrupt, as a scan of the same image ends.
Result readImageFacts(const OpenedImage& image, VbeImageFacts* facts);

} // namespace vbe
