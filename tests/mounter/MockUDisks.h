#pragma once

// A private bus daemon with the stand-in udisks2 (udisks2_mock.py under
// python3-dbusmock) on it, and a fake xdg-open first on PATH that writes down
// what it was asked to open. Shared by the tests and the screenshot program.

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

// Runs events until `done` holds, for at most about ten seconds.
template <typename Pred>
bool WaitFor(Pred done)
{
    for (int i = 0; i < 1000 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return done();
}

// One logged call: the method and its arguments.
struct MockCall
{
    QString strMethod;
    QVariantList args;
};

class MockUDisks
{
public:
    // Starts the bus; with `bService`, udisks2 on it too. Empty when all came
    // up, else what went wrong.
    QString Start(bool bService = true)
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return QStringLiteral("dbus-daemon (package dbus) does not start");
        for (int i = 0; i < 50 && !m_daemon.canReadLine(); ++i)
            m_daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            return QStringLiteral("dbus-daemon printed no address");
        m_bus = QDBusConnection::connectToBus(m_address, QStringLiteral("mock-udisks-test"));
        if (!m_bus.isConnected())
            return QStringLiteral("cannot connect to the private bus");
        if (!bService)
            return {};

        QDir().mkpath(MountRoot());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        m_mock.setProcessEnvironment(env);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.setStandardOutputFile(m_dir.filePath(QStringLiteral("mock.log")));
        m_mock.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                      QStringLiteral("--template"), QStringLiteral(FENMOUNT_UDISKS_MOCK),
                      QStringLiteral("-p"),
                      QStringLiteral("{\"mount_root\": \"%1\"}").arg(MountRoot())});
        if (!m_mock.waitForStarted(5000))
            return QStringLiteral("python3 does not start");
        const bool bUp = WaitFor([this] {
            return m_bus.interface()->isServiceRegistered(kUDisks).value() ||
                   m_mock.state() == QProcess::NotRunning;
        });
        if (!bUp || m_mock.state() == QProcess::NotRunning)
            return QStringLiteral("the stand-in udisks2 (package python3-dbusmock) is not up");
        return {};
    }
    ~MockUDisks()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("mock-udisks-test"));
        for (QProcess* p : {&m_mock, &m_daemon}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
    }
    QString Address() const { return m_address; }
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
        return m_bus.call(call);
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_mock;
    QString m_address;
    QString m_strMountRoot;
    QDBusConnection m_bus{QString()};
};

// xdg-open's stand-in, first on PATH while it lives.
class FakeXdgOpen
{
public:
    FakeXdgOpen()
    {
        QFile script(m_dir.filePath(QStringLiteral("xdg-open")));
        script.open(QIODevice::WriteOnly);
        script.write(
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Record()).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeXdgOpen() { qputenv("PATH", m_oldPath); }
    // What it was asked to open so far, as local paths.
    QStringList Opened() const
    {
        QFile file(Record());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList opened;
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            opened << QUrl::fromUserInput(line).toLocalFile();
        return opened;
    }

private:
    QString Record() const { return m_dir.filePath(QStringLiteral("opened.txt")); }
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
