#pragma once

// Shared by the burner's tests and screenshots: a disc image of random files, and the wait.

#include "../support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <functional>

// `folder`/image.iso holding one file of about `nBytes` random bytes; empty on failure.
inline QString MakeBurnerImage(const QString& folder, qint64 nBytes, quint32 seed = 7)
{
    const QString tree = folder + QStringLiteral("/tree");
    QDir().mkpath(tree + QStringLiteral("/docs"));
    QFile data(tree + QStringLiteral("/docs/data.bin"));
    if (!data.open(QIODevice::WriteOnly))
        return QString();
    QRandomGenerator random(seed);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (qint64 left = nBytes; left > 0; left -= chunk.size()) {
        random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        data.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    }
    data.close();
    const QString image = folder + QStringLiteral("/image.iso");
    const int rc =
        QProcess::execute(QStringLiteral(LANTERN_GENISOIMAGE),
                          {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-V"),
                           QStringLiteral("BURNTEST"), QStringLiteral("-o"), image, tree});
    return rc == 0 ? image : QString();
}

// Runs events until `done` holds; false after two minutes (a hang, never a speed measure).
inline bool WaitUntil(const std::function<bool()>& done)
{
    return WaitFor(done, 120000);
}
