// A scripted stand-in for the image-reading module. Its "image" is a text
// file of lines (paths backslash-separated, listed in the order given):
//   label TEXT | dir PATH | file PATH SIZE [UNIXTIME]
//   counts FOLDERS FILES         the volume record's counts (default: the real ones)
//   scan TICKS SCALE             WaitTask runs TICKS times, progress up to SCALE
//   fail CALL PATH|* STATUS [N]  CALL (open endtask volume findfirst openfile
//                                read) fails with hex STATUS (read: after N reads)
//   short PATH                   ReadFile of PATH gives 0 bytes before the end
// Calls are appended to IMAGE.log for the tests to count.

#include "FakeContent.h"
#include "VbeSdk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using namespace vbe;

namespace {

std::atomic<long> g_objects{0};

std::string Narrow(const char16_t* p)
{
    std::string s;
    while (p && *p)
        s.push_back(static_cast<char>(*p++));
    return s;
}

void CopyWide(char16_t* dst, std::size_t capacity, const std::string& s)
{
    std::size_t n = std::min(s.size(), capacity - 1);
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = static_cast<unsigned char>(s[i]);
    dst[n] = 0;
}

struct Entry
{
    std::string path;
    bool bFolder = false;
    std::uint64_t size = 0;
    std::int64_t mtime = 1700000000;
};
struct Fault
{
    std::string call, path;
    Result status = kFail;
    unsigned after = 0;
};
struct Script
{
    std::string label = "FAKE", logPath;
    bool bCounts = false;
    std::uint32_t folders = 0, files = 0;
    unsigned ticks = 2;
    float scale = 1.0f;
    std::vector<Fault> faults;
    std::vector<Entry> entries;

    // Logs `line` (unless empty); the fault of `call` on `path` at its `n`th time.
    Result Hit(const std::string& line, const std::string& call, const std::string& path = "*",
               unsigned n = ~0u) const
    {
        if (!line.empty())
            std::ofstream(logPath, std::ios::app) << line << '\n';
        for (const Fault& f : faults) {
            if (f.call == call && (f.path == "*" || f.path == path) && n > f.after)
                return f.status;
        }
        return kOk;
    }
};

// A path's folder ("" for the root) and its name.
std::pair<std::string, std::string> Split(const std::string& path)
{
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::pair{std::string(), path}
                                      : std::pair{path.substr(0, slash), path.substr(slash + 1)};
}

bool LoadScript(const std::string& file, Script* script)
{
    std::ifstream in(file);
    if (!in)
        return false;
    script->logPath = file + ".log";
    std::string line, word;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        words >> word;
        if (word == "label") {
            std::getline(words >> std::ws, script->label);
        } else if (word == "counts") {
            script->bCounts = static_cast<bool>(words >> script->folders >> script->files);
        } else if (word == "scan") {
            words >> script->ticks >> script->scale;
        } else if (word == "fail" || word == "short") {
            Fault& f = script->faults.emplace_back(Fault{word, {}});
            std::string status = "80004005";
            if (word == "fail")
                words >> f.call;
            words >> f.path >> status >> f.after;
            f.status = static_cast<Result>(std::stoul(status, nullptr, 16));
        } else if (word == "dir" || word == "file") {
            Entry& e = script->entries.emplace_back(Entry{"", word == "dir"});
            words >> e.path >> e.size >> e.mtime;
        }
        word.clear();
    }
    return true;
}

// An object of one interface, answering it and IUnknown.
template <class Base, const Guid& kIid>
class Object : public Base
{
public:
    Object() { ++g_objects; }
    virtual ~Object() { --g_objects; }
    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (!out)
            return kPointer;
        *out = iid == IID_IUnknown || iid == kIid ? static_cast<Base*>(this) : nullptr;
        return *out ? (this->AddRef(), kOk) : kNoInterface;
    }
    std::uint32_t AddRef() override { return ++m_refs; }
    std::uint32_t Release() override
    {
        const std::uint32_t left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<std::uint32_t> m_refs{1};
};

struct Image : Object<ISdkImage, IID_ISdkImage>
{
    Script script;
};

class Browser : public Object<ISdkBrowser, IID_ISdkBrowser>
{
public:
    Result GetVolumeInfo(VolumeInfo* info) override
    {
        const Script& s = m_image->script;
        if (const Result r = s.Hit("", "volume"))
            return r;
        std::memset(info, 0, sizeof(*info));
        std::uint32_t folders = 0, files = 0;
        for (const Entry& e : s.entries)
            (e.bFolder ? folders : files)++;
        info->folderCount = s.bCounts ? s.folders : folders;
        info->fileCount = s.bCounts ? s.files : files;
        CopyWide(info->label, kLabelChars, s.label);
        return kOk;
    }
    Result FindFirst(const char16_t* folder, FindData* data) override
    {
        const Script& s = m_image->script;
        const std::string path = Narrow(folder);
        if (const Result r = s.Hit("findfirst " + path, "findfirst", path))
            return r;
        m_listing.clear();
        for (const Entry& e : s.entries)
            if (Split(e.path).first == path)
                m_listing.push_back(&e);
        m_next = 0;
        return m_listing.empty() ? kNoEntries : Deliver(data);
    }
    Result FindNext(FindData* data) override
    {
        return m_next >= m_listing.size() ? kNoMoreEntries : Deliver(data);
    }
    Result FindClose() override
    {
        m_listing.clear();
        return kOk;
    }
    Result OpenFile(const char16_t* path, std::uint64_t* size) override
    {
        const Script& s = m_image->script;
        m_file = Narrow(path);
        if (const Result r = s.Hit("openfile " + m_file, "openfile", m_file))
            return r;
        const auto e = std::find_if(s.entries.begin(), s.entries.end(),
                                    [&](const Entry& e) { return !e.bFolder && e.path == m_file; });
        if (e == s.entries.end())
            return kFileNotFound;
        *size = m_size = e->size;
        m_offset = m_reads = 0;
        return kOk;
    }
    Result ReadFile(void* buffer, std::uint32_t count, std::uint32_t* read, std::uint32_t) override
    {
        const Script& s = m_image->script;
        if (const Result r = s.Hit("read " + std::to_string(count), "read", m_file, ++m_reads))
            return r;
        const bool bShort = s.Hit("", "short", m_file) != kOk;
        const std::uint64_t n = bShort ? 0 : std::min<std::uint64_t>(count, m_size - m_offset);
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::uint64_t i = 0; i < n; ++i)
            out[i] = FakeByte(m_file, m_offset + i);
        m_offset += n;
        *read = static_cast<std::uint32_t>(n);
        return kOk;
    }
    Result CloseFile() override { return m_image->script.Hit("closefile", ""); }

    ~Browser() override { m_image->Release(); }

    Image* m_image = nullptr;

