#pragma once

// Digests of a tree's files as Python's hashlib and zlib compute them, to
// hold the program's own against.

#include "TreeFixtures.h"

#include <QMap>
#include <QStringList>

// Relative path -> {crc32, md5, sha1, sha256}, lower-case hex, for every file
// below root (links not followed).
inline QMap<QString, QStringList> HashlibDigests(const QString& root)
{
    static const char kScript[] = R"(import hashlib, os, sys, zlib
for top, dirs, files in os.walk(sys.argv[1]):
    for name in files:
        path = os.path.join(top, name)
        if os.path.islink(path):
            continue
        data = open(path, 'rb').read()
        print('\t'.join([os.path.relpath(path, sys.argv[1]), '%08x' % zlib.crc32(data)] +
                        [hashlib.new(k, data).hexdigest() for k in ('md5', 'sha1', 'sha256')]))
)";
    const RunResult r = RunProgram(QStringLiteral("/usr/bin/python3"),
                                   {QStringLiteral("-c"), QString::fromLatin1(kScript), root});
    QMap<QString, QStringList> digests;
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList cells = line.split(u'\t');
        digests.insert(cells.takeFirst(), cells);
    }
    return digests;
}

// An md5sum.txt of the tree's files, written into the tree.
inline bool WriteMd5List(const QString& root)
{
    QByteArray text;
    const QMap<QString, QStringList> digests = HashlibDigests(root);
    for (auto it = digests.begin(); it != digests.end(); ++it)
        text += it.value()[1].toLatin1() + "  ./" + it.key().toUtf8() + '\n';
    QFile file(root + QStringLiteral("/md5sum.txt"));
    return !digests.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}
