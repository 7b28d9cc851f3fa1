// Our listing against libarchive's (bsdtar) and 7-Zip's on images both read
// correctly: short names, no relocation, no links.
#include "SdkSupport.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <vector>

using namespace sdktest;

namespace {

std::vector<std::string> linesOf(const std::string& command)
{
    std::vector<std::string> out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char line[4096];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        out.push_back(s);
    }
    pclose(p);
    return out;
}

struct Writer
{
    const char* name;
    const char* options;
};

void PrintTo(const Writer& w, std::ostream* os)
{
    *os << w.name;
}

class CrossCheck : public ::testing::TestWithParam<Writer>
{
protected:
    void SetUp() override
    {
        writeFile(dir_ / "tree/Alpha file.txt", "a\n");
        writeFile(dir_ / "tree/sub/b.txt", "bb\n");
        writeFile(dir_ / "tree/sub/deeper/Ünïcødé name.txt", "ccc\n");
        writeFile(dir_ / "tree/sub/deeper/empty", "");
        fs::create_directories(dir_ / "tree/empty folder");
        image_ = dir_ / "x.iso";
        ASSERT_EQ(run(std::string("genisoimage -quiet ") + GetParam().options + " -o " +
                      quote(image_) + " " + quote(dir_ / "tree")),
                  0);
        auto s = openImage(image_);
        ASSERT_TRUE(s->ok());
        for (const auto& [path, item] : s->list())
            ours_.insert(path + (item.directory ? "/" : " " + std::to_string(item.size)));
    }
    TempDir dir_;
    fs::path image_;
    std::set<std::string> ours_;
};

TEST_P(CrossCheck, SameListingAsBsdtar)
{
    if (!haveTool("bsdtar"))
        GTEST_SKIP() << "bsdtar not installed";
    std::set<std::string> theirs;
    for (const std::string& l : linesOf("bsdtar -tvf " + quote(image_) + " 2>/dev/null")) {
        // "drwxr-xr-x  2 0 0  0 Jan  1 2020 name" - size is field 5, name after the date.
        char mode[16];
        unsigned long long size = 0;
        int consumed = 0;
        if (std::sscanf(l.c_str(), "%15s %*s %*s %*s %llu %*s %*s %*s %n", mode, &size, &consumed) <
                2 ||
            consumed == 0)
            continue;
        std::string name = l.substr(static_cast<std::size_t>(consumed));
        if (name == "." || name == "./")
            continue;
        if (!name.empty() && name.back() == '/')
            name.pop_back();
        theirs.insert(name + (mode[0] == 'd' ? "/" : " " + std::to_string(size)));
    }
    EXPECT_EQ(ours_, theirs);
}

TEST_P(CrossCheck, SameListingAs7Zip)
{
    if (!haveTool("7zz"))
        GTEST_SKIP() << "7zz not installed";
    std::set<std::string> theirs;
    std::string path;
    bool folder = false;
    // Records come in order: Path, Folder, Size.
    for (const std::string& s : linesOf("7zz l -ba -slt " + quote(image_) + " 2>/dev/null")) {
        if (s.rfind("Path = ", 0) == 0)
            path = s.substr(7);
        else if (s.rfind("Folder = ", 0) == 0)
            folder = s.substr(9) == "+";
        else if (s.rfind("Size = ", 0) == 0)
            theirs.insert(path + (folder ? "/" : " " + s.substr(7)));
    }
    EXPECT_EQ(ours_, theirs);
}

// Rock Ridge with Joliet; ISO 9660:1999, whose names are the bytes of the
// names on disk (UTF-8 here).
INSTANTIATE_TEST_SUITE_P(Writers, CrossCheck,
                         ::testing::Values(Writer{"rock_ridge_joliet", "-R -J"},
                                           Writer{"iso9660_1999", "-iso-level 4"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
