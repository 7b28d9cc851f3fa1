// A module that has DllGetClassObject but lacks DllCanUnloadNow: the loader
// must refuse it.

#include "VbeSdk.h"

extern "C" __attribute__((visibility("default"))) vbe::Result
DllGetClassObject(const vbe::Guid&, const vbe::Guid&, void** out)
{
    if (out)
        *out = nullptr;
    return vbe::kClassNotAvailable;
}
