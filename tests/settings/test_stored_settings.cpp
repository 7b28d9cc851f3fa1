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

namespace {

void Put(HKEY root, const QString& name, DWORD type, const QByteArray& data)
{
    ASSERT_TRUE(PutRawValue(root, SETTINGS_KEY, name, type, data)) << name;
}

TEST(StoredSettings, FirstStartRemembersTheDocumentsFolder)
{
    TempSettings settings;
    const QString documents = settings.Home() + QStringLiteral("/Documents");
    EXPECT_EQ(GetImagePath(), documents);
    EXPECT_EQ(GetExtractPath(), documents);
    EXPECT_TRUE(QFileInfo(documents).isDir()) << "the folder is made when missing";
    for (const char* name : {"ImagePath", "ExtractPath"})
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER, SETTINGS_KEY, QLatin1String(name)),
                  Utf16Bytes(documents));

    SetExtractPath(QStringLiteral("/data/out"));
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
    return ReadWindowPlacement(&placement) ? QStringLiteral("placed") : QString();
}

// Where each setting is read from: the user's value, then the machine's;
// the language only machine-wide, the window's placement only the user's.
// Reading never copies the machine's value to the user.
TEST(StoredSettings, EachSettingIsReadFromItsRoots)
{
    const QByteArray zero(4, '\0'), one("\1\0\0\0", 4);
    const QByteArray srv = Utf16Bytes(QStringLiteral("/srv/images"));
    struct Case
    {
        const char* name;
        DWORD type;
        QByteArray user, machine; // not stored when empty
        QString (*read)();
        const char* expected;
    } cases[] = {
        {"ImagePath", REG_SZ, {}, srv, GetImagePath, "/srv/images"},
        {"ImagePath", REG_SZ, Utf16Bytes(QStringLiteral("/home/me")), srv, GetImagePath,
         "/home/me"},
        {"NetworkConnect", REG_DWORD, {}, zero, NetworkConnect, "0"},
        {"NetworkConnect", REG_DWORD, one, zero, NetworkConnect, "1"},
        {"CurrentLang", REG_SZ, Utf16Bytes(QStringLiteral("ENU")), {}, GetCurrentLang, ""},
        {"CurrentLang", REG_SZ, {}, Utf16Bytes(QStringLiteral("DEU")), GetCurrentLang, "DEU"},
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
    SetCurrentLangPerUser(QStringLiteral("ENU"));
    SetImagePath(QStringLiteral("/home/me"));
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, SETTINGS_KEY, QStringLiteral("ImagePath")),
              Utf16Bytes(QStringLiteral("/home/me")));
    EXPECT_FALSE(QFile::exists(settings.MachineFile()));
}

TEST(StoredSettings, TemporaryFolder)
{
    TempSettings settings;
    const QString appData = settings.Home() + QStringLiteral("/.local/share");
    QString folder;
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, appData + QStringLiteral("/Vantrel/Ardent8/Temp/")) << "no version";
    EXPECT_TRUE(QFileInfo(folder).isDir());
    StringReg version(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("Version"));
    ASSERT_TRUE(version.Set(QStringLiteral("8.0.1")).Write());
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, appData + QStringLiteral("/Vantrel/Ardent8/8.0.1/Temp/"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(GetTempFolder(&folder, 259)) << "a buffer under 260 characters";

    // An application-data folder too long for the buffer: <temp>/Temp/,
    // made once and then used as it is.
    const QString longData = settings.Path() + QLatin1Char('/') + QString(240, QLatin1Char('d'));
    settings.Set("XDG_DATA_HOME", longData);
    const QString fallback = settings.Path() + QStringLiteral("/tmp/Temp/");
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, fallback);
    ASSERT_TRUE(WriteBytes(fallback + QStringLiteral("keep"), "x"));
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, fallback);
    EXPECT_TRUE(QFile::exists(fallback + QStringLiteral("keep")));
    ASSERT_TRUE(GetTempFolder(&folder, 1024));
    EXPECT_TRUE(folder.startsWith(longData)) << "a larger buffer takes the long folder";
}

TEST(StoredSettings, InstallPathOfTheFirstSubkeyThatHasOne)
{
    TempSettings settings;
    QString path;
    EXPECT_TRUE(GetSuiteInstallPath().isEmpty());
    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));

    const QString install = settings.Path() + QStringLiteral("/suite");
    QDir().mkpath(install);
    ASSERT_TRUE(StringReg(HKEY_LOCAL_MACHINE, SUITE_KEY + QStringLiteral("\\A Other"),
                          QStringLiteral("Unrelated"))
                    .Set(QStringLiteral("x"))
                    .Write());
    ASSERT_TRUE(StringReg(HKEY_LOCAL_MACHINE, SUITE_KEY + QStringLiteral("\\B Suite"),
                          QStringLiteral("InstallPath"))
                    .Set(install)
                    .Write());
    EXPECT_EQ(GetSuiteInstallPath(), install);
    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));
    EXPECT_EQ(path, install + QStringLiteral("/Ardent8")) << "given even when missing";
    ASSERT_TRUE(WriteBytes(install + QStringLiteral("/Fenmount"), {}));
    EXPECT_TRUE(GetSuiteProgramPath(SUITE_PROGRAM_VIRTUAL_DRIVE, &path));
    EXPECT_EQ(path, install + QStringLiteral("/Fenmount"));
}

TEST(StoredSettings, MadeWritableAndEmptyFolders)
{
    TempSettings settings;
    const QString folder = settings.Path() + QStringLiteral("/target/a/b/");
    EXPECT_TRUE(CreateFolderPath(folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(CreateFolderPath(folder)) << "the folder was not created this time";
    EXPECT_TRUE(IsFolderWritable(folder));
    EXPECT_TRUE(IsFolderWritable(folder + QStringLiteral("file-name-part")));
    EXPECT_TRUE(IsFolderEmpty(folder)) << "the probe file is gone again";
    EXPECT_FALSE(IsFolderWritable(settings.Path() + QStringLiteral("/missing/")));

    // A folder nobody may write to. Root may write anywhere a mode allows,
    // so there the kernel's own read-only folder stands in.
    QString readOnly = QStringLiteral("/proc/");
    if (geteuid() != 0) {
        readOnly = settings.Path() + QStringLiteral("/ro/");
        QDir().mkpath(readOnly);
        ASSERT_EQ(chmod(QFile::encodeName(readOnly).constData(), 0555), 0);
    }
    EXPECT_FALSE(IsFolderWritable(readOnly));
    SetOsVersionForTesting({5, 1});
    EXPECT_TRUE(IsFolderWritable(readOnly)) << "older systems are not tested";
    ResetOsVersionForTesting();
    if (geteuid() != 0)
        chmod(QFile::encodeName(readOnly).constData(), 0755);

    ASSERT_TRUE(WriteBytes(folder + QStringLiteral(".hidden"), {}));
    EXPECT_FALSE(IsFolderEmpty(folder));
    EXPECT_FALSE(IsFolderEmpty(settings.Path() + QStringLiteral("/missing")))
        << "a folder that cannot be listed is not empty";
}

} // namespace
