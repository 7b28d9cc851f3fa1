// The component contract: exports, class factory, interface slots, reference
// counts, the scan task and the browser's results, through the loaded module.
#include "SdkSupport.h"

#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

// Slot of a virtual member in the Itanium C++ ABI: the member pointer holds
// 1 + the byte offset into the virtual table.
template <typename M>
std::ptrdiff_t slotOf(M member)
{
    static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(Component, VirtualSlotsAreWhereTheProgramCallsThem)
{
    using namespace vbe;
    EXPECT_EQ(slotOf(&IUnknown::QueryInterface), 0);
    EXPECT_EQ(slotOf(&IUnknown::Release), 2);
    EXPECT_EQ(slotOf(&ISdkEngine::OpenImage), 7);
    EXPECT_EQ(slotOf(&ISdkEngine::CreateReader), 8);
    EXPECT_EQ(slotOf(&ISdkSettings::SetRegistryKey), 4);
    EXPECT_EQ(slotOf(&ISdkReader::SetSource), 3);
    EXPECT_EQ(slotOf(&ISdkReader::Open), 5);
    EXPECT_EQ(slotOf(&ISdkReader::StartTask), 11);
    EXPECT_EQ(slotOf(&ISdkReader::AbortTask), 12);
    EXPECT_EQ(slotOf(&ISdkReader::WaitTask), 13);
    EXPECT_EQ(slotOf(&ISdkReader::EndTask), 14);
    EXPECT_EQ(slotOf(&ISdkReader::Close), 15);
    EXPECT_EQ(slotOf(&ISdkReader::ClearSource), 16);
    EXPECT_EQ(slotOf(&ISdkBrowser::GetVolumeInfo), 28);
    EXPECT_EQ(slotOf(&ISdkBrowser::FindFirst), 29);
    EXPECT_EQ(slotOf(&ISdkBrowser::FindNext), 30);
    EXPECT_EQ(slotOf(&ISdkBrowser::FindClose), 31);
    EXPECT_EQ(slotOf(&ISdkBrowser::OpenFile), 32);
    EXPECT_EQ(slotOf(&ISdkBrowser::ReadFile), 33);
    EXPECT_EQ(slotOf(&ISdkBrowser::CloseFile), 35);
}

TEST(Component, ExportsOnlyTheTwoEntriesAndCountsLiveObjects)
{
    Module& m = module();
    ASSERT_TRUE(m.loaded()) << dlerror();
    ASSERT_NE(m.getClassObject, nullptr);
    ASSERT_NE(m.canUnloadNow, nullptr);
    EXPECT_EQ(m.canUnloadNow(), vbe::kOk);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(m.getClassObject(vbe::IID_ISdkEngine, vbe::IID_IClassFactory, &out),
              vbe::kClassNotAvailable);
    EXPECT_EQ(out, nullptr);

    vbe::IClassFactory* factory = nullptr;
    ASSERT_EQ(m.getClassObject(vbe::CLSID_SdkEngine, vbe::IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              vbe::kOk);
    EXPECT_NE(m.canUnloadNow(), vbe::kOk);
    vbe::IUnknown* outer = factory;
    EXPECT_EQ(factory->CreateInstance(outer, vbe::IID_ISdkEngine, &out), vbe::kNoAggregation);
    vbe::ISdkEngine* engine = nullptr;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, vbe::IID_ISdkEngine, reinterpret_cast<void**>(&engine)),
        vbe::kOk);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_NE(m.canUnloadNow(), vbe::kOk);

    // Settings come from the engine; the unknown interface is one object identity.
    vbe::ISdkSettings* settings = nullptr;
    ASSERT_EQ(engine->QueryInterface(vbe::IID_ISdkSettings, reinterpret_cast<void**>(&settings)),
              vbe::kOk);
    const char16_t key[] = u"Software\\Vantrel\\Ardent8\\8.0";
    EXPECT_EQ(settings->SetRegistryKey(nullptr, key, 28, 1), vbe::kOk);
    vbe::IUnknown* a = nullptr;
    vbe::IUnknown* b = nullptr;
    engine->QueryInterface(vbe::IID_IUnknown, reinterpret_cast<void**>(&a));
    settings->QueryInterface(vbe::IID_IUnknown, reinterpret_cast<void**>(&b));
    EXPECT_EQ(a, b);
    a->Release();
    b->Release();
    EXPECT_EQ(engine->QueryInterface(vbe::IID_ISdkBrowser, &out), vbe::kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(settings->Release(), 1u);

    vbe::ISdkReader* reader = nullptr;
    EXPECT_EQ(engine->CreateReader(vbe::IID_ISdkEngine, &reader), vbe::kInvalidArg);
    ASSERT_EQ(engine->CreateReader(vbe::IID_ISdkReader, &reader), vbe::kOk);
    EXPECT_EQ(reader->Open(), vbe::kUnexpected) << "no source yet";
    EXPECT_EQ(reader->StartTask(6, 0, 0), vbe::kUnexpected);
    // An image object from somewhere else is refused, not looked into.
    struct ForeignImage final : vbe::ISdkImage
    {
        vbe::Result QueryInterface(const vbe::Guid&, void** out) override
        {
            *out = nullptr;
            return vbe::kNoInterface;
        }
        std::uint32_t AddRef() override { return 1; }
        std::uint32_t Release() override { return 1; }
    } foreign;
    EXPECT_EQ(reader->SetSource(&foreign), vbe::kInvalidArg);
    EXPECT_EQ(reader->Open(), vbe::kUnexpected);
    vbe::ISdkBrowser* browser = nullptr;
    ASSERT_EQ(reader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&browser)),
              vbe::kOk);
    auto data = std::make_unique<vbe::FindData>();
    EXPECT_EQ(browser->FindFirst(u"", data.get()), vbe::kNotReady);
    EXPECT_EQ(engine->Release(), 0u);
    EXPECT_NE(m.canUnloadNow(), vbe::kOk) << "the reader is still alive";
    browser->Release();
    EXPECT_EQ(reader->Release(), 0u);
    EXPECT_EQ(m.canUnloadNow(), vbe::kOk);
}

TEST(Component, OpenImageRecognisesContentNotNames)
{
    TempDir dir;
    writeFile(dir / "text.iso", std::string(64 * 1024, 'x'));
    writeFile(dir / "tiny.iso", "CD001");
    auto engine = module().createEngine();
    ASSERT_NE(engine, nullptr);
    vbe::ISdkImage* image = nullptr;
    EXPECT_EQ(engine->OpenImage(0, 0x80000000u, utf16((dir / "text.iso").string()).c_str(), &image),
              vbe::kUnrecognized);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(engine->OpenImage(0, 0x80000000u, utf16((dir / "tiny.iso").string()).c_str(), &image),
              vbe::kUnrecognized);
    EXPECT_EQ(engine->OpenImage(0, 0x80000000u, utf16((dir / "none.iso").string()).c_str(), &image),
              vbe::kFileNotFound);
    EXPECT_EQ(engine->OpenImage(0, 0x80000000u, utf16(dir.path().string()).c_str(), &image),
              vbe::kFail);
    EXPECT_EQ(engine->OpenImage(0, 0xC0000000u, utf16((dir / "text.iso").string()).c_str(), &image),
              vbe::kAccessDenied);
    engine->Release();
    EXPECT_EQ(module().canUnloadNow(), vbe::kOk);
}

} // namespace
