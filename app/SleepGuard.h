#pragma once

// Holds off sleep and shutdown while an extraction runs. The login manager
// hands out a "delay" lock on sleep and shutdown: while it is held, the
// machine announces that it is about to sleep or shut down and waits for
// the lock to be released, which gives a running extraction time to cancel
// and remove its partial file. Without a system bus or a login manager the
// guard does nothing.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

class CSleepGuard : public QObject
{
    Q_OBJECT
public:
    // Connects to the system bus (the one DBUS_SYSTEM_BUS_ADDRESS names,
    // when set) and listens for the login manager's notices.
    explicit CSleepGuard(QObject* pParent = nullptr);
    ~CSleepGuard() override;

    bool IsConnected() const;
    // Takes the lock unless it is held already; `why` is shown to the user
    // by tools that list the locks. False when no lock could be taken.
    bool Acquire(const QString& why);
    // Gives the lock back, which lets a waiting sleep or shutdown go on.
    void Release();
    bool IsHeld() const { return m_lock.isValid(); }

signals:
    // The machine is about to sleep, or to shut down or restart.
    void SleepComing();
    void ShutdownComing();

private slots:
    void OnPrepareForSleep(bool bStarting);
    void OnPrepareForShutdown(bool bStarting);

private:
    QString m_strConnection;
    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_lock;
};
