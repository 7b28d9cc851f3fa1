#pragma once

// Whole-file reads and writes for tests: a missing file reads as empty, and
// a write makes the folders above the file; and a file's times.

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

// Sets the access and modification times of `path` (of a link itself, not
// what it points to) to `secs` since 1970.
inline bool SetModifiedTime(const QString& path, qint64 secs)
{
    const timespec times[2] = {{secs, 0}, {secs, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}
