#include "WindowEndpoint.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A request: u32 message, u64 wParam, u32 size, then the bytes (big-endian).
// The answer: i64 result.
constexpr std::size_t kHeaderSize = 16;
constexpr std::uint32_t kMaxData = 1u << 20;
constexpr std::uint32_t kBroadcastMessage = 0xFFFF0001;
constexpr int kServeTimeoutMs = 5000;

enum class Kind
{
    Window,
    Broadcast
};

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/lantern-%1").arg(::getuid());
    QDir().mkpath(folder);
    return folder;
}

QString HashOf(const QString& name)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

QString BroadcastFolder(const QString& messageName)
{
    return RuntimeFolder() + QStringLiteral("/lantern-broadcast-") + HashOf(messageName);
}

bool FillAddress(const QString& path, sockaddr_un* pAddress)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.size() >= static_cast<qsizetype>(sizeof(pAddress->sun_path)))
        return false;
    std::memset(pAddress, 0, sizeof(*pAddress));
    pAddress->sun_family = AF_UNIX;
    std::memcpy(pAddress->sun_path, native.constData(), static_cast<std::size_t>(native.size()));
    return true;
}

// Waits until the descriptor is ready for `events`; false on time-out or error.
bool WaitFor(int fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool ReadExactly(int fd, char* buffer, std::size_t size, int timeoutMs)
{
    std::size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLIN, timeoutMs))
            return false;
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const char* buffer, std::size_t size, int timeoutMs)
{
    std::size_t done = 0;
    while (done < size) {
        if (!WaitFor(fd, POLLOUT, timeoutMs))
            return false;
        const ssize_t put = ::send(fd, buffer + done, size - done, MSG_NOSIGNAL);
        if (put < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

QByteArray Frame(std::uint32_t message, std::uint64_t wParam, const QByteArray& data)
{
    QByteArray frame(kHeaderSize, Qt::Uninitialized);
    qToBigEndian(message, frame.data());
    qToBigEndian(wParam, frame.data() + 4);
    qToBigEndian(static_cast<std::uint32_t>(data.size()), frame.data() + 12);
    return frame + data;
}

// Connects to a socket path; -1 with errno set when nobody listens there.
int ConnectTo(const QString& path)
{
    sockaddr_un address;
    if (!FillAddress(path, &address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// One request over a fresh connection; false when nobody answers in time.
bool Exchange(int fd, std::uint32_t message, std::uint64_t wParam, const QByteArray& data,
              std::int64_t* pResult, int timeoutMs)
{
    const QByteArray frame = Frame(message, wParam, data);
    char answer[8];
    const bool ok =
        WriteAll(fd, frame.constData(), static_cast<std::size_t>(frame.size()), timeoutMs) &&
        ReadExactly(fd, answer, sizeof(answer), timeoutMs);
    ::close(fd);
    if (ok && pResult)
        *pResult = qFromBigEndian<std::int64_t>(answer);
    return ok;
}

// Listeners of this process by socket path: a request to one of them is
// handled in place, since the event loop that would serve it may be the
// sender's own.
std::mutex g_localMutex;
std::map<QString, CWindowEndpoint*> g_local;

} // namespace

struct CWindowEndpoint::Listener
{
    Kind kind = Kind::Window;
    int fd = -1;
    QString path;
    QSocketNotifier* pNotifier = nullptr;
    Handler handler;
    BroadcastHandler broadcastHandler;

    ~Listener()
    {
        delete pNotifier;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(QFile::encodeName(path).constData());
        }
    }
};

CWindowEndpoint::CWindowEndpoint(QObject* parent) : QObject(parent) {}

CWindowEndpoint::~CWindowEndpoint()
{
    std::lock_guard lock(g_localMutex);
    for (const auto& listener : m_listeners)
        g_local.erase(listener->path);
}

QString CWindowEndpoint::SocketPath(const QString& className)
{
    return RuntimeFolder() + QStringLiteral("/lantern-window-") + HashOf(className);
}

namespace {

// Binds a listening socket at `path`. A socket file nobody answers on is
// left by a holder that died and is replaced; a live one is not.
int BindListening(const QString& path)
{
    sockaddr_un address;
    if (!FillAddress(path, &address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    const mode_t oldMask = ::umask(0077);
    int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (bound < 0 && errno == EADDRINUSE) {
        const int probe = ConnectTo(path);
        if (probe >= 0) {
            ::close(probe);
        } else {
            ::unlink(address.sun_path);
            bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        }
    }
    ::umask(oldMask);
    if (bound < 0 || ::listen(fd, 16) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool CWindowEndpoint::Listen(const QString& className, Handler handler)
{
    auto listener = std::make_unique<Listener>();
    listener->kind = Kind::Window;
    listener->path = SocketPath(className);
    listener->handler = std::move(handler);
    return AddListener(std::move(listener));
}

bool CWindowEndpoint::ListenForBroadcast(const QString& messageName, BroadcastHandler handler)
{
    const QString folder = BroadcastFolder(messageName);
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    static std::atomic<int> s_counter{0};
    auto listener = std::make_unique<Listener>();
    listener->kind = Kind::Broadcast;
    listener->path = folder + QStringLiteral("/%1-%2").arg(::getpid()).arg(++s_counter);
    listener->broadcastHandler = std::move(handler);
    return AddListener(std::move(listener));
}

bool CWindowEndpoint::AddListener(std::unique_ptr<Listener> listener)
{
    listener->fd = BindListening(listener->path);
    if (listener->fd < 0)
        return false;
    Listener* pListener = listener.get();
    pListener->pNotifier = new QSocketNotifier(pListener->fd, QSocketNotifier::Read);
    connect(pListener->pNotifier, &QSocketNotifier::activated, this,
            [this, pListener] { OnReadable(pListener); });
    {
        std::lock_guard lock(g_localMutex);
        g_local[pListener->path] = this;
    }
    m_listeners.push_back(std::move(listener));
    return true;
}

void CWindowEndpoint::OnReadable(Listener* pListener)
{
    // The handler may delete this endpoint; the guard notices.
    const QPointer<CWindowEndpoint> guard(this);
    for (;;) {
        const int client = ::accept4(pListener->fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        // A request is read in one go: the sender has written it whole.
        char header[kHeaderSize];
        std::int64_t result = 0;
        QByteArray data;
        bool bRead = ReadExactly(client, header, sizeof(header), kServeTimeoutMs);
        const auto message = qFromBigEndian<std::uint32_t>(header);
        const auto wParam = qFromBigEndian<std::uint64_t>(header + 4);
        const auto size = qFromBigEndian<std::uint32_t>(header + 12);
        if (bRead && size <= kMaxData) {
            data.resize(size);
            bRead = ReadExactly(client, data.data(), size, kServeTimeoutMs);
        } else {
            bRead = false;
        }
        if (bRead && pListener->kind == Kind::Window && pListener->handler)
            result = pListener->handler(message, wParam, data);
        char answer[8];
        qToBigEndian(result, answer);
        WriteAll(client, answer, sizeof(answer), kServeTimeoutMs);
        ::close(client);
        // A broadcast is posted: the sender has its answer before it is handled.
        if (bRead && pListener->kind == Kind::Broadcast && message == kBroadcastMessage &&
            data.size() == 8 && pListener->broadcastHandler)
            pListener->broadcastHandler(wParam, qFromBigEndian<std::int64_t>(data.constData()));
        if (!guard)
            return;
    }
}

bool CWindowEndpoint::Send(const QString& className, std::uint32_t message, std::uint64_t wParam,
                           const QByteArray& data, std::int64_t* pResult, int timeoutMs)
{
    const QString path = SocketPath(className);
    {
        std::unique_lock lock(g_localMutex);
        const auto found = g_local.find(path);
        if (found != g_local.end() && found->second->thread() == QThread::currentThread()) {
            CWindowEndpoint* pEndpoint = found->second;
            lock.unlock();
            for (const auto& listener : pEndpoint->m_listeners) {
                if (listener->path == path) {
                    const std::int64_t result =
                        listener->handler ? listener->handler(message, wParam, data) : 0;
                    if (pResult)
                        *pResult = result;
                    return true;
                }
            }
            return false;
        }
    }
    const int fd = ConnectTo(path);
    return fd >= 0 && Exchange(fd, message, wParam, data, pResult, timeoutMs);
}

bool CWindowEndpoint::Exists(const QString& className)
{
    {
        std::lock_guard lock(g_localMutex);
        if (g_local.count(SocketPath(className)))
            return true;
    }
    const int fd = ConnectTo(SocketPath(className));
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

int CWindowEndpoint::Broadcast(const QString& messageName, std::uint64_t wParam,
                               std::int64_t lParam)
{
    const QString folder = BroadcastFolder(messageName);
    QByteArray data(8, Qt::Uninitialized);
    qToBigEndian(lParam, data.data());
    int delivered = 0;
    const QStringList names = QDir(folder).entryList(QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        CWindowEndpoint* pLocal = nullptr;
        {
            std::lock_guard lock(g_localMutex);
            const auto found = g_local.find(path);
            if (found != g_local.end() && found->second->thread() == QThread::currentThread())
                pLocal = found->second;
        }
        if (pLocal) {
            // Posted to our own event loop, as a broadcast would be.
            QPointer<CWindowEndpoint> guard(pLocal);
            QMetaObject::invokeMethod(
                pLocal,
                [guard, path, wParam, lParam] {
                    if (!guard)
                        return;
                    for (const auto& listener : guard->m_listeners)
                        if (listener->path == path && listener->broadcastHandler)
                            listener->broadcastHandler(wParam, lParam);
                },
                Qt::QueuedConnection);
            ++delivered;
            continue;
        }
        const int fd = ConnectTo(path);
        if (fd < 0) {
            if (errno == ECONNREFUSED || errno == ENOENT)
                ::unlink(QFile::encodeName(path).constData()); // its listener died
            continue;
        }
        if (Exchange(fd, kBroadcastMessage, wParam, data, nullptr, 2000))
            ++delivered;
    }
    return delivered;
}
