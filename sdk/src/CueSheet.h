// Cue sheets: a text description of tracks in one or more BIN files.
#pragma once

#include "Disc.h"

namespace vbe {

// True when the file reads as a cue sheet: short, text, and its first
// command one a cue sheet starts with.
bool looksLikeCueSheet(ByteSource& file);

// Reads the sheet into disc (container "cue"), opening the files it names
// through folder: BINARY and MOTOROLA files of MODE1, MODE2, CDI and AUDIO
// tracks, one after another on the disc. False with error filled when it
// cannot be read; error->missingFile when a file it names is not there.
bool readCueSheet(ByteSource& sheet, const DiscFolder& folder, Disc* disc, DiscError* error);

} // namespace vbe
