#include "CompressedIso.h"

namespace vbe {

const char* compressedIsoKind(ByteSource&)
{
    return nullptr;
}

std::shared_ptr<ByteSource> openCompressedIso(std::shared_ptr<ByteSource>, DiscError* error)
{
    error->what = "Compressed ISO images are not read yet.";
    return nullptr;
}

} // namespace vbe
