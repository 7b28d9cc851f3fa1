#include "FileBytes.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"
#include "VolumeCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void Put(HKEY root, const QString& name, DWORD type, const QByteArray& data,
         const QString& key = SETTINGS_KEY)
{
    ASSERT_TRUE(PutRawValue(root, key, name, type, data)) << name;
}

TEST(StoredSettings, FirstStartRemembersTheDocumentsFolder)
{
    TempSettings settings;
    const QString documents = settings.Home() + u"/Documents"_s;
    EXPECT_EQ(GetImagePath(), documents);
    EXPECT_EQ(GetExtractPath(), documents);
    EXPECT_TRUE(QFileInfo(documents).isDir()) << "the folder is made when missing";
    for (const char* name : {"ImagePath", "ExtractPath"})
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER, SETTINGS_KEY, QLatin1String(name)),
                  Utf16Bytes(documents));

    SetExtractPath(u"/data/out"_s);
    EXPECT_EQ(GetExtractPath(), u"/data/out");
    EXPECT_EQ(GetImagePath(), documents);
}

QString NetworkConnect()
{
    return QString::number(GetNetworkConnect());
}

QString Placement()
{
    WindowPlacement placement;
    return ReadWindowPlacement(&placement) ? u"placed"_s : QString();
}

// Each setting from the user's value, then the machine's (the language only the machine's,
// the placement only the user's); reading copies nothing to the user.
TEST(StoredSettings, EachSettingIsReadFromItsRoots)
{
    const QByteArray zero(4, '\0'), one("\1\0\0\0", 4);
    const QByteArray srv = Utf16Bytes(u"/srv/images"_s);
    struct Case
    {
        const char* name;
        DWORD type;
        QByteArray user, machine; // not stored when empty
        QString (*read)();
        const char* expected;
    } cases[] = {
        {"ImagePath", REG_SZ, {}, srv, GetImagePath, "/srv/images"},
        {"ImagePath", REG_SZ, Utf16Bytes(u"/home/me"_s), srv, GetImagePath, "/home/me"},
        {"NetworkConnect", REG_DWORD, {}, zero, NetworkConnect, "0"},
        {"NetworkConnect", REG_DWORD, one, zero, NetworkConnect, "1"},
        {"CurrentLang", REG_SZ, Utf16Bytes(u"ENU"_s), {}, GetCurrentLang, ""},
        {"CurrentLang", REG_SZ, {}, Utf16Bytes(u"DEU"_s), GetCurrentLang, "DEU"},
        // The placement's other values are the user's: the machine's fifth does not complete them.
        {"LTWnd_PosS", REG_BINARY, {}, zero, Placement, ""},
        {"LTWnd_PosS", REG_BINARY, zero, {}, Placement, "placed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempSettings settings;
        const QString name = QLatin1String(c.name);
        if (c.read == Placement) {
            ASSERT_TRUE(WriteWindowPlacement({-8, 20, 1024, 700, 1}));
            StringReg(HKEY_CURRENT_USER, SETTINGS_KEY, name).DeleteValue();
        }
        if (!c.user.isEmpty())
            Put(HKEY_CURRENT_USER, name, c.type, c.user);
        if (!c.machine.isEmpty())
            Put(HKEY_LOCAL_MACHINE, name, c.type, c.machine);
        EXPECT_EQ(c.read(), QLatin1String(c.expected));
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER, SETTINGS_KEY, name),
                  c.user.isEmpty() ? QByteArray("<none>") : c.user);
    }
    // What a user sets is the user's.
    TempSettings settings;
    SetCurrentLangPerUser(u"ENU"_s);
    SetImagePath(u"/home/me"_s);
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, SETTINGS_KEY, u"ImagePath"_s), Utf16Bytes(u"/home/me"_s));
    EXPECT_FALSE(QFile::exists(settings.MachineFile()));
}

TEST(StoredSettings, TemporaryFolder)
{
    TempSettings settings;
    const QString appData = settings.Home() + u"/.local/share"_s;
    // The folder given, made; "-" when refused, "?" when not made.
    auto temp = [](int capacity = MAX_PATH_CHARS) {
        QString folder;
        return !GetTempFolder(&folder, capacity) ? u"-"_s
               : QFileInfo(folder).isDir()       ? folder
                                                 : u"?"_s;
    };
    EXPECT_EQ(temp(), appData + u"/Vantrel/Ardent8/Temp/"_s) << "no version";
    StringReg version(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"Version"_s);
    ASSERT_TRUE(version.Set(u"8.0.1"_s).Write());
    EXPECT_EQ(temp(), appData + u"/Vantrel/Ardent8/8.0.1/Temp/"_s);
    EXPECT_EQ(temp(259), u"-") << "a buffer under 260 characters";

    // A data folder too long for the buffer: <temp>/Temp/, made once and then used as it is.
    const QString longData = settings.Path() + QLatin1Char('/') + QString(240, QLatin1Char('d'));
    settings.Set("XDG_DATA_HOME", longData);
    const QString fallback = settings.Path() + u"/tmp/Temp/"_s;
    EXPECT_EQ(temp(), fallback);
    ASSERT_TRUE(WriteBytes(fallback + u"keep"_s, "x"));
    EXPECT_EQ(temp(), fallback);
    EXPECT_TRUE(QFile::exists(fallback + u"keep"_s));
    EXPECT_TRUE(temp(1024).startsWith(longData)) << "a larger buffer takes the long folder";
}

TEST(StoredSettings, MadeWritableAndEmptyFolders)
{
    TempSettings settings;
    const QString folder = settings.Path() + u"/target/a/b/"_s;
    EXPECT_TRUE(CreateFolderPath(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(CreateFolderPath(folder)) << "the folder was not created this time";
    EXPECT_TRUE(IsFolderWritable(folder));
    EXPECT_TRUE(IsFolderWritable(folder + u"file-name-part"_s));
    EXPECT_TRUE(IsFolderEmpty(folder)) << "the probe file is gone again";
    EXPECT_FALSE(IsFolderWritable(settings.Path() + u"/missing/"_s));

    // A folder nobody may write to (for root, which may write anywhere, /proc).
    QString readOnly = u"/proc/"_s;
    if (geteuid() != 0) {
        readOnly = settings.Path() + u"/ro/"_s;
        QDir().mkpath(readOnly);
        ASSERT_EQ(chmod(QFile::encodeName(readOnly).constData(), 0555), 0);
    }
    EXPECT_FALSE(IsFolderWritable(readOnly));
    SetOsVersionForTesting({5, 1});
    EXPECT_TRUE(IsFolderWritable(readOnly)) << "older systems are not tested";
    ResetOsVersionForTesting();
    if (geteuid() != 0)
        chmod(QFile::encodeName(readOnly).constData(), 0755);

    ASSERT_TRUE(WriteBytes(folder + u".hidden"_s, {}));
    EXPECT_FALSE(IsFolderEmpty(folder));
    EXPECT_FALSE(IsFolderEmpty(settings.Path() + u"/missing"_s))
        << "a folder that cannot be listed is not empty";
}

TEST(VolumeCheck, FileSystemTable)
{
    constexpr std::uint64_t GiB = 1ull << 30;
    struct Row
    {
        const char* type;
        std::uint64_t size;
        bool accepted;
    };
    // The FAT kinds' limits, kinds that hold large files, and those refused.
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
