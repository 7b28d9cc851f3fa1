// Compressed ISO images: CSO (deflate, versions 1 and 2) and ZSO (LZ4), an
// index of blocks followed by the blocks, each stored or compressed.
#pragma once

#include "ByteSource.h"
#include "Disc.h"

#include <memory>
#include <string>

namespace vbe {

// "cso" or "zso" when the file starts with the magic of one, else nullptr.
const char* compressedIsoKind(ByteSource& file);

// The decompressed bytes of the image, read block by block as asked; safe
// to read from several threads at once. nullptr with error filled when the
// header or index cannot be used.
std::shared_ptr<ByteSource> openCompressedIso(std::shared_ptr<ByteSource> file, DiscError* error);

} // namespace vbe
