#pragma once

// The orderings of a folder's children: by name, size, type or
// modification time, ascending or descending. Every ordering compares the
// kind first, so ascending puts folders before files and descending puts
// files first; records of one kind are compared by the column's key.

#include "LTDataItem.h"

using ItemOrdering = bool (*)(const CLTDataItem* a, const CLTDataItem* b);

// The strict a-before-b ordering of a column (SORT_COLUMN_*) and direction
// (1 ascending, -1 descending); null for an unknown column.
ItemOrdering GetItemOrdering(int column, int direction);

// Compares two texts by folding each UTF-16 unit to lower case and
// comparing code values, as the C runtime's _wcsicmp does: no locale
// collation, digits compared as characters.
int CompareNoCase(QStringView a, QStringView b);

// Sorts the item's children in place with the ordering; unstable.
void SortChildren(CLTDataItem* item, int column, int direction);
