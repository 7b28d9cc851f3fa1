#include "SdkSupport.h"

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
    char* made = mkdtemp(templ.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
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
    for (char c : p.string()) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

fs::path scriptDir()
{
    return LANTERN_SDK_TEST_SCRIPTS;
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

std::u16string utf16(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else {
            c = b & 0x07;
            extra = 3;
        }
        for (int k = 1; k <= extra && i + k < s.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string utf8(const char16_t* s)
{
    std::string out;
    for (; *s; ++s) {
        char32_t c = *s;
        if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
            ++s;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
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
    handle_ = dlopen(LANTERN_VBE_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        return;
    getClassObject = reinterpret_cast<VbeDllGetClassObject>(dlsym(handle_, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<VbeDllCanUnloadNow>(dlsym(handle_, "DllCanUnloadNow"));
}

Module::~Module()
{
    // Kept loaded: the sanitizers report leaks against loaded code only.
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

Listing Session::list()
{
    Listing out;
    std::deque<std::string> folders{""};
    while (!folders.empty()) {
        std::string folder = folders.front();
        folders.pop_front();
        std::string wide = folder;
        for (char& c : wide)
            if (c == '/')
                c = '\\';
        auto data = std::make_unique<vbe::FindData>();
        vbe::Result r = browser->FindFirst(utf16(wide).c_str(), data.get());
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
    std::string wide = path;
    for (char& c : wide)
        if (c == '/')
            c = '\\';
    std::uint64_t size = 0;
    if (browser->OpenFile(utf16(wide).c_str(), &size) != vbe::kOk)
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
    if (browser->GetVolumeInfo(info.get()) != vbe::kOk)
        return u"<none>";
    return info->label;
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
    Listing got = s.list();
    for (const auto& [path, w] : want) {
        auto it = got.find(path);
        if (it == got.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        const Item& g = it->second;
        EXPECT_EQ(g.directory, w.directory) << path;
        if (!w.directory) {
            EXPECT_EQ(g.size, w.size) << path;
        }
        if (checkTimes && !w.directory) {
            EXPECT_EQ(g.localSeconds, w.localSeconds) << path;
        }
        if (!w.directory) {
            std::string expected;
            if (fs::is_symlink(tree / path))
                expected = fs::read_symlink(tree / path).string();
            else
                expected = readHostFile(tree / path);
            auto content = s.read(path);
            ASSERT_TRUE(content.has_value()) << "cannot read " << path;
            EXPECT_TRUE(*content == expected) << "content differs: " << path;
        }
    }
    for (const auto& [path, kind] : specials) {
        auto it = got.find(path);
        if (it == got.end()) {
            ADD_FAILURE() << "missing: " << path;
            continue;
        }
        EXPECT_FALSE(it->second.directory) << path;
        EXPECT_EQ(it->second.size, 0u) << path;
        EXPECT_EQ(it->second.unixMode & vbe::kUnixTypeMask, kind) << path;
        EXPECT_EQ(s.read(path), "") << path;
        got.erase(it);
    }
    for (const auto& [path, g] : got)
        EXPECT_TRUE(want.count(path)) << "unexpected: " << path;
    auto [folders, files] = s.counts();
    EXPECT_EQ(std::size_t(folders) + files, got.size() + specials.size());
}

} // namespace sdktest
