#pragma once

// Whole files for tests (a missing one reads empty, a write makes the folders); file times.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <fcntl.h>
#include <sys/stat.h>

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets the times of `path` (of a link itself) to `secs` since 1970.
inline bool SetModifiedTime(const QString& path, qint64 secs)
{
    const timespec times[2] = {{secs, 0}, {secs, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}
