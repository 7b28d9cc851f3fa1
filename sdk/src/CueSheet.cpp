#include "CueSheet.h"

namespace vbe {

bool looksLikeCueSheet(ByteSource&)
{
    return false;
}

bool readCueSheet(ByteSource&, const DiscFolder&, Disc*, DiscError* error)
{
    error->what = "Cue sheets are not read yet.";
    return false;
}

} // namespace vbe
