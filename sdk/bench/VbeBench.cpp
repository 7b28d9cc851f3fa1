// Times the module the way the program drives it: open and scan, list every
// folder level by level, read every file in 1 MiB chunks.
//
// usage: vbe_bench IMAGE [MODULE]
// A folder of 60,000 entries, for example:
//   mkdir -p t/many && (cd t/many && seq -f '%05g entry.txt' 0 59999 | xargs touch)
//   genisoimage -quiet -R -o many.iso t && vbe_bench many.iso
#include "VbeSdk.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::u16string widen(const std::string& s)
{
    return std::u16string(s.begin(), s.end()); // ASCII paths are enough here
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s IMAGE [MODULE]\n", argv[0]);
        return 2;
    }
    std::string modulePath = argc > 2 ? argv[2] : LANTERN_VBE_MODULE;
    void* handle = dlopen(modulePath.c_str(), RTLD_NOW);
    if (!handle) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto getClassObject =
        reinterpret_cast<VbeDllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    vbe::IClassFactory* factory = nullptr;
    getClassObject(vbe::CLSID_SdkEngine, vbe::IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
    vbe::ISdkEngine* engine = nullptr;
    factory->CreateInstance(nullptr, vbe::IID_ISdkEngine, reinterpret_cast<void**>(&engine));
    factory->Release();

    auto start = Clock::now();
    vbe::ISdkImage* image = nullptr;
    vbe::Result r = engine->OpenImage(0, vbe::kReadAccess, widen(argv[1]).c_str(), &image);
    if (r != vbe::kOk) {
        std::fprintf(stderr, "OpenImage: %08x\n", static_cast<unsigned>(r));
        return 1;
    }
    vbe::ISdkReader* reader = nullptr;
    engine->CreateReader(vbe::IID_ISdkReader, &reader);
    reader->SetSource(image);
    reader->Open();
    reader->StartTask(vbe::kTaskScan, 0, 0);
    while (reader->WaitTask(100, nullptr, nullptr) == vbe::kTaskRunning) {
    }
    r = reader->EndTask();
    double scan = seconds(start);
    if (r != vbe::kOk) {
        std::fprintf(stderr, "scan: %08x\n", static_cast<unsigned>(r));
        return 1;
    }
    vbe::ISdkBrowser* browser = nullptr;
    reader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&browser));

    start = Clock::now();
    std::vector<std::u16string> files;
    std::deque<std::u16string> folders{u""};
    auto data = std::make_unique<vbe::FindData>();
    std::size_t entries = 0;
    while (!folders.empty()) {
        std::u16string folder = folders.front();
        folders.pop_front();
        for (r = browser->FindFirst(folder.c_str(), data.get()); r == vbe::kOk;
             r = browser->FindNext(data.get())) {
            ++entries;
            std::u16string path = folder.empty() ? data->name : folder + u"\\" + data->name;
            if (data->attributes & vbe::kAttrDirectory)
                folders.push_back(path);
            else
                files.push_back(path);
        }
        browser->FindClose();
    }
    double list = seconds(start);

    start = Clock::now();
    std::vector<char> buf(1 << 20);
    std::uint64_t bytes = 0;
    for (const auto& f : files) {
        std::uint64_t size = 0;
        if (browser->OpenFile(f.c_str(), &size) != vbe::kOk)
            continue;
        std::uint32_t got = 0;
        while (browser->ReadFile(buf.data(), std::uint32_t(buf.size()), &got, 0) == vbe::kOk &&
               got > 0)
            bytes += got;
        browser->CloseFile();
    }
    double read = seconds(start);
    std::printf("scan %.3f s; list %zu entries in %.3f s (%.0f/s); read %zu files, %.1f MiB in "
                "%.3f s (%.0f MiB/s)\n",
                scan, entries, list, entries / (list > 0 ? list : 1e-9), files.size(),
                bytes / 1048576.0, read, bytes / 1048576.0 / (read > 0 ? read : 1e-9));
    browser->Release();
    reader->Close();
    reader->ClearSource();
    reader->Release();
    image->Release();
    engine->Release();
    return 0;
}
