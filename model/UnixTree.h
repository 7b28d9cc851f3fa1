#pragma once

// Questions about the image's tree that its Unix files raise: how much data
// a selection holds when several names share one file, and where a symbolic
// link leads inside the image.

#include <QList>
#include <cstdint>

class CLTDataItem;

// The bytes the records and everything below them hold, each file counted
// once however many of its names the selection holds (hard links).
std::uint64_t DataSizeOf(const QList<CLTDataItem*>& records);

// The record a symbolic link leads to inside the image, following further
// links on the way; null when it leads outside the image, to nothing, or
// round in a loop. Any other record is its own answer.
CLTDataItem* ResolveLink(CLTDataItem* record);
