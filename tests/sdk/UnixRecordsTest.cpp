// What images record of Unix files, delivered with each entry: kinds and
// permissions, link counts, owners, and the identity that hard links share.
#include "SdkSupport.h"

#include <gtest/gtest.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

using namespace sdktest;

namespace {

// Permissions of every sort, links of every sort, a hard link pair beside a
// file of the same content, two empty files and a pipe. Returns what the host
// records of each entry.
std::map<std::string, struct stat> writeUnixTree(const fs::path& root)
{
    writeFile(root / "script.sh", "#!/bin/sh\necho hi\n");
    writeFile(root / "key", "secret\n");
    writeFile(root / "suid", "set-id\n");
    writeFile(root / "read-only/file", "read only\n");
    writeFile(root / "linked", "same content\n");
    writeFile(root / "not linked", "same content\n");
    writeFile(root / "empty one", "");
    writeFile(root / "empty two", "");
    fs::create_hard_link(root / "linked", root / "read-only/second name");
    fs::create_symlink("script.sh", root / "relative link");
    fs::create_symlink("/etc/hostname", root / "absolute link");
    fs::create_symlink("no/such/target", root / "dangling link");
    fs::create_directories(root / "sticky");
    EXPECT_EQ(mkfifo((root / "pipe").c_str(), 0640), 0);
    chmod((root / "script.sh").c_str(), 0755);
    chmod((root / "key").c_str(), 0600);
    chmod((root / "suid").c_str(), 04755);
    chmod((root / "sticky").c_str(), 01777);
    chmod((root / "read-only/file").c_str(), 0444);
    chmod((root / "read-only").c_str(), 0555);
    if (geteuid() == 0) {
        EXPECT_EQ(lchown((root / "key").c_str(), 1234, 5678), 0);
    }
    std::map<std::string, struct stat> host;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        struct stat st
        {
        };
        lstat(e.path().c_str(), &st);
        host[e.path().lexically_relative(root).generic_string()] = st;
    }
    return host;
}

enum class Records
{
    AsOnDisk,   // as the host has them
    Normalized, // genisoimage -r: owner 0, read bits set, write and set-id bits cleared
    Nothing,
};

struct Writer
{
    const char* name;
    const char* command; // makeImage's
    Records records;
};

TEST(UnixRecords, ModesLinksOwnersAndFileIdentity)
{
    const Writer cases[] = {
        {"xorriso_mkisofs", "xorriso -as mkisofs -quiet -R -o %O %T", Records::AsOnDisk},
        // Native xorriso records serial numbers (RRIP 1.12).
        {"xorriso_hardlinks", "xorriso -hardlinks on -outdev %O -map %T / -commit",
         Records::AsOnDisk},
        {"genisoimage_R", "genisoimage -quiet -R -o %O %T", Records::AsOnDisk},
        {"genisoimage_r", "genisoimage -quiet -r -o %O %T", Records::Normalized},
        // Its UDF tree is shown; what Rock Ridge records comes with it.
        {"genisoimage_R_udf", "genisoimage -quiet -R -udf -o %O %T", Records::AsOnDisk},
        {"udf_writer", "/usr/bin/python3 %S/make_udf.py %T %O --plain --unix", Records::AsOnDisk},
        {"udf_writer_efe", "/usr/bin/python3 %S/make_udf.py %T %O --plain --unix --efe",
         Records::AsOnDisk},
        {"joliet_only", "genisoimage -quiet -J -o %O %T", Records::Nothing}};
    for (const auto& p : cases) {
        SCOPED_TRACE(p.name);
        TempDir dir;
        const fs::path tree = dir / "tree", image = dir / "image";
        const auto host = writeUnixTree(tree);
        makeImage(p.command, tree, image);
        // A pipe cannot be read as a file: it is compared as a special entry.
        fs::remove(tree / "pipe");
        auto s = openImage(image);
        ASSERT_TRUE(s->ok());
        const Records records = p.records;
        if (records != Records::Nothing)
            expectSameTree(*s, tree, false, {{"pipe", vbe::kUnixFifo}});
        fs::permissions(tree / "read-only", fs::perms::owner_all, fs::perm_options::add);

        const Listing got = s->list();
        std::map<std::uint64_t, std::string> firstNameOf; // file identity -> a name
        for (const auto& [path, st] : host) {
            SCOPED_TRACE(path);
            auto it = got.find(path);
            if (it == got.end()) {
                EXPECT_EQ(records, Records::Nothing) << "missing";
                continue;
            }
            const Item& g = it->second;
            if (records == Records::Nothing) {
                EXPECT_EQ(g.unixMode | g.unixLinks | g.unixOwner | g.unixGroup, 0u);
                EXPECT_EQ(g.fileId, 0u);
                continue;
            }
            std::uint32_t mode = st.st_mode;
            if (records == Records::Normalized)
                mode = (mode & vbe::kUnixTypeMask) | 0444 | (mode & 0111 ? 0111 : 0);
            EXPECT_EQ(g.unixMode, mode) << std::oct << g.unixMode << " for " << mode;
            if (!S_ISDIR(st.st_mode)) {
                EXPECT_EQ(g.unixLinks, st.st_nlink);
            }
            EXPECT_EQ(g.unixOwner, records == Records::Normalized ? 0 : st.st_uid);
            EXPECT_EQ(g.unixGroup, records == Records::Normalized ? 0 : st.st_gid);
            if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
                EXPECT_EQ(g.fileId, 0u);
                continue;
            }
            // One identity for every name of a file, another for each other file.
            ASSERT_NE(g.fileId, 0u);
            auto [first, fresh] = firstNameOf.emplace(g.fileId, path);
            if (!fresh) {
                EXPECT_EQ(host.at(first->second).st_ino, st.st_ino)
                    << "taken for the same file as " << first->second;
            }
        }
        if (records != Records::Nothing) {
            EXPECT_EQ(got.at("linked").fileId, got.at("read-only/second name").fileId);
        }
    }
}

} // namespace
