// Every input the fuzzer ever crashed on, replayed: each file in fuzz_crashes/
// is named after the fault it found.
//   duplicate-names-in-one-folder: a file and a folder of the same name made
//   the folder unreachable by path; same-named entries are now left out.
#include "ExerciseImage.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <vector>
#include <zlib.h>

namespace {

std::vector<std::uint8_t> gunzip(const std::filesystem::path& p)
{
    std::vector<std::uint8_t> out;
    gzFile f = gzopen(p.c_str(), "rb");
    if (!f)
        return out;
    std::uint8_t buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0)
        out.insert(out.end(), buf, buf + n);
    gzclose(f);
    return out;
}

TEST(FuzzFindings, EveryFoundInputScansAndReadsCleanly)
{
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(LANTERN_SDK_FUZZ_FINDINGS)) {
        if (e.path().extension() != ".gz")
            continue;
        auto data = gunzip(e.path());
        ASSERT_FALSE(data.empty()) << e.path();
        EXPECT_TRUE(vbe::exerciseImage(data.data(), data.size())) << e.path().filename();
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
