#pragma once

// A private bus daemon with the stand-in udisks2 (udisks2_mock.py under
// python3-dbusmock) on it, and a fake xdg-open first on PATH that writes down
// what it was asked to open. Shared by the tests and the screenshot program.

#include "FileBytes.h"
#include "PrivateBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

inline const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2");
inline const QString kUDisksRoot = QStringLiteral("/org/freedesktop/UDisks2");
inline const QString kUDisksManager = QStringLiteral("/org/freedesktop/UDisks2/Manager");
inline const QString kBlockDevices = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
inline const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// One logged call: the method and its arguments.
struct MockCall
{
    QString strMethod;
    QVariantList args;
};

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

    // The calls an object has had, oldest first.
    QList<MockCall> Calls(const QString& path)
    {
        const QDBusMessage reply = Call(path, QStringLiteral("GetCalls"), {});
        QList<MockCall> calls;
        if (reply.arguments().isEmpty())
            return calls;
        const auto arg = reply.arguments().front().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            MockCall call;
            quint64 stamp = 0;
            arg.beginStructure();
            arg >> stamp >> call.strMethod >> call.args;
            arg.endStructure();
            calls << call;
        }
        arg.endArray();
        return calls;
    }
    // Every udisks2 call so far, in order, as "object method" with the
    // object's path after block_devices/ ("Manager" for the manager).
    QStringList Journal()
    {
        const QDBusMessage reply = Call(kUDisksRoot, QStringLiteral("Journal"), {});
        QStringList journal;
        if (reply.arguments().isEmpty())
            return journal;
        const auto arg = reply.arguments().front().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusObjectPath path;
            QString method;
            arg.beginStructure();
            arg >> path >> method;
            arg.endStructure();
            QString object = path.path();
            object.remove(kBlockDevices);
            object.remove(kUDisksRoot + QLatin1Char('/'));
            journal << object + QLatin1Char(' ') + method;
        }
        arg.endArray();
        return journal;
    }
    // The next call of `method` fails with that udisks2 error.
    void FailNext(const QString& method, const QString& errorName, const QString& message)
    {
        Call(kUDisksRoot, QStringLiteral("FailNext"), {method, errorName, message});
    }

private:
    QDBusMessage Call(const QString& path, const QString& method, const QVariantList& args)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kUDisks, path, kMockInterface, method);
        call.setArguments(args);
        return Bus().call(call);
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
