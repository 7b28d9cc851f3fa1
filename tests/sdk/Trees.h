// Trees the image tests write before making images of them.
#pragma once

#include "SdkSupport.h"

namespace sdktest {

struct TreeOptions
{
    bool symlinks = true;
    bool beyondBmp = true;     // names with characters beyond 16 bits
    bool caseTwins = true;     // names differing only in case
    std::size_t longest = 255; // longest name in characters (255: several NM entries)
    int depth = 12;            // folders nested this deep
};

// n bytes of a pseudo-random sequence that seed picks.
std::string pattern(std::size_t n, unsigned seed);

// Files with spaces, Unicode, long names, empty files and folders, deep
// nesting, a symbolic link and binary content, each with its own time.
void writeRichTree(const fs::path& root, const TreeOptions& options = {});

} // namespace sdktest
