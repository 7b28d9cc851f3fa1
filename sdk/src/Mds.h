// Media descriptor images: an MDS file describing sessions and tracks of the
// sectors in the MDF file beside it.
#pragma once

#include "Disc.h"

namespace vbe {

// True when the file starts with the descriptor's signature.
bool isMds(ByteSource& file);

// Reads the descriptor into disc (container "mds"); the sectors are in the
// file of the descriptor's name (mdsName, a file name without folders) with
// the extension .mdf, or the one the descriptor names, opened through folder.
bool readMds(ByteSource& mds, const std::string& mdsName, const DiscFolder& folder, Disc* disc,
             DiscError* error);

} // namespace vbe
