#pragma once

// A window's endpoint, found by its window-class name: the running
// program listens on a per-user local socket named after its main window's
// class; another process "finds the window" by connecting to it and sends
// it synchronous requests, each answered before the sender goes on.
// A request is {message, wParam, bytes}; the answer is a 64-bit result.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class QLocalServer;

// Requests besides the window messages other instances send (WM_COPYDATA).
inline constexpr std::uint32_t ENDPOINT_QUERY_STATE = 0x10000; // bit 0 visible, bit 1 minimized
inline constexpr std::uint32_t ENDPOINT_RESTORE = 0x10001;
inline constexpr std::uint32_t ENDPOINT_FOREGROUND = 0x10002;
inline constexpr std::uint32_t WM_COPYDATA_MSG = 0x004A;

class CWindowEndpoint : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<std::int64_t(std::uint32_t message, std::uint64_t wParam,
                                               const QByteArray& data)>;

    explicit CWindowEndpoint(QObject* parent = nullptr);
    ~CWindowEndpoint() override;

    // Starts listening under the class name; a stale socket left by a
    // crashed holder is removed. False when it cannot listen.
    bool Listen(const QString& className, Handler handler);

    // The socket path of a class name (per user).
    static QString SocketPath(const QString& className);

    // Sends one request to the window of that class and waits for the
    // answer; false when no such window answers within the timeout.
    static bool Send(const QString& className, std::uint32_t message, std::uint64_t wParam,
                     const QByteArray& data, std::int64_t* pResult, int timeoutMs = 30000);

private:
    void OnConnection();

    QLocalServer* m_pServer = nullptr;
    Handler m_handler;
};
