#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString& OverrideFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString ProgramFolder()
{
    if (!OverrideFolder().isEmpty())
        return OverrideFolder();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Without an application object, ask the kernel which file is running.
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.canonicalFilePath();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

void SetProgramFolderForTesting(const QString& folder)
{
    OverrideFolder() = folder;
}

QString ProgramRelativePath(const QString& backslashPath)
{
    QString relative = backslashPath;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return QDir::cleanPath(ProgramFolder() + QLatin1Char('/') + relative);
}