private:
    Result Deliver(FindData* data)
    {
        const Entry& e = *m_listing[m_next++];
        std::memset(data, 0, sizeof(*data));
        data->attributes = e.bFolder ? kAttrDirectory : kAttrNormal;
        data->sizeLow = static_cast<std::uint32_t>(e.size);
        data->sizeHigh = static_cast<std::uint32_t>(e.size >> 32);
        const std::time_t t = static_cast<std::time_t>(e.mtime);
        std::tm local{};
        localtime_r(&t, &local);
        // The record carries local time.
        const std::uint64_t ticks =
            (static_cast<std::uint64_t>(e.mtime + local.tm_gmtoff) + 11644473600ULL) * 10000000ULL;
        data->modified.low = static_cast<std::uint32_t>(ticks);
        data->modified.high = static_cast<std::uint32_t>(ticks >> 32);
        CopyWide(data->name, kNameChars, Split(e.path).second);
        return kOk;
    }

    std::vector<const Entry*> m_listing;
    std::size_t m_next = 0;
    std::string m_file;
    std::uint64_t m_size = 0, m_offset = 0;
    unsigned m_reads = 0;
};

class Reader : public Object<ISdkReader, IID_ISdkReader>
{
public:
    ~Reader() override { ClearSource(); }
    Result SetSource(ISdkImage* image) override
    {
        m_image = static_cast<Image*>(image);
        m_image->AddRef();
        return kOk;
    }
    Result Open() override { return m_image ? kOk : kUnexpected; }
    Result StartTask(std::uint32_t, std::uint32_t, std::uint32_t) override
    {
        m_tick = 0;
        return kOk;
    }
    Result AbortTask() override
    {
        m_bAborted = true;
        return m_image->script.Hit("abort", "");
    }
    Result WaitTask(std::uint32_t, std::uint32_t* status, float* progress) override
    {
        const Script& s = m_image->script;
        const bool bDone = m_bAborted || m_tick >= s.ticks;
        if (status)
            *status = bDone ? kTaskFinished : kTaskBusy;
        if (bDone)
            return kOk;
        ++m_tick;
        if (progress)
            *progress = s.scale * static_cast<float>(m_tick) / static_cast<float>(s.ticks);
        return kTaskRunning;
    }
    Result EndTask() override
    {
        const Result r = m_image->script.Hit("endtask", "endtask");
        return r != kOk ? r : m_bAborted ? kAborted : kOk;
    }
    Result Close() override { return kOk; }
    Result ClearSource() override
    {
        if (m_image)
            m_image->Release();
        m_image = nullptr;
        return kOk;
    }

    Result QueryInterface(const Guid& iid, void** out) override
    {
        if (out && iid == IID_ISdkBrowser) {
            if (!m_image)
                return kUnexpected;
            // A new browser over the same image, owned by the caller.
            auto* browser = new Browser;
            (browser->m_image = m_image)->AddRef();
            *out = static_cast<ISdkBrowser*>(browser);
            return kOk;
        }
        return Object<ISdkReader, IID_ISdkReader>::QueryInterface(iid, out);
    }

private:
    Image* m_image = nullptr;
    unsigned m_tick = 0;
    bool m_bAborted = false;
};

class Engine : public Object<ISdkEngine, IID_ISdkEngine>
{
public:
    Result OpenImage(std::uint32_t, std::uint32_t, const char16_t* path, ISdkImage** image) override
    {
        auto* img = new Image;
        const Result r = LoadScript(Narrow(path), &img->script) ? img->script.Hit("open", "open")
                                                                : kFileNotFound;
        r == kOk ? void(*image = img) : void(img->Release());
        return r;
    }
    Result CreateReader(const Guid&, ISdkReader** reader) override
    {
        *reader = new Reader;
        return kOk;
    }
};

class Factory : public Object<IClassFactory, IID_IClassFactory>
{
public:
    Result CreateInstance(IUnknown* outer, const Guid& iid, void** out) override
    {
        if (outer)
            return kNoAggregation;
        auto* engine = new Engine;
        const Result r = engine->QueryInterface(iid, out);
        engine->Release();
        return r;
    }
    Result LockServer(std::int32_t) override { return kOk; }
};

} // namespace

FAKE_EXPORT Result DllGetClassObject(const Guid& clsid, const Guid& iid, void** out)
{
    if (!(clsid == CLSID_SdkEngine))
        return kClassNotAvailable;
    auto* factory = new Factory;
    const Result r = factory->QueryInterface(iid, out);
    factory->Release();
    return r;
}

FAKE_EXPORT Result DllCanUnloadNow()
{
    return g_objects == 0 ? kOk : kFalse;
}
