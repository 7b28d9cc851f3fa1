// Helpers for the reader module's tests: temporary trees, image tools, and a
// client that loads VBE.so the way the program does.
#pragma once

#include "VbeFacts.h"
#include "VbeSdk.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sdktest {

namespace fs = std::filesystem;

// A directory under the system temporary folder, removed with its content.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& s) const { return path_ / s; }

private:
    fs::path path_;
};

void writeFile(const fs::path& p, const std::string& content);
void setMtime(const fs::path& p, std::int64_t seconds);
std::string readHostFile(const fs::path& p);
int run(const std::string& command);
bool haveTool(const std::string& name);
std::string quote(const fs::path& p);
// The interpreter that has pycdlib.
constexpr const char* kPython = "/usr/bin/python3";
fs::path scriptDir();

// Runs an image writer (%T: the tree, %O: out, %S: the fixture makers'
// folder); throws when it fails.
fs::path makeImage(const std::string& command, const fs::path& tree, const fs::path& out);
// genisoimage into dir/name (default: the tree's name with ".iso").
fs::path makeIso(const TempDir& dir, const fs::path& tree, const std::string& options,
                 const std::string& name = "");

struct TreeOptions
{
    bool symlinks = true;
    bool beyondBmp = true;     // names with characters beyond 16 bits
    bool caseTwins = true;     // names differing only in case
    std::size_t longest = 255; // longest name in characters (255: several NM entries)
    int depth = 12;            // folders nested this deep
    int wide = 0;              // files in one more folder, "wide"
};
// What Joliet and plain ISO 9660 writers keep whole.
constexpr TreeOptions kJolietTree{
    .symlinks = false, .beyondBmp = false, .caseTwins = true, .longest = 103, .depth = 6};

std::string pattern(std::size_t n, unsigned seed);
// Spaces, Unicode, long names, empty files and folders, deep nesting, a
// link and binary content, each entry with its own time.
void writeRichTree(const fs::path& root, const TreeOptions& options = {});

struct Item
{
    bool directory = false;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::int64_t localSeconds = 0; // FILETIME as seconds since 1970, local time
    std::uint32_t unixMode = 0;
    std::uint32_t unixLinks = 0;
    std::uint32_t unixOwner = 0;
    std::uint32_t unixGroup = 0;
    std::uint64_t fileId = 0;
};
// Paths are UTF-8, '/'-separated, relative to the root.
using Listing = std::map<std::string, Item>;

// A tree on disk as an image lists it: links are files holding the target.
Listing listHostTree(const fs::path& root);
std::int64_t localSeconds(std::int64_t utc);

std::u16string utf16(const std::string& s);
std::string utf8(const char16_t* s);

class Module
{
public:
    Module();
    VbeDllGetClassObject getClassObject = nullptr;
    VbeDllCanUnloadNow canUnloadNow = nullptr;
    vbe::ISdkEngine* createEngine();
    // Kept loaded: the sanitizers report leaks against loaded code only.
    void* handle = nullptr;
};
Module& module();

class Session
{
public:
    ~Session();
    vbe::ISdkEngine* engine = nullptr;
    vbe::ISdkImage* image = nullptr;
    vbe::ISdkReader* reader = nullptr;
    vbe::ISdkBrowser* browser = nullptr;
    vbe::Result openResult = vbe::kFail;
    vbe::Result scanResult = vbe::kFail;
    bool ok() const { return openResult == vbe::kOk && scanResult == vbe::kOk; }

    // Every entry below the root, level by level as the program walks it.
    Listing list();
    std::optional<std::string> read(const std::string& path, std::uint32_t chunk = 65536);
    std::u16string label();
    std::pair<std::uint32_t, std::uint32_t> counts();
};
std::unique_ptr<Session> openImage(const fs::path& image);

// The module's VbeReadEntryFacts of path (UTF-8, backslash-separated).
VbeEntryFacts entryFacts(const fs::path& image, const std::string& path, vbe::Result* result);

// Names, kinds, sizes, times and contents of the image against the tree;
// specials: entries beyond the tree (devices, pipes), empty, of that kind.
void expectSameTree(Session& s, const fs::path& tree, bool checkTimes = true,
                    const std::map<std::string, std::uint32_t>& specials = {});

} // namespace sdktest
