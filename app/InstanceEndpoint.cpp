#include "InstanceEndpoint.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr std::uint32_t kMaxData = 1u << 20;

// Reads exactly `size` bytes, waiting as needed.
bool ReadExactly(QLocalSocket& socket, qint64 size, QByteArray* out, int timeoutMs)
{
    out->clear();
    while (out->size() < size) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(timeoutMs))
            return false;
        out->append(socket.read(size - out->size()));
    }
    return true;
}

QByteArray Frame(std::uint32_t message, std::uint64_t wParam, const QByteArray& data)
{
    QByteArray frame;
    QDataStream stream(&frame, QIODevice::WriteOnly);
    stream << quint32(message) << quint64(wParam) << quint32(data.size());
    frame.append(data);
    return frame;
}

} // namespace

CWindowEndpoint::CWindowEndpoint(QObject* parent) : QObject(parent) {}

CWindowEndpoint::~CWindowEndpoint()
{
    if (m_pServer)
        m_pServer->close();
}

QString CWindowEndpoint::SocketPath(const QString& className)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/lantern-%1").arg(::getuid());
    QDir().mkpath(folder);
    const QByteArray hash =
        QCryptographicHash::hash(className.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return folder + QStringLiteral("/lantern-window-") + QString::fromLatin1(hash);
}

bool CWindowEndpoint::Listen(const QString& className, Handler handler)
{
    m_handler = std::move(handler);
    const QString path = SocketPath(className);
    delete m_pServer;
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_pServer->listen(path)) {
        // A socket left by a holder that died: nobody answers on it.
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500))
            return false;
        QLocalServer::removeServer(path);
        if (!m_pServer->listen(path))
            return false;
    }
    connect(m_pServer, &QLocalServer::newConnection, this, &CWindowEndpoint::OnConnection);
    return true;
}

void CWindowEndpoint::OnConnection()
{
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        // A request is read in one go: the sender has written it whole.
        QByteArray header;
        std::int64_t result = 0;
        if (ReadExactly(*socket, 16, &header, 5000)) {
            QDataStream stream(header);
            quint32 message = 0, size = 0;
            quint64 wParam = 0;
            stream >> message >> wParam >> size;
            QByteArray data;
            if (size <= kMaxData && ReadExactly(*socket, size, &data, 5000) && m_handler)
                result = m_handler(message, wParam, data);
        }
        QByteArray answer;
        QDataStream out(&answer, QIODevice::WriteOnly);
        out << qint64(result);
        socket->write(answer);
        socket->flush();
        socket->waitForBytesWritten(5000);
        socket->disconnectFromServer();
        socket->deleteLater();
    }
}

bool CWindowEndpoint::Send(const QString& className, std::uint32_t message, std::uint64_t wParam,
                           const QByteArray& data, std::int64_t* pResult, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(SocketPath(className));
    if (!socket.waitForConnected(2000))
        return false;
    socket.write(Frame(message, wParam, data));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    if (!ReadExactly(socket, 8, &answer, timeoutMs))
        return false;
    QDataStream in(answer);
    qint64 result = 0;
    in >> result;
    if (pResult)
        *pResult = result;
    return true;
}
