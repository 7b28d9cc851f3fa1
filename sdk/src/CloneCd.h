// CloneCD images: a text descriptor (.ccd) of sessions and tracks over raw
// 2352-byte sectors in the .img beside it; the .sub file is not read.
#pragma once

#include "Disc.h"

namespace vbe {

// True when the file reads as a CloneCD descriptor.
bool looksLikeCloneCd(ByteSource& file);

// Reads the descriptor into disc (container "ccd"); the sectors are in the
// file of the descriptor's name (ccdName) with the extension .img.
bool readCloneCd(ByteSource& ccd, const std::string& ccdName, const DiscFolder& folder, Disc* disc,
                 DiscError* error);

} // namespace vbe
