// libFuzzer entry point: recognise the sector layout, scan, find every entry
// again by its path and read every file, all from memory.
#include "ExerciseImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!vbe::exerciseImage(data, size))
        __builtin_trap();
    return 0;
}
