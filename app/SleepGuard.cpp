#include "SleepGuard.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <atomic>

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
// The login manager answers at once; a bus that hangs must not hold up the
// start of an extraction for long.
constexpr int kCallTimeoutMs = 2000;

QString NextConnectionName()
{
    static std::atomic<int> s_nNext{0};
    return QStringLiteral("lantern-sleep-guard-%1").arg(++s_nNext);
}

// A connection of its own per guard: the shared system-bus connection is
// made once per process and never retried, and the bus library reads the
// system bus's address only once, so a bus that appears later would not be
// seen. The address is looked up here each time for the same reason.
QDBusConnection ConnectToSystemBus(const QString& name)
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.isEmpty())
        return QDBusConnection::connectToBus(address, name);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}

} // namespace

CSleepGuard::CSleepGuard(QObject* pParent)
    : QObject(pParent), m_strConnection(NextConnectionName()),
      m_bus(ConnectToSystemBus(m_strConnection))
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("PrepareForSleep"), this,
                  SLOT(OnPrepareForSleep(bool)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("PrepareForShutdown"), this,
                  SLOT(OnPrepareForShutdown(bool)));
}

CSleepGuard::~CSleepGuard()
{
    Release();
    QDBusConnection::disconnectFromBus(m_strConnection);
}

bool CSleepGuard::IsConnected() const
{
    return m_bus.isConnected();
}

bool CSleepGuard::Acquire(const QString& why)
{
    if (IsHeld())
        return true;
    if (!m_bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown") << QStringLiteral("Lantern") << why
         << QStringLiteral("delay");
    // Blocking without running events: the caller is in the middle of
    // starting an extraction.
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid())
        return false;
    m_lock = reply.value();
    return m_lock.isValid();
}

void CSleepGuard::Release()
{
    // The descriptor is a copy of the lock; closing it ends the lock.
    m_lock = QDBusUnixFileDescriptor();
}

void CSleepGuard::OnPrepareForSleep(bool bStarting)
{
    if (bStarting)
        emit SleepComing();
}

void CSleepGuard::OnPrepareForShutdown(bool bStarting)
{
    if (bStarting)
        emit ShutdownComing();
}
