// Nero images (NRG): the disc's sectors followed by chunks that describe its
// sessions and tracks, found through a footer at the end of the file.
#pragma once

#include "Disc.h"

namespace vbe {

// True when the file ends with a footer of either version (NERO, NER5).
bool isNrg(ByteSource& file);

// Reads the chunks into disc (container "nrg"); file becomes disc->files[0].
bool readNrg(std::shared_ptr<ByteSource> file, Disc* disc, DiscError* error);

} // namespace vbe
