#pragma once

// A private bus daemon with the stand-in udisks2 (udisks2_mock.py under
// python3-dbusmock) on it, and a fake xdg-open first on PATH that writes down
// what it was asked to open. Shared by the tests and the screenshot program.

#include "FileBytes.h"
#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

inline const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2");
inline const QString kUDisksRoot = QStringLiteral("/org/freedesktop/UDisks2");

class MockUDisks : public PrivateBus
{
public:
    MockUDisks() : PrivateBus(QStringLiteral("mock-udisks-test")) {}
    // Starts the bus; with `bService`, udisks2 on it too. Empty when all came
    // up, else what went wrong.
    QString Start(bool bService = true)
    {
        const QString error = StartBus();
        if (!error.isEmpty() || !bService)
            return error;
        QDir().mkpath(MountRoot());
        return StartMock({QStringLiteral("--template"), QStringLiteral(FENMOUNT_UDISKS_MOCK),
                          QStringLiteral("-p"),
                          QStringLiteral("{\"mount_root\": \"%1\"}").arg(MountRoot())},
                         kUDisks, m_dir.filePath(QStringLiteral("mock.log")));
    }
    // Where file systems are mounted (before Start).
    QString MountRoot() const
    {
        return m_strMountRoot.isEmpty() ? m_dir.filePath(QStringLiteral("media")) : m_strMountRoot;
    }
    void SetMountRoot(const QString& folder) { m_strMountRoot = folder; }

    // Every udisks2 call so far, in order, as "object method" with the
    // object's path after block_devices/ ("Manager" for the manager).
    QStringList Journal() { return Call(QStringLiteral("Journal"), {}).toStringList(); }
    // What the last call of `method` was given (see udisks2_mock.py).
    QString Detail(const QString& method)
    {
        return Call(QStringLiteral("Detail"), {method}).toString();
    }
    // The next call of `method` fails with that udisks2 error.
    void FailNext(const QString& method, const QString& errorName, const QString& message)
    {
        Call(QStringLiteral("FailNext"), {method, errorName, message});
    }

private:
    // A mock control's answer.
    QVariant Call(const QString& method, const QVariantList& args)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kUDisks, kUDisksRoot, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(args);
        return Bus().call(call).arguments().value(0);
    }

    QTemporaryDir m_dir;
    QString m_strMountRoot;
};

// xdg-open's stand-in, first on PATH while it lives.
class FakeXdgOpen
{
public:
    FakeXdgOpen()
    {
        const QString script = m_dir.filePath(QStringLiteral("xdg-open"));
        WriteBytes(
            script,
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Record()).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeXdgOpen() { qputenv("PATH", m_oldPath); }
    // What it was asked to open so far, as local paths.
    QStringList Opened() const
    {
        QStringList opened;
        for (const QString& line :
             QString::fromUtf8(ReadBytes(Record())).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            opened << QUrl::fromUserInput(line).toLocalFile();
        return opened;
    }

private:
    QString Record() const { return m_dir.filePath(QStringLiteral("opened.txt")); }
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
