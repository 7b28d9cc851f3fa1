#pragma once

// A bus daemon of the test's own for the system bus, with a python3-dbusmock service on it.

#include "Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>

class PrivateBus
{
public:
    explicit PrivateBus(QString connectionName) : m_strConnection(std::move(connectionName)) {}
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(m_strConnection);
        for (QProcess* p : {&m_mock, &m_daemon}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon and connects; empty, or what went wrong.
    QString StartBus()
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
        m_bus = QDBusConnection::connectToBus(m_address, m_strConnection);
        if (!m_bus.isConnected())
            return QStringLiteral("cannot connect to the private bus");
        return {};
    }

    // Starts dbusmock with `dbusmockArgs` until `service` is on the bus; empty, or what failed.
    QString StartMock(const QStringList& dbusmockArgs, const QString& service,
                      const QString& logFile = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
        m_mock.setProcessEnvironment(env);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!logFile.isEmpty())
            m_mock.setStandardOutputFile(logFile);
        // Debian's dbusmock belongs to the system's Python.
        m_mock.start(QStringLiteral("/usr/bin/python3"),
                     QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + dbusmockArgs);
        if (!m_mock.waitForStarted(5000))
            return QStringLiteral("python3 does not start");
        const bool bUp = WaitFor([&] {
            return m_bus.interface()->isServiceRegistered(service).value() ||
                   m_mock.state() == QProcess::NotRunning;
        });
        if (!bUp || m_mock.state() == QProcess::NotRunning)
            return service + QStringLiteral(" (package python3-dbusmock) is not up");
        return {};
    }

    QString Address() const { return m_address; }
    QDBusConnection& Bus() { return m_bus; }

private:
    QString m_strConnection;
    QProcess m_daemon;
    QProcess m_mock;
    QString m_address;
    QDBusConnection m_bus{QString()};
};
