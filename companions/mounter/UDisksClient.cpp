#include "UDisksClient.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QFile>
#include <QMap>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kFileSystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kLoop = QStringLiteral("org.freedesktop.UDisks2.Loop");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kAlreadyMounted = QStringLiteral("org.freedesktop.UDisks2.Error.AlreadyMounted");
const QString kNotMounted = QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted");

// A call may wait for the user to authenticate, so it gets minutes, not
// the bus's default 25 seconds.
constexpr int kCallTimeoutMs = 10 * 60 * 1000;
constexpr int kProbeStepMs = 100;

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

QString NextConnectionName()
{
    static std::atomic<int> s_nNext{0};
    return QStringLiteral("fenmount-udisks-%1").arg(++s_nNext);
}

QDBusConnection ConnectToSystemBus(const QString& name)
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.isEmpty())
        return QDBusConnection::connectToBus(address, name);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
}

QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    return message;
}

// The object that carries the file system to mount: the loop device itself
// (a plain image, or a hybrid one whose whole-disc file system udisks2 sees),
// else the lowest-numbered partition on it that has one.
QString FileSystemObject(const ManagedObjects& objects, const QString& loopPath)
{
    const auto loop = objects.constFind(QDBusObjectPath(loopPath));
    if (loop != objects.cend() && loop->contains(kFileSystem))
        return loopPath;
    QString best;
    uint bestNumber = 0;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (!it->contains(kFileSystem) || !it->contains(kPartition))
            continue;
        const QVariantMap& partition = it->value(kPartition);
        if (partition.value(QStringLiteral("Table")).value<QDBusObjectPath>().path() != loopPath)
            continue;
        const uint number = partition.value(QStringLiteral("Number")).toUInt();
        if (best.isEmpty() || number < bestNumber) {
            best = it.key().path();
            bestNumber = number;
        }
    }
    return best;
}

// The first mount point of a file system object (udisks2 gives them as
// zero-terminated byte arrays).
QString FirstMountPoint(QDBusConnection& bus, const QString& path)
{
    const QDBusMessage reply =
        bus.call(Call(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("Get"), {kFileSystem, QStringLiteral("MountPoints")}),
                 QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QString();
    const QDBusArgument arg =
        reply.arguments().front().value<QDBusVariant>().variant().value<QDBusArgument>();
    QList<QByteArray> points;
    arg >> points;
    if (points.isEmpty())
        return QString();
    QByteArray first = points.front();
    if (first.endsWith('\0'))
        first.chop(1);
    return QFile::decodeName(first);
}

} // namespace

CUDisksClient::CUDisksClient(QObject* pParent)
    : QObject(pParent), m_strConnection(NextConnectionName()),
      m_bus(ConnectToSystemBus(m_strConnection))
{
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();
}

CUDisksClient::~CUDisksClient()
{
    QDBusConnection::disconnectFromBus(m_strConnection);
}

CUDisksOutcome CUDisksClient::Failure(const QDBusError& error) const
{
    CUDisksOutcome outcome;
    if (!m_bus.isConnected() || error.type() == QDBusError::Disconnected) {
        outcome.nKind = CUDisksOutcome::NoBus;
    } else if (error.type() == QDBusError::ServiceUnknown ||
               error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        outcome.nKind = CUDisksOutcome::NoService;
    } else {
        outcome.nKind = CUDisksOutcome::Refused;
    }
    outcome.strError = error.message();
    if (!error.name().isEmpty())
        outcome.strError += QStringLiteral("\n(%1)").arg(error.name());
    return outcome;
}

void CUDisksClient::Mount(const QString& imagePath, Done whenDone)
{
    // Every outcome names the image, failures too.
    const Done done = [whenDone, imagePath](CUDisksOutcome outcome) {
        outcome.mounted.strImage = imagePath;
        whenDone(outcome);
    };
    CMountedImage image;
    image.strImage = imagePath;
    auto finish = [this, done](CUDisksOutcome outcome) {
        QTimer::singleShot(0, this, [done, outcome] { done(outcome); });
    };
    if (!m_bus.isConnected()) {
        CUDisksOutcome outcome;
        outcome.nKind = CUDisksOutcome::NoBus;
        outcome.strError = m_bus.lastError().message();
        finish(outcome);
        return;
    }
    const int fd = ::open(QFile::encodeName(imagePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        CUDisksOutcome outcome;
        outcome.nKind = CUDisksOutcome::CannotOpen;
        outcome.strError = QString::fromLocal8Bit(std::strerror(errno));
        finish(outcome);
        return;
    }
    // The descriptor is copied into the message; udisks2 gets it read-only,
    // so the loop device could not write to the image even if asked to.
    const QDBusUnixFileDescriptor descriptor(fd);
    ::close(fd);
    const QVariantMap options{{QStringLiteral("read-only"), true}};
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(Call(kManagerPath, kManager, QStringLiteral("LoopSetup"),
                             {QVariant::fromValue(descriptor), options}),
                        kCallTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, image, done](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                if (reply.isError()) {
                    done(Failure(reply.error()));
                    return;
                }
                CMountedImage set = image;
                set.strLoop = reply.value().path();
                FindFileSystem(set, m_nProbeTimeoutMs / kProbeStepMs, done);
            });
}

