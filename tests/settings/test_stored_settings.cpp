#include "FileBytes.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
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

// Where each setting is read from: the user's value, then the machine's;
// the language only machine-wide, the window's placement only the user's.
// Reading never copies the machine's value to the user.
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
        // The other four values are the user's: the machine's fifth does
        // not complete them.
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

    // An application-data folder too long for the buffer: <temp>/Temp/,
    // made once and then used as it is.
    const QString longData = settings.Path() + QLatin1Char('/') + QString(240, QLatin1Char('d'));
    settings.Set("XDG_DATA_HOME", longData);
    const QString fallback = settings.Path() + u"/tmp/Temp/"_s;
    EXPECT_EQ(temp(), fallback);
    ASSERT_TRUE(WriteBytes(fallback + u"keep"_s, "x"));
    EXPECT_EQ(temp(), fallback);
    EXPECT_TRUE(QFile::exists(fallback + u"keep"_s));
    EXPECT_TRUE(temp(1024).startsWith(longData)) << "a larger buffer takes the long folder";
}

TEST(StoredSettings, InstallPathOfTheFirstSubkeyThatHasOne)
{
    TempSettings settings;
    QString path;
    EXPECT_TRUE(GetSuiteInstallPath().isEmpty());
    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));

    const QString install = settings.Path() + u"/suite"_s;
    QDir().mkpath(install);
    Put(HKEY_LOCAL_MACHINE, u"Unrelated"_s, REG_SZ, Utf16Bytes(u"x"_s), SUITE_KEY + u"\\A Other"_s);
    Put(HKEY_LOCAL_MACHINE, u"InstallPath"_s, REG_SZ, Utf16Bytes(install),
        SUITE_KEY + u"\\B Suite"_s);
    EXPECT_EQ(GetSuiteInstallPath(), install);
    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));
    EXPECT_EQ(path, install + u"/Ardent8"_s) << "given even when missing";
    ASSERT_TRUE(WriteBytes(install + u"/Fenmount"_s, {}));
    EXPECT_TRUE(GetSuiteProgramPath(SUITE_PROGRAM_VIRTUAL_DRIVE, &path));
    EXPECT_EQ(path, install + u"/Fenmount"_s);
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

    // A folder nobody may write to. Root may write anywhere a mode allows,
    // so there the kernel's own read-only folder stands in.
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

} // namespace
