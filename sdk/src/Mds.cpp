#include "Mds.h"

namespace vbe {

bool isMds(ByteSource&)
{
    return false;
}

bool readMds(ByteSource&, const std::string&, const DiscFolder&, Disc*, DiscError* error)
{
    error->what = "MDS images are not read yet.";
    return false;
}

} // namespace vbe
