// Compressed ISO images (CSO versions 1 and 2, ZSO) written by make_cso.py
// around ISO images of trees the tests write, and damaged ones that must
// fail at once.
#include "Discs.h"
#include "Trees.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace sdktest;

namespace {

struct Variant
{
    const char* name;
    const char* args; // make_cso.py's
    const char* file;
};

const Variant kVariants[] = {
    {"Version1", "--version 1 --store-every 9", "disc.cso"},
    {"Version2DeflateAndLz4", "--version 2 --align 4 --store-every 9", "disc.cso"},
    {"Zso", "--zso --align 2 --store-every 9", "disc.zso"},
    {"ZsoOfTheLz4Command", "--zso --lz4-tool", "disc.zso"},
    {"Blocks16KiB", "--version 2 --block 16384", "disc.cso"},
    {"CsoNamedIso", "--version 1", "disc.iso"},
};

class CompressedIso : public ::testing::TestWithParam<Variant>
{
protected:
    TempDir dir;
};

TEST_P(CompressedIso, ReadsAsTheIsoItHolds)
{
    if (std::string(GetParam().args).find("lz4-tool") != std::string::npos && !haveTool("lz4"))
        GTEST_SKIP() << "no lz4 command";
    writeRichTree(dir / "tree", {.symlinks = false});
    const fs::path iso = dir / "plain.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -J -o " + quote(iso) + " " + quote(dir / "tree")), 0);
    const fs::path image =
        writeDisc(dir.path(), "cso", {dataTrack("2048", iso)}, GetParam().args, GetParam().file);
    ASSERT_FALSE(image.empty());
    auto s = openImage(image);
    ASSERT_TRUE(s->ok());
    expectSameTree(*s, dir / "tree");
    // Reads in steps that cut blocks anywhere.
    EXPECT_EQ(s->read("data/random.bin", 3001), readHostFile(dir / "tree/data/random.bin"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CompressedIso, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

struct Fault
{
    const char* fault; // make_cso.py --fault
    const char* args;
    bool opens; // only the file in the damaged block fails
};

const Fault kFaults[] = {
    {"descending", "--version 1", false},
    {"past_end", "--version 2", false},
    {"huge_total", "--zso", false},
    {"block_zero", "--version 1", false},
    {"block_3000", "--version 2", false},
    {"overflow", "--version 1", true},
    {"lz4_before_start", "--zso", true},
    {"lz4_offset_zero", "--zso", true},
    {"lz4_literals_past_input", "--zso", true},
    {"lz4_match_past_block", "--zso", true},
};

TEST(CompressedIsoDamage, FailsAtOnceAndLosesOnlyTheDamagedBlock)
{
    TempDir dir;
    writeFile(dir / "tree/a.txt", "alpha\n");
    writeFile(dir / "tree/target.txt", "HOSTILE-BLOCK-MARKER\n");
    writeFile(dir / "tree/z.txt", "omega\n");
    const fs::path iso = dir / "plain.iso";
    ASSERT_EQ(run("genisoimage -quiet -R -o " + quote(iso) + " " + quote(dir / "tree")), 0);
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.fault);
        const fs::path image =
            writeDisc(dir.path(), "cso", {dataTrack("2048", iso)},
                      std::string(f.args) + " --fault " + f.fault, f.fault + std::string(".cso"));
        ASSERT_FALSE(image.empty());
        const auto start = std::chrono::steady_clock::now();
        auto s = openImage(image);
        if (!f.opens) {
            EXPECT_EQ(s->openResult, vbe::kCorrupt);
        } else {
            ASSERT_TRUE(s->ok());
            EXPECT_EQ(s->read("target.txt"), std::nullopt);
            EXPECT_EQ(s->read("a.txt"), "alpha\n");
            EXPECT_EQ(s->read("z.txt"), "omega\n");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

} // namespace
