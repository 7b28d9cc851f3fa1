#include "HeapUse.h"

#include <malloc.h>

void KeepFreedHeapForReuse()
{
    // Blocks up to 32 MiB come from the heap (a million records' array of
    // pointers is 8 MiB); up to 128 MiB of free space at its top is kept.
    // Setting either also ends the library's own adjustment of both.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
}
