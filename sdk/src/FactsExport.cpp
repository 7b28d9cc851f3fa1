// The module's export for what an image holds (VbeFacts.h).

#include "ImageFacts.h"

#include <new>

extern "C" __attribute__((visibility("default"))) vbe::Result
VbeReadImageFacts(const char16_t* path, VbeImageFacts* facts)
{
    using namespace vbe;
    if (!path || !facts || facts->structSize != sizeof(VbeImageFacts))
        return kInvalidArg;
    try {
        std::shared_ptr<ByteSource> file;
        const Result opened = openImageFile(path, &file);
        return opened == kOk ? readImageFacts(file, facts) : opened;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}
