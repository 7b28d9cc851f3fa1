#pragma once

// A window's endpoint, found by its window-class name: the running program
// listens on a per-user local socket named after its main window's class;
// another process "finds the window" by connecting to it and sends it
// synchronous requests, each answered before the sender goes on. A request
// is {message, wParam, bytes}; the answer is a 64-bit result.
//
// Broadcasts reach every endpoint of the user that listens for a message
// name, in any process; the sender does not wait for them to be handled
// (a posted message).
//
// Plain Unix-domain sockets served through the event loop, so every layer
// and every program of the suite can use it with QtCore alone.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

// Requests besides the window messages other instances send (WM_COPYDATA).
inline constexpr std::uint32_t ENDPOINT_QUERY_STATE = 0x10000; // bit 0 visible, bit 1 minimized
inline constexpr std::uint32_t ENDPOINT_RESTORE = 0x10001;     // restore if minimized
inline constexpr std::uint32_t ENDPOINT_FOREGROUND = 0x10002;  // raise and activate
inline constexpr std::uint32_t WM_COPYDATA_MSG = 0x004A;

class CWindowEndpoint : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<std::int64_t(std::uint32_t message, std::uint64_t wParam,
                                               const QByteArray& data)>;
    using BroadcastHandler = std::function<void(std::uint64_t wParam, std::int64_t lParam)>;

    explicit CWindowEndpoint(QObject* parent = nullptr);
    ~CWindowEndpoint() override;

    // Starts listening under the class name; a stale socket left by a
    // crashed holder is removed. False when it cannot listen (another live
    // holder answers there, or no socket can be made).
    bool Listen(const QString& className, Handler handler);

    // Starts receiving the broadcasts of a message name (one name per call;
    // an endpoint may listen for several).
    bool ListenForBroadcast(const QString& messageName, BroadcastHandler handler);

    // The socket path of a class name (per user).
    static QString SocketPath(const QString& className);

    // Sends one request to the window of that class and waits for the
    // answer; false when no such window answers within the timeout.
    static bool Send(const QString& className, std::uint32_t message, std::uint64_t wParam,
                     const QByteArray& data, std::int64_t* pResult, int timeoutMs = 30000);

    // True when a window of that class answers (the "find window" test).
    static bool Exists(const QString& className);

    // Delivers {wParam, lParam} to every endpoint listening for the message
    // name and returns how many took it. Listeners that died are cleaned up.
    static int Broadcast(const QString& messageName, std::uint64_t wParam, std::int64_t lParam);

private:
    struct Listener;
    bool AddListener(std::unique_ptr<Listener> listener);
    void OnReadable(Listener* pListener);

    std::vector<std::unique_ptr<Listener>> m_listeners;
};
