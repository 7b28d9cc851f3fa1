// Window endpoints and broadcasts, the listeners on a thread of their own so that every
// request crosses a real socket; and the event pump of long operations.

#include "EventPump.h"
#include "TempSettings.h"
#include "Wait.h"
#include "WindowEndpoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

class EndpointTest : public ::testing::Test
{
protected:
    EndpointTest() { m_anchor.moveToThread(&m_thread); }
    void SetUp() override
    {
        CoreTestApp();
        m_runtime.Set("XDG_RUNTIME_DIR", m_runtime.Path());
        ::chmod(QFile::encodeName(m_runtime.Path()).constData(), 0700);
        m_thread.start();
    }
    void TearDown() override
    {
        OnListenerThread([this](CWindowEndpoint*) { delete m_pEndpoint; });
        m_thread.quit();
        m_thread.wait();
    }
    // Runs `step` on the listening thread with its endpoint, made when first needed.
    void OnListenerThread(const std::function<void(CWindowEndpoint*)>& step)
    {
        QMetaObject::invokeMethod(
            &m_anchor,
            [&] {
                if (!m_pEndpoint)
                    m_pEndpoint = new CWindowEndpoint;
                step(m_pEndpoint);
            },
            Qt::BlockingQueuedConnection);
    }

    TempSettings m_runtime;
    QThread m_thread;
    QObject m_anchor; // lives on the listening thread, to run code there
    CWindowEndpoint* m_pEndpoint = nullptr;
};

TEST_F(EndpointTest, RequestsAreAnsweredAndAbsentWindowsAreNotFound)
{
    EXPECT_FALSE(CWindowEndpoint::Exists(u"Some Class"_s));
    std::atomic<std::uint64_t> lastWParam{0};
    OnListenerThread([&](CWindowEndpoint* p) {
        ASSERT_TRUE(p->Listen(u"Some Class"_s, [&](std::uint32_t message, std::uint64_t wParam,
                                                   const QByteArray& data) {
            lastWParam = wParam;
            return std::int64_t(message) * 1000 + data.size();
        }));
    });
    EXPECT_TRUE(CWindowEndpoint::Exists(u"Some Class"_s));
    std::int64_t result = 0;
    ASSERT_TRUE(CWindowEndpoint::Send(u"Some Class"_s, 7, 42, QByteArray(70000, 'x'), &result));
    EXPECT_EQ(result, 7 * 1000 + 70000);
    EXPECT_EQ(lastWParam.load(), 42u);
    // A second holder of the same class is refused while the first lives.
    CWindowEndpoint second;
    EXPECT_FALSE(second.Listen(u"Some Class"_s, {}));
}

TEST_F(EndpointTest, StaleSocketOfADeadHolderIsReplaced)
{
    // A socket file with nobody behind it, as a crashed holder leaves.
    const QString path = CWindowEndpoint::SocketPath(u"Crashed"_s);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), native.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    EXPECT_FALSE(CWindowEndpoint::Exists(u"Crashed"_s));
    OnListenerThread([&](CWindowEndpoint* p) {
        EXPECT_TRUE(p->Listen(u"Crashed"_s, [](auto, auto, const auto&) { return 5; }));
    });
    std::int64_t result = 0;
    EXPECT_TRUE(CWindowEndpoint::Send(u"Crashed"_s, 1, 0, {}, &result));
    EXPECT_EQ(result, 5);
}

TEST_F(EndpointTest, BroadcastReachesEveryListenerOfItsNameOnly)
{
    std::atomic<int> first{0}, second{0}, other{0};
    std::atomic<std::int64_t> lParam{0};
    OnListenerThread([&](CWindowEndpoint* p) {
        ASSERT_TRUE(p->ListenForBroadcast(u"{name}"_s, [&](std::uint64_t, std::int64_t l) {
            lParam = l;
            ++first;
        }));
        ASSERT_TRUE(p->ListenForBroadcast(u"{name}"_s, [&](auto, auto) { ++second; }));
        ASSERT_TRUE(p->ListenForBroadcast(u"{other}"_s, [&](auto, auto) { ++other; }));
    });
    EXPECT_EQ(CWindowEndpoint::Broadcast(u"{name}"_s, 0, -9), 2);
    for (int i = 0; i < 200 && (first == 0 || second == 0); ++i)
        QThread::msleep(10);
    EXPECT_EQ(first.load(), 1);
    EXPECT_EQ(second.load(), 1);
    EXPECT_EQ(other.load(), 0);
    EXPECT_EQ(lParam.load(), -9);

    // Listeners that went away are not counted, and their sockets are gone.
    OnListenerThread([&](CWindowEndpoint*) {
        delete m_pEndpoint;
        m_pEndpoint = new CWindowEndpoint;
    });
    EXPECT_EQ(CWindowEndpoint::Broadcast(u"{name}"_s, 0, 0), 0);
}

} // namespace
