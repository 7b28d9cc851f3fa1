#include "QtPrint.h"
#include "VolumeCheck.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(VolumeCheck, FileSystemTable)
{
    constexpr std::uint64_t GiB = 1ull << 30;
    struct Row
    {
        const char* type;
        std::uint64_t size;
        bool accepted;
    };
    // The size limits of the FAT kinds, a few of the kinds that hold large
    // files (a network share's among them), and those that are refused.
    const Row rows[] = {
        {"msdos", 2 * GiB, true},   {"msdos", 2 * GiB + 1, false},
        {"vfat", 4 * GiB, true},    {"vfat", 4 * GiB + 1, false},
        {"VFAT", 5 * GiB, false},   {"ntfs3", 5 * GiB, true},
        {"fuseblk", 5 * GiB, true}, {"ext4", 5 * GiB, true},
        {"nfs4", 5 * GiB, true},    {"fuse.sshfs", 5 * GiB, true},
        {"exfat", 1, false},        {"sshfs", 1, false},
        {"proc", 0, false},         {"", 0, false},
        {"ext4x", 1, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FileSystemAcceptsSize(QString::fromLatin1(row.type), row.size), row.accepted)
            << row.type << " " << row.size;
    }
}

TEST(VolumeCheck, FindsTheMountOfAPath)
{
    EXPECT_EQ(FileSystemTypeOf(QStringLiteral("/proc/self")), u"proc");
    QTemporaryDir dir;
    const QString type = FileSystemTypeOf(dir.path());
    EXPECT_FALSE(type.isEmpty());
    EXPECT_EQ(FileSystemTypeOf(dir.path() + QStringLiteral("/not/yet/made/")), type)
        << "a folder still to be made counts as its nearest existing parent";
    EXPECT_TRUE(CheckTargetVolume(dir.path() + QLatin1Char('/'), 5ull << 30))
        << "the test folder lies on " << type;
    EXPECT_FALSE(CheckTargetVolume(QStringLiteral("/proc/"), 1));
}

TEST(VolumeCheck, FreeSpaceWithItsMargin)
{
    QTemporaryDir dir;
    std::uint64_t free = 0;
    ASSERT_EQ(GetFreeBytes(dir.path(), &free), 0);
    EXPECT_GT(free, 0u);
    EXPECT_TRUE(HasFreeSpace(dir.path(), 0));
    EXPECT_TRUE(HasFreeSpace(dir.path(), free / 2));
    // The 1 % margin: what is exactly free is not enough.
    EXPECT_FALSE(HasFreeSpace(dir.path(), free));
    EXPECT_FALSE(HasFreeSpace(dir.path(), std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(GetFreeBytes(dir.path(), nullptr), STATUS_NO_FREE_SPACE_INFO);
}

} // namespace
