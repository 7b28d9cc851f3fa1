#include "QtPrint.h"
#include "RegValues.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString StoredText(HKEY root, const QString& name)
{
    StringReg value(root, SETTINGS_KEY, name);
    // Ask one root only: a read that falls back would hide the difference.
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, SETTINGS_KEY, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return QStringLiteral("<none>");
    DWORD size = 0;
    const LSTATUS status = RegQueryValueEx(key, name, nullptr, nullptr, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return QStringLiteral("<none>");
    value.Read();
    return value.Get();
}

TEST(StoredSettings, FirstStartRemembersTheDocumentsFolder)
{
    TempSettings settings;
    const QString documents = settings.Home() + QStringLiteral("/Documents");
    EXPECT_EQ(GetImagePath(), documents);
    EXPECT_EQ(GetExtractPath(), documents);
    EXPECT_TRUE(QFileInfo(documents).isDir()) << "the folder is made when missing";
    EXPECT_EQ(StoredText(HKEY_CURRENT_USER, QStringLiteral("ImagePath")), documents);
    EXPECT_EQ(StoredText(HKEY_CURRENT_USER, QStringLiteral("ExtractPath")), documents);

    SetExtractPath(QStringLiteral("/data/out"));
    EXPECT_EQ(GetExtractPath(), u"/data/out");
    EXPECT_EQ(GetImagePath(), documents);
}

TEST(StoredSettings, PlacementNeedsAllFiveValuesOfTheUser)
{
    TempSettings settings;
    WindowPlacement placement;
    EXPECT_FALSE(ReadWindowPlacement(&placement));
    ASSERT_TRUE(WriteWindowPlacement({-8, 20, 1024, 700, 1}));
    ASSERT_TRUE(ReadWindowPlacement(&placement));
    EXPECT_EQ(placement.nLeft, -8);
    EXPECT_EQ(placement.nHeight, 700);
    EXPECT_EQ(placement.bMaximized, 1);

    StringReg(HKEY_CURRENT_USER, SETTINGS_KEY, QStringLiteral("LTWnd_PosS")).DeleteValue();
    EXPECT_FALSE(ReadWindowPlacement(&placement)) << "four of five values are not enough";
    // A machine-wide value does not fill the gap: placement is per user.
    IntReg machine(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("LTWnd_PosS"));
    machine.Set(0);
    ASSERT_TRUE(machine.Write());
    EXPECT_FALSE(ReadWindowPlacement(&placement));
}

TEST(StoredSettings, SwitchesAndTheirDefaults)
{
    TempSettings settings;
    EXPECT_EQ(GetNetworkConnect(), 1u);
    EXPECT_EQ(GetOemConfirmString(), 0u);
    EXPECT_EQ(GetDisconnectToDARevErod(), 0u);
    EXPECT_TRUE(GetCurrentLang().isEmpty());
    DwordReg network(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("NetworkConnect"));
    network.Set(0);
    ASSERT_TRUE(network.Write());
    EXPECT_EQ(GetNetworkConnect(), 0u) << "the machine's value when the user has none";
    SetCurrentLangPerUser(QStringLiteral("ENU"));
    EXPECT_TRUE(GetCurrentLang().isEmpty()) << "the language is read machine-wide";
}

TEST(StoredSettings, MachineWideFolderIsUsedButNeverCopied)
{
    TempSettings settings;
    StringReg machine(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("ImagePath"));
    machine.Set(QStringLiteral("/srv/images"));
    ASSERT_TRUE(machine.Write());
    EXPECT_EQ(GetImagePath(), u"/srv/images");
    EXPECT_EQ(GetImagePath(), u"/srv/images");
    EXPECT_EQ(StoredText(HKEY_CURRENT_USER, QStringLiteral("ImagePath")), u"<none>");
    SetImagePath(QStringLiteral("/home/me"));
    EXPECT_EQ(GetImagePath(), u"/home/me");
    EXPECT_EQ(StoredText(HKEY_LOCAL_MACHINE, QStringLiteral("ImagePath")), u"/srv/images");
}

TEST(StoredSettings, TemporaryFolder)
{
    TempSettings settings;
    const QString appData = settings.Home() + QStringLiteral("/.local/share");
    QString folder;

    // No version: no component for it.
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, appData + QStringLiteral("/Vantrel/Ardent8/Temp/"));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    StringReg version(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("Version"));
    version.Set(QStringLiteral("8.0.1"));
    ASSERT_TRUE(version.Write());
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, appData + QStringLiteral("/Vantrel/Ardent8/8.0.1/Temp/"));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    EXPECT_FALSE(GetTempFolder(&folder, 259)) << "a buffer under 260 characters";

    // An application-data folder too long for the buffer: <temp>/Temp/.
    const QString longData = settings.Path() + QLatin1Char('/') + QString(240, QLatin1Char('d'));
    settings.Set("XDG_DATA_HOME", longData);
    const QString fallback = settings.Path() + QStringLiteral("/tmp/Temp/");
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, fallback);
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    // It exists now and is used as it is.
    QFile marker(fallback + QStringLiteral("keep"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    ASSERT_TRUE(GetTempFolder(&folder));
    EXPECT_EQ(folder, fallback);
    EXPECT_TRUE(QFile::exists(fallback + QStringLiteral("keep")));
    // A larger buffer takes the long folder.
    ASSERT_TRUE(GetTempFolder(&folder, 1024));
    EXPECT_TRUE(folder.startsWith(longData));
}

TEST(StoredSettings, CreateFolderPathMakesEveryParent)
{
    TempSettings settings;
    const QString deep = settings.Path() + QStringLiteral("/a/b/c/d/");
    EXPECT_TRUE(CreateFolderPath(deep));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_FALSE(CreateFolderPath(deep)) << "the folder was not created this time";
}

TEST(StoredSettings, InstallPathOfTheFirstSubkeyThatHasOne)
{
    TempSettings settings;
    EXPECT_TRUE(GetSuiteInstallPath().isEmpty());
    QString path;
    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));

    const QString install = settings.Path() + QStringLiteral("/suite");
    QDir().mkpath(install);
    StringReg first(HKEY_LOCAL_MACHINE, SUITE_KEY + QStringLiteral("\\A Other"),
                    QStringLiteral("Unrelated"));
    first.Set(QStringLiteral("x"));
    ASSERT_TRUE(first.Write());
    StringReg second(HKEY_LOCAL_MACHINE, SUITE_KEY + QStringLiteral("\\B Suite"),
                     QStringLiteral("InstallPath"));
    second.Set(install);
    ASSERT_TRUE(second.Write());
    EXPECT_EQ(GetSuiteInstallPath(), install);

    EXPECT_FALSE(GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &path));
    EXPECT_EQ(path, install + QStringLiteral("/Ardent8")) << "given even when missing";
    QFile program(install + QStringLiteral("/Fenmount"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    EXPECT_TRUE(GetSuiteProgramPath(SUITE_PROGRAM_VIRTUAL_DRIVE, &path));
    EXPECT_EQ(path, install + QStringLiteral("/Fenmount"));
    EXPECT_TRUE(GetSuiteProgramPath(SUITE_PROGRAM_VIRTUAL_DRIVE));
}

TEST(StoredSettings, WritableAndEmptyFolders)
{
    TempSettings settings;
    const QString folder = settings.Path() + QStringLiteral("/target/");
    QDir().mkpath(folder);
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

    QFile hidden(folder + QStringLiteral(".hidden"));
    ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    EXPECT_FALSE(IsFolderEmpty(folder));
    EXPECT_FALSE(IsFolderEmpty(settings.Path() + QStringLiteral("/missing")))
        << "a folder that cannot be listed is not empty";
}

} // namespace
