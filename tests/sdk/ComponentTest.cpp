// The component contract: exports, class factory, reference counts, the
// scan task and the browser's results, through the loaded module.
#include "SdkSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

TEST(Component, ExportsOnlyTheTwoEntriesAndCountsLiveObjects)
{
    Module& m = module();
    ASSERT_TRUE(m.handle) << dlerror();
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
    const std::tuple<fs::path, std::uint32_t, vbe::Result> cases[] = {
        {dir / "text.iso", 0x80000000u, vbe::kUnrecognized},
        {dir / "tiny.iso", 0x80000000u, vbe::kUnrecognized},
        {dir / "none.iso", 0x80000000u, vbe::kFileNotFound},
        {dir.path(), 0x80000000u, vbe::kFail},
        {dir / "text.iso", 0xC0000000u, vbe::kAccessDenied}, // read access only
    };
    for (const auto& [path, access, result] : cases) {
        vbe::ISdkImage* image = reinterpret_cast<vbe::ISdkImage*>(1);
        EXPECT_EQ(engine->OpenImage(0, access, utf16(path.string()).c_str(), &image), result)
            << path;
        EXPECT_EQ(image, nullptr);
    }
    engine->Release();
    EXPECT_EQ(module().canUnloadNow(), vbe::kOk);
}

// The scan task reports its progress and outcome; the browser's results for
// folders, files and paths that are not there.
TEST(Component, ScanTaskAndBrowserResults)
{
    TempDir dir;
    writeFile(dir / "tree/README.TXT", "plain text\n");
    fs::create_directories(dir / "tree/EMPTYDIR");
    writeFile(dir / "tree/SUB/DEEPER/BIG.BIN", pattern(300000, 5));
    const fs::path image = makeIso(dir, dir / "tree", "", "image.adi");
    auto engine = module().createEngine();
    vbe::ISdkImage* img = nullptr;
    ASSERT_EQ(engine->OpenImage(0, 0x80000000u, utf16(image.string()).c_str(), &img), vbe::kOk);
    vbe::ISdkReader* reader = nullptr;
    engine->CreateReader(vbe::IID_ISdkReader, &reader);
    ASSERT_EQ(reader->SetSource(img), vbe::kOk);
    // The image answers for itself and for its unknown interface, nothing else.
    vbe::IUnknown* unknown = nullptr;
    void* none = reinterpret_cast<void*>(1);
    ASSERT_EQ(img->QueryInterface(vbe::IID_IUnknown, reinterpret_cast<void**>(&unknown)), vbe::kOk);
    EXPECT_EQ(unknown, static_cast<vbe::IUnknown*>(img));
    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(img->QueryInterface(vbe::IID_ISdkReader, &none), vbe::kNoInterface);
    EXPECT_EQ(none, nullptr);
    img->Release(); // the reader keeps its own reference
    ASSERT_EQ(reader->Open(), vbe::kOk);
    EXPECT_EQ(reader->StartTask(5, 0, 0), vbe::kInvalidArg);
    ASSERT_EQ(reader->StartTask(6, 0, 0), vbe::kOk);
    EXPECT_EQ(reader->StartTask(6, 0, 0), vbe::kUnexpected) << "one task at a time";
    vbe::Result r;
    std::uint32_t status = 9;
    float progress = -1;
    while ((r = reader->WaitTask(100, &status, &progress)) == vbe::kTaskRunning) {
        EXPECT_EQ(status, 1u);
        EXPECT_GE(progress, 0.0f);
        EXPECT_LE(progress, 1.0f);
    }
    EXPECT_EQ(r, vbe::kOk);
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(progress, 1.0f);
    EXPECT_EQ(reader->EndTask(), vbe::kOk);

    vbe::ISdkBrowser* browser = nullptr;
    reader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&browser));
    auto data = std::make_unique<vbe::FindData>();
    EXPECT_EQ(browser->FindFirst(u"EMPTYDIR", data.get()), vbe::kNoEntries);
    EXPECT_EQ(browser->FindFirst(u"NOPE", data.get()), vbe::kPathNotFound);
    EXPECT_EQ(browser->FindFirst(u"README.TXT", data.get()), vbe::kPathNotFound);
    ASSERT_EQ(browser->FindFirst(u"SUB\\DEEPER", data.get()), vbe::kOk);
    EXPECT_EQ(utf8(data->name), "BIG.BIN");
    EXPECT_EQ(data->sizeLow, 300000u);
    EXPECT_EQ(data->attributes, vbe::kAttrNormal);
    EXPECT_EQ(browser->FindNext(data.get()), vbe::kNoMoreEntries);
    EXPECT_EQ(browser->FindNext(data.get()), vbe::kNoMoreEntries);
    EXPECT_EQ(browser->FindClose(), vbe::kOk);

    std::uint64_t size = 0;
    EXPECT_EQ(browser->OpenFile(u"SUB", &size), vbe::kAccessDenied);
    EXPECT_EQ(browser->OpenFile(u"SUB\\NOPE", &size), vbe::kFileNotFound);
    std::uint32_t got = 0;
    char buf[16];
    EXPECT_EQ(browser->ReadFile(buf, sizeof buf, &got, 0), vbe::kUnexpected);
    browser->Release();
    reader->Close();
    reader->ClearSource();
    reader->Release();
    engine->Release();
    EXPECT_EQ(module().canUnloadNow(), vbe::kOk);
}

} // namespace
