// The module's exports for what an image holds and what it records about
// one entry (VbeFacts.h).

#include "EntryFacts.h"
#include "ImageFacts.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <new>

extern "C" __attribute__((visibility("default"))) vbe::Result
VbeReadImageFacts(const char16_t* path, VbeImageFacts* facts)
{
    using namespace vbe;
    if (!path || !facts || facts->structSize != sizeof(VbeImageFacts))
        return kInvalidArg;
    try {
        OpenedImage image;
        const Result opened = openDiscImage(path, &image);
        if (opened == kOk)
            return readImageFacts(image, facts);
        const std::uint32_t size = facts->structSize;
        std::memset(static_cast<void*>(facts), 0, sizeof *facts);
        facts->structSize = size;
        const std::u16string why =
            utf8ToUtf16(reinterpret_cast<const std::uint8_t*>(image.error.what.data()),
                        image.error.what.size());
        std::size_t n = std::min<std::size_t>(why.size(), 255);
        std::copy(why.begin(), why.begin() + n, facts->firstDamage);
        return opened;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}

extern "C" __attribute__((visibility("default"))) vbe::Result
VbeReadEntryFacts(const char16_t* imagePath, const char16_t* entryPath, VbeEntryFacts* facts)
{
    using namespace vbe;
    if (!imagePath || !entryPath || !facts || facts->structSize != sizeof(VbeEntryFacts))
        return kInvalidArg;
    try {
        std::memset(static_cast<void*>(facts), 0, sizeof *facts);
        facts->structSize = sizeof *facts;
        OpenedImage image;
        const Result opened = openDiscImage(imagePath, &image);
        if (opened != kOk)
            return opened;
        return readEntryFacts(image, entryPath, facts);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kFail;
    }
}
