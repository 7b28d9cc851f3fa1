// The module's export for what an image holds (VbeFacts.h).

#include "ImageFacts.h"
#include "Text.h"

#include <cerrno>
#include <new>

extern "C" __attribute__((visibility("default"))) vbe::Result
VbeReadImageFacts(const char16_t* path, VbeImageFacts* facts)
{
    using namespace vbe;
    if (!path || !facts || facts->structSize != sizeof(VbeImageFacts))
        return kInvalidArg;
    try {
        int error = 0;
        std::shared_ptr<ByteSource> file = FileSource::open(utf16ToUtf8(path), &error);
        if (!file) {
            if (error == ENOENT || error == ENOTDIR)
                return kFileNotFound;
            if (error == EACCES || error == EPERM)
                return kAccessDenied;
            return kFail;
        }
        return readImageFacts(file, facts);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}
