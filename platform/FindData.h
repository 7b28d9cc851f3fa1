#pragma once

// What the program learns of an existing entry on disk before it replaces
// it: its name, whether it is a folder, its size and last-write time.

#include "FileTime.h"

#include <QString>
#include <cstdint>

struct FIND_DATA
{
    QString cFileName;       // the entry's own name, without its folder
    bool bDirectory = false; // a folder (a link to a folder counts as a link)
    std::uint64_t nFileSize = 0;
    FILETIME64 ftLastWriteTime = 0; // UTC, to the 100 ns the file system keeps
};

// Looks at the entry at `path` without following a final symbolic link, so
// a dangling link is found too. False when nothing is there.
bool FindEntry(const QString& path, FIND_DATA* pData);
