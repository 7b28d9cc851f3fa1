#include "Nrg.h"

namespace vbe {

bool isNrg(ByteSource&)
{
    return false;
}

bool readNrg(std::shared_ptr<ByteSource>, Disc*, DiscError* error)
{
    error->what = "NRG images are not read yet.";
    return false;
}

} // namespace vbe