void CUDisksClient::FindFileSystem(const CMountedImage& image, int nTriesLeft, Done done)
{
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(Call(kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                             QStringLiteral("GetManagedObjects"), {}),
                        kCallTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, image, nTriesLeft, done](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<ManagedObjects> reply = *watcher;
                if (reply.isError()) {
                    GiveBackLoop(image.strLoop);
                    done(Failure(reply.error()));
                    return;
                }
                CMountedImage found = image;
                found.strFileSystem = FileSystemObject(reply.value(), image.strLoop);
                if (!found.strFileSystem.isEmpty()) {
                    MountFileSystem(found, done);
                } else if (nTriesLeft > 0) {
                    // udisks2 probes the new device after answering; a
                    // partition shows up a moment later.
                    QTimer::singleShot(kProbeStepMs, this, [this, image, nTriesLeft, done] {
                        FindFileSystem(image, nTriesLeft - 1, done);
                    });
                } else {
                    GiveBackLoop(image.strLoop);
                    CUDisksOutcome outcome;
                    outcome.nKind = CUDisksOutcome::NoFileSystem;
                    done(outcome);
                }
            });
}

void CUDisksClient::MountFileSystem(const CMountedImage& image, Done done)
{
    const QVariantMap options{{QStringLiteral("options"), QStringLiteral("ro")}};
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(Call(image.strFileSystem, kFileSystem, QStringLiteral("Mount"), {options}),
                        kCallTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, image, done](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<QString> reply = *watcher;
                CUDisksOutcome outcome;
                outcome.mounted = image;
                if (!reply.isError()) {
                    outcome.mounted.strMountPath = reply.value();
                } else if (reply.error().name() == kAlreadyMounted) {
                    // The desktop's automounter was quicker: use its mount.
                    outcome.mounted.strMountPath = FirstMountPoint(m_bus, image.strFileSystem);
                }
                if (outcome.mounted.strMountPath.isEmpty()) {
                    GiveBackLoop(image.strLoop);
                    done(Failure(reply.error()));
                    return;
                }
                done(outcome);
            });
}

void CUDisksClient::GiveBackLoop(const QString& loopPath)
{
    m_bus.asyncCall(Call(loopPath, kLoop, QStringLiteral("Delete"), {QVariantMap()}),
                    kCallTimeoutMs);
}

void CUDisksClient::Unmount(const CMountedImage& image, Done whenDone)
{
    const Done done = [whenDone, image](CUDisksOutcome outcome) {
        outcome.mounted = image;
        whenDone(outcome);
    };
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(
            Call(image.strFileSystem, kFileSystem, QStringLiteral("Unmount"), {QVariantMap()}),
            kCallTimeoutMs),
        this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, image, done](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<> reply = *watcher;
                // Unmounted by someone else already: the loop device still goes.
                if (reply.isError() && reply.error().name() != kNotMounted) {
                    done(Failure(reply.error()));
                    return;
                }
                auto* deleting = new QDBusPendingCallWatcher(
                    m_bus.asyncCall(
                        Call(image.strLoop, kLoop, QStringLiteral("Delete"), {QVariantMap()}),
                        kCallTimeoutMs),
                    this);
                connect(deleting, &QDBusPendingCallWatcher::finished, this,
                        [this, deleting, done](QDBusPendingCallWatcher*) {
                            deleting->deleteLater();
                            const QDBusPendingReply<> deleted = *deleting;
                            done(deleted.isError() ? Failure(deleted.error()) : CUDisksOutcome());
                        });
            });
}

CUDisksOutcome CUDisksClient::UnmountNow(const CMountedImage& image)
{
    QDBusMessage reply = m_bus.call(
        Call(image.strFileSystem, kFileSystem, QStringLiteral("Unmount"), {QVariantMap()}),
        QDBus::Block, kCallTimeoutMs);
    CUDisksOutcome outcome;
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() != kNotMounted) {
        outcome = Failure(QDBusError(reply));
    } else {
        reply = m_bus.call(Call(image.strLoop, kLoop, QStringLiteral("Delete"), {QVariantMap()}),
                           QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage)
            outcome = Failure(QDBusError(reply));
    }
    outcome.mounted = image;
    return outcome;
}
