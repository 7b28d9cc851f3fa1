#include "StoredSettings.h"

#include "RegValues.h"
#include "SystemVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace {

// A special folder, created when missing; empty when there is none.
QString SpecialFolder(QStandardPaths::StandardLocation location)
{
    const QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    return folder;
}

QString GetRememberedFolder(const QString& valueName)
{
    StringReg value(HKEY_CURRENT_USER, SETTINGS_KEY, valueName, true);
    if (!value.Read()) {
        QString folder = SpecialFolder(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty())
            folder = QDir::homePath();
        value.Set(folder);
    }
    return value.Get();
}

// The "Version" text of the machine-wide settings, or an empty text.
QString ReadVersion()
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char16_t buffer[260] = {};
    DWORD size = sizeof(buffer);
    const LSTATUS status = RegQueryValueEx(key, QStringLiteral("Version"), nullptr, buffer, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return {};
    QString text = QString::fromUtf16(buffer, static_cast<qsizetype>(size / 2));
    const auto nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

const QString kPlacementNames[5] = {QStringLiteral("LTWnd_PosX"), QStringLiteral("LTWnd_PosY"),
                                    QStringLiteral("LTWnd_PosW"), QStringLiteral("LTWnd_PosH"),
                                    QStringLiteral("LTWnd_PosS")};

std::uint32_t ReadDword(HKEY root, const QString& name, std::uint32_t defaultValue)
{
    DwordReg value(root, SETTINGS_KEY, name);
    value.Set(defaultValue);
    value.Read();
    return value.Get();
}

} // namespace

QString GetCurrentLang()
{
    StringReg value(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("CurrentLang"));
    value.Read();
    return value.Get();
}

void SetCurrentLangPerUser(const QString& code)
{
    StringReg(HKEY_CURRENT_USER, SETTINGS_KEY, QStringLiteral("CurrentLang"), true).Set(code);
}

std::uint32_t GetOemConfirmString()
{
    return ReadDword(HKEY_LOCAL_MACHINE, QStringLiteral("oemConfirmString"), 0);
}

std::uint32_t GetDisconnectToDARevErod()
{
    return ReadDword(HKEY_LOCAL_MACHINE, QStringLiteral("DisconnectToDARevErod"), 0);
}

std::uint32_t GetNetworkConnect()
{
    return ReadDword(HKEY_CURRENT_USER, QStringLiteral("NetworkConnect"), 1);
}

bool ReadWindowPlacement(WindowPlacement* pPlacement)
{
    HKEY key = nullptr;
    if (!pPlacement ||
        RegOpenKeyEx(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    std::int32_t values[5] = {};
    bool bAll = true;
    for (int i = 0; i < 5 && bAll; ++i) {
        DWORD size = 4;
        bAll =
            RegQueryValueEx(key, kPlacementNames[i], nullptr, &values[i], &size) == ERROR_SUCCESS &&
            size == 4;
    }
    RegCloseKey(key);
    if (!bAll)
        return false;
    *pPlacement = WindowPlacement{values[0], values[1], values[2], values[3], values[4]};
    return true;
}

bool WriteWindowPlacement(const WindowPlacement& placement)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const std::int32_t values[5] = {placement.nLeft, placement.nTop, placement.nWidth,
                                    placement.nHeight, placement.bMaximized};
    bool bAll = true;
    for (int i = 0; i < 5; ++i)
        bAll &= RegSetValueEx(key, kPlacementNames[i], REG_BINARY, &values[i], 4) == ERROR_SUCCESS;
    RegCloseKey(key);
    return bAll;
}

QString GetImagePath()
{
    return GetRememberedFolder(QStringLiteral("ImagePath"));
}

QString GetExtractPath()
{
    return GetRememberedFolder(QStringLiteral("ExtractPath"));
}

void SetImagePath(const QString& folder)
{
    StringReg(HKEY_CURRENT_USER, SETTINGS_KEY, QStringLiteral("ImagePath"), true).Set(folder);
}

void SetExtractPath(const QString& folder)
{
    StringReg(HKEY_CURRENT_USER, SETTINGS_KEY, QStringLiteral("ExtractPath"), true).Set(folder);
}

bool GetTempFolder(QString* pFolder, int capacity)
{
    if (!pFolder || capacity < MAX_PATH_CHARS)
        return false;
    QString folder;
    const QString appData = SpecialFolder(QStandardPaths::GenericDataLocation);
    if (!appData.isEmpty()) {
        // Without a version the folder has no component for it.
        const QString version = ReadVersion();
        const QString candidate = appData + QStringLiteral("/Vantrel/Ardent8/") +
                                  (version.isEmpty() ? QString() : version + QLatin1Char('/')) +
                                  QStringLiteral("Temp");
        // Room for the final separator and the terminator.
        if (candidate.size() + 2 <= capacity)
            folder = candidate;
    }
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/Temp");
    if (!QFileInfo(folder).isDir() && !CreateFolderPath(folder))
        return false;
    *pFolder = folder + QLatin1Char('/');
    return true;
}

bool CreateFolderPath(const QString& path)
{
    QString folder = path;
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        return false;
    const auto slash = folder.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString parent = folder.left(slash);
        if (!QFileInfo::exists(parent))
            CreateFolderPath(parent);
    }
    return QDir().mkdir(folder);
}

QString GetSuiteInstallPath(const QString& installKey)
{
    for (DWORD index = 0;; ++index) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, installKey, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                         &key) != ERROR_SUCCESS)
            return {};
        QString subKey;
        const LSTATUS status = RegEnumKeyEx(key, index, &subKey, 260);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return {};

        HKEY sub = nullptr;
        if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, installKey + QLatin1Char('\\') + subKey,
                         KEY_QUERY_VALUE, &sub) != ERROR_SUCCESS)
            continue;
        char16_t buffer[260] = {};
        DWORD size = sizeof(buffer);
        const LSTATUS found =
            RegQueryValueEx(sub, QStringLiteral("InstallPath"), nullptr, buffer, &size);
        RegCloseKey(sub);
        if (found == ERROR_SUCCESS) {
            QString text = QString::fromUtf16(buffer, static_cast<qsizetype>(size / 2));
            const auto nul = text.indexOf(QChar(0));
            return nul < 0 ? text : text.left(nul);
        }
    }
}

bool GetSuiteProgramPath(const QString& programName, QString* pPath)
{
    const QString installPath = GetSuiteInstallPath();
    const QString path = installPath + QLatin1Char('/') + programName;
    if (pPath)
        *pPath = path;
    return !installPath.isEmpty() && QFileInfo(path).isFile();
}

bool IsFolderWritable(const QString& path)
{
    if (IsOsOlderThan(6))
        return true;
    const auto slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? path + QLatin1Char('/') : path.left(slash + 1);
    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("adtXXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(pattern.constData());
    return true;
}

bool IsFolderEmpty(const QString& folder)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    bool bEmpty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        bEmpty = false;
        break;
    }
    ::closedir(dir);
    return bEmpty;
}
