#include "CloneCd.h"

namespace vbe {

bool looksLikeCloneCd(ByteSource&)
{
    return false;
}

bool readCloneCd(ByteSource&, const std::string&, const DiscFolder&, Disc*, DiscError* error)
{
    error->what = "CloneCD images are not read yet.";
    return false;
}

} // namespace vbe
