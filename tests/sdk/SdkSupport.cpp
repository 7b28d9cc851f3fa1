#include "SdkSupport.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/time.h>

namespace sdktest {

TempDir::TempDir()
{
    std::string templ = (fs::temp_directory_path() / "lantern-sdk-XXXXXX").string();
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void writeFile(const fs::path& p, const std::string& content)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

void setMtime(const fs::path& p, std::int64_t seconds)
{
    struct timeval tv[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    lutimes(p.c_str(), tv);
}

std::string readHostFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int run(const std::string& command)
{
    int status = std::system(("(" + command + ") >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name)
{
    return run("command -v " + name) == 0;
}

std::string quote(const fs::path& p)
{
    std::string out = "'";
    for (char c : p.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

fs::path scriptDir()
{
    return LANTERN_SDK_TEST_SCRIPTS;
}

fs::path makeImage(const std::string& command, const fs::path& tree, const fs::path& out)
{
    std::string cmd = command;
    for (auto [key, value] : {std::pair{"%T", quote(tree)}, std::pair{"%O", quote(out)},
                              std::pair{"%S", quote(scriptDir())}})
        for (std::size_t at; (at = cmd.find(key)) != std::string::npos;)
            cmd.replace(at, 2, value);
    if (run(cmd) != 0)
        throw std::runtime_error("the image writer failed: " + cmd);
    return out;
}

fs::path makeIso(const TempDir& dir, const fs::path& tree, const std::string& options,
                 const std::string& name)
{
    const fs::path out = dir / (name.empty() ? tree.filename().string() + ".iso" : name);
    return makeImage("genisoimage -quiet " + options + " -o %O %T", tree, out);
}

std::string pattern(std::size_t n, unsigned seed)
{
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return s;
}

void writeRichTree(const fs::path& root, const TreeOptions& o)
{
    writeFile(root / "docs/readme.txt", "Read me first.\n");
    writeFile(root / "docs/Empty File", "");
    fs::create_directories(root / "empty folder");
    writeFile(root / "name with spaces.txt", "spaces\n");
    writeFile(root / "Ünïcødé ✓ Ωmega.txt", "unicode\n");
    if (o.beyondBmp)
        writeFile(root / "emoji 😀 𝄞.txt", "beyond sixteen bits\n");
    if (o.caseTwins) {
        writeFile(root / "case.txt", "lower\n");
        writeFile(root / "CASE.txt", "upper\n");
    }
    if (o.longest >= 150)
        writeFile(root / (std::string(150 - 4, 'L') + ".txt"), "150\n");
    if (o.longest >= 200) {
        std::string name200;
        for (int i = 0; name200.size() < 196; ++i)
            name200 += static_cast<char>('a' + i % 26);
        writeFile(root / (name200 + ".bin"), pattern(5000, 2));
    }
    if (o.longest >= 255)
        writeFile(root / (std::string(251, 'X') + ".end"), "255\n");
    if (o.longest >= 100 && o.longest < 150)
        writeFile(root / (std::string(o.longest - 4, 'M') + ".txt"), "long\n");
    fs::path deep = root;
    for (int i = 1; i <= o.depth; ++i)
        deep /= "level" + std::to_string(i);
    writeFile(deep / "leaf.txt", "at the bottom\n");
    writeFile(root / "data/random.bin", pattern(100000, 1));
    writeFile(root / "data/exact2048.bin", pattern(2048, 3));
    if (o.symlinks)
        fs::create_symlink("../docs/readme.txt", root / "data/link to readme");

    // Distinct times, winter and summer, all seconds-exact.
    std::int64_t t = 1'000'000'000;
    std::vector<fs::path> all;
    for (auto& e : fs::recursive_directory_iterator(root))
        all.push_back(e.path());
    for (auto& p : all) {
        setMtime(p, t);
        t += 86400 * 37 + 3661;
    }
    for (int i = 0; i < o.wide; ++i) {
        const fs::path file = root / "wide" / ("file " + std::to_string(i) + ".txt");
        writeFile(file, std::to_string(i));
        setMtime(file, 1'200'000'000 + 61 * i);
    }
    if (o.wide > 0)
        setMtime(root / "wide", 1'200'000'000);
}

std::int64_t localSeconds(std::int64_t utc)
{
    time_t t = static_cast<time_t>(utc);
    struct tm tm
    {
    };
    localtime_r(&t, &tm);
    return utc + tm.tm_gmtoff;
}

// The library converts between a path's native UTF-8 and UTF-16.
std::u16string utf16(const std::string& s)
{
    return fs::path(s).u16string();
}

std::string utf8(const char16_t* s)
{
    return fs::path(s).string();
}

Listing listHostTree(const fs::path& root)
{
    Listing out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& p = it->path();
        struct stat st
        {
        };
        lstat(p.c_str(), &st);
        Item item;
        item.directory = S_ISDIR(st.st_mode);
        if (S_ISLNK(st.st_mode))
            item.size = fs::read_symlink(p).string().size();
        else if (!item.directory)
            item.size = static_cast<std::uint64_t>(st.st_size);
        item.localSeconds = localSeconds(st.st_mtime);
        out[p.lexically_relative(root).generic_string()] = item;
    }
    return out;
}

Module::Module()
{
    handle = dlopen(LANTERN_VBE_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return;
    getClassObject = reinterpret_cast<VbeDllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<VbeDllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
}

vbe::ISdkEngine* Module::createEngine()
{
    vbe::IClassFactory* factory = nullptr;
    if (getClassObject(vbe::CLSID_SdkEngine, vbe::IID_IClassFactory,
                       reinterpret_cast<void**>(&factory)) != vbe::kOk)
        return nullptr;
    vbe::ISdkEngine* engine = nullptr;
    factory->CreateInstance(nullptr, vbe::IID_ISdkEngine, reinterpret_cast<void**>(&engine));
    factory->Release();
    return engine;
}

Module& module()
{
    static Module m;
    return m;
}

Session::~Session()
{
    if (browser)
        browser->Release();
    if (reader) {
        reader->Close();
        reader->ClearSource();
        reader->Release();
    }
    if (image)
        image->Release();
    if (engine)
        engine->Release();
}

std::unique_ptr<Session> openImage(const fs::path& path)
{
    auto s = std::make_unique<Session>();
    s->engine = module().createEngine();
    if (!s->engine)
        return s;
    s->openResult = s->engine->OpenImage(0, 0x80000000u, utf16(path.string()).c_str(), &s->image);
    if (s->openResult != vbe::kOk)
        return s;
    s->engine->CreateReader(vbe::IID_ISdkReader, &s->reader);
    s->reader->SetSource(s->image);
    s->reader->Open();
    s->reader->QueryInterface(vbe::IID_ISdkBrowser, reinterpret_cast<void**>(&s->browser));
    vbe::Result r = s->reader->StartTask(6, 0, 0);
    if (r == vbe::kOk) {
        float progress = 0;
        std::uint32_t status = 0;
        while (s->reader->WaitTask(100, &status, &progress) == vbe::kTaskRunning) {
        }
        r = s->reader->EndTask();
    }
    s->scanResult = r;
    return s;
}

static std::u16string modulePath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return utf16(path);
}

Listing Session::list()
{
    Listing out;
    std::deque<std::string> folders{""};
    while (!folders.empty()) {
        std::string folder = folders.front();
        folders.pop_front();
        auto data = std::make_unique<vbe::FindData>();
        vbe::Result r = browser->FindFirst(modulePath(folder).c_str(), data.get());
        while (r == vbe::kOk) {
            std::string name = utf8(data->name);
            std::string path = folder.empty() ? name : folder + "/" + name;
            Item item;
            item.attributes = data->attributes;
            item.directory = (data->attributes & vbe::kAttrDirectory) != 0;
            item.size = (std::uint64_t(data->sizeHigh) << 32) | data->sizeLow;
            std::uint64_t ticks = (std::uint64_t(data->modified.high) << 32) | data->modified.low;
            item.localSeconds = static_cast<std::int64_t>(ticks / 10'000'000) - 11644473600;
            item.unixMode = data->unixMode;
            item.unixLinks = data->unixLinks;
            item.unixOwner = data->unixOwner;
            item.unixGroup = data->unixGroup;
            item.fileId = (std::uint64_t(data->fileIdHigh) << 32) | data->fileIdLow;
            EXPECT_FALSE(out.count(path)) << "delivered twice: " << path;
            EXPECT_NE(name, ".");
            EXPECT_NE(name, "..");
            out[path] = item;
            if (item.directory)
                folders.push_back(path);
            r = browser->FindNext(data.get());
        }
        EXPECT_TRUE(r == vbe::kNoEntries || r == vbe::kNoMoreEntries)
            << std::hex << r << " in " << folder;
        browser->FindClose();
    }
    return out;
}

std::optional<std::string> Session::read(const std::string& path, std::uint32_t chunk)
{
    std::uint64_t size = 0;
    if (browser->OpenFile(modulePath(path).c_str(), &size) != vbe::kOk)
        return std::nullopt;
    std::string out;
    std::vector<char> buf(chunk);
    while (out.size() < size) {
        std::uint32_t got = 0;
        vbe::Result r = browser->ReadFile(buf.data(), chunk, &got, 0);
        if (r != vbe::kOk || got == 0) {
            browser->CloseFile();
            return std::nullopt;
        }
        out.append(buf.data(), got);
    }
    std::uint32_t got = 1;
    vbe::Result r = browser->ReadFile(buf.data(), chunk, &got, 0);
    browser->CloseFile();
    if (r != vbe::kOk || got != 0)
        return std::nullopt;
    return out;
}

std::u16string Session::label()
{
    auto info = std::make_unique<vbe::VolumeInfo>();
    return browser->GetVolumeInfo(info.get()) == vbe::kOk ? info->label : u"<none>";
}

std::pair<std::uint32_t, std::uint32_t> Session::counts()
{
    auto info = std::make_unique<vbe::VolumeInfo>();
    browser->GetVolumeInfo(info.get());
    return {info->folderCount, info->fileCount};
}

void expectSameTree(Session& s, const fs::path& tree, bool checkTimes,
                    const std::map<std::string, std::uint32_t>& specials)
{
    ASSERT_TRUE(s.ok()) << std::hex << s.openResult << " " << s.scanResult;
    Listing want = listHostTree(tree);
    for (const auto& [path, kind] : specials)
        want[path].unixMode = kind; // an empty entry of that kind
    const Listing got = s.list();
    for (const auto& [path, w] : want) {
        auto it = got.find(path);
        if (it == got.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        const Item& g = it->second;
        EXPECT_EQ(g.directory, w.directory) << path;
        if (w.directory)
            continue;
        EXPECT_EQ(g.size, w.size) << path;
        if (w.unixMode) {
            EXPECT_EQ(g.unixMode & vbe::kUnixTypeMask, w.unixMode) << path;
            EXPECT_EQ(s.read(path), "") << path;
            continue;
        }
        if (checkTimes) {
            EXPECT_EQ(g.localSeconds, w.localSeconds) << path;
        }
        const std::string expected = fs::is_symlink(tree / path)
                                         ? fs::read_symlink(tree / path).string()
                                         : readHostFile(tree / path);
        auto content = s.read(path);
        ASSERT_TRUE(content.has_value()) << "cannot read " << path;
        EXPECT_TRUE(*content == expected) << "content differs: " << path;
    }
    for (const auto& [path, g] : got)
        EXPECT_TRUE(want.count(path)) << "unexpected: " << path;
    auto [folders, files] = s.counts();
    EXPECT_EQ(std::size_t(folders) + files, got.size());
}

VbeEntryFacts entryFacts(const fs::path& image, const std::string& path, vbe::Result* result)
{
    static auto read =
        reinterpret_cast<VbeReadEntryFactsFn>(dlsym(module().handle, "VbeReadEntryFacts"));
    EXPECT_NE(read, nullptr);
    VbeEntryFacts f{};
    f.structSize = sizeof f;
    *result = read ? read(utf16(image.string()).c_str(), utf16(path).c_str(), &f) : vbe::kFail;
    return f;
}

} // namespace sdktest
