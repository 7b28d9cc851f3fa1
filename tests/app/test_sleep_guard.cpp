// Sleep and shutdown during an extraction, against python3-dbusmock's login
// manager on a private bus.

#include "AppFixtures.h"
#include "PrivateBus.h"
#include "ProgressDlg.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace {

constexpr int IDS_SLEEP_LOCK_REASON = 670;

const QString kLogin = u"org.freedesktop.login1"_s;
const QString kLoginPath = u"/org/freedesktop/login1"_s;
const QString kManager = u"org.freedesktop.login1.Manager"_s;

class MockLogind : public PrivateBus
{
public:
    MockLogind() : PrivateBus(u"sleep-guard-test"_s) {}
    // Empty when the bus and the mock came up; else what went wrong.
    QString Start()
    {
        const QString error = StartBus();
        return error.isEmpty() ? StartMock({u"--template"_s, u"logind"_s}, kLogin) : error;
    }
    // The locks the login manager holds: what, who, why, mode each.
    QList<QStringList> Inhibitors()
    {
        const QDBusMessage reply = Bus().call(
            QDBusMessage::createMethodCall(kLogin, kLoginPath, kManager, u"ListInhibitors"_s));
        QList<QStringList> locks;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            ADD_FAILURE() << reply.errorMessage().toStdString();
            return locks;
        }
        const auto arg = reply.arguments().front().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            arg.beginStructure();
            arg >> what >> who >> why >> mode >> uid >> pid;
            arg.endStructure();
            locks << QStringList{what, who, why, mode};
        }
        arg.endArray();
        return locks;
    }

    // Announces PrepareForSleep or PrepareForShutdown.
    void Announce(const QString& signal)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kLogin, kLoginPath, u"org.freedesktop.DBus.Mock"_s, u"EmitSignal"_s);
        call << kManager << signal << u"b"_s
             << QVariant(QVariantList{QVariant::fromValue(QDBusVariant(true))});
        const QDBusMessage reply = Bus().call(call);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
};

class SleepGuard : public Frame
{
protected:
    static void SetUpTestSuite()
    {
        s_pLogind = new MockLogind;
        s_strError = s_pLogind->Start();
    }
    static void TearDownTestSuite() { delete s_pLogind; }
    void SetUp() override
    {
        ASSERT_TRUE(s_strError.isEmpty()) << s_strError.toStdString();
        m_settings.Set("DBUS_SYSTEM_BUS_ADDRESS", s_pLogind->Address());
        Frame::SetUp();
    }
    // Extracts two big files into `target` through Ctrl+E, calling `during`
    // at every turn of the engine's message pump while the progress shows.
    void ExtractDuring(const QString& target, const std::function<void(int turn)>& during)
    {
        OpenScript(u"file A.BIN 20000000\nfile B.BIN 20000000\n"_s);
        SelectRows({u"A.BIN"_s, u"B.BIN"_s});
        int turn = 0;
        g_pImageEngine->SetMessagePump([&] {
            QCoreApplication::processEvents();
            if (m_frame->ProgressDialog()->isVisible() && g_pImageEngine->IsExtracting())
                during(++turn);
        });
        List()->ListCtrl()->setFocus();
        EXPECT_EQ(ExtractTo(target)->Handled(), 1);
        g_pImageEngine->SetMessagePump([] { QCoreApplication::processEvents(); });
        EXPECT_GT(turn, 0) << "the extraction never ran";
    }
    static bool LockGone()
    {
        return WaitFor([] { return s_pLogind->Inhibitors().isEmpty(); });
    }

    static inline MockLogind* s_pLogind = nullptr;
    static inline QString s_strError;
};

// One delay lock for the whole command, though every file begins anew,
// given back at the end.
TEST_F(SleepGuard, HoldsOneDelayLockWhileExtracting)
{
    QList<QList<QStringList>> seen;
    ExtractDuring(m_out.path(), [&](int turn) {
        if (turn % 10 == 1)
            seen << s_pLogind->Inhibitors();
    });
    ASSERT_FALSE(seen.isEmpty());
    for (const auto& locks : seen)
        ASSERT_EQ(locks, (QList<QStringList>{{u"sleep:shutdown"_s, u"Lantern"_s,
                                              LoadResString(IDS_SLEEP_LOCK_REASON), u"delay"_s}}));
    EXPECT_TRUE(LockGone());
    EXPECT_EQ(QFileInfo(m_out.filePath(u"B.BIN"_s)).size(), 20000000);
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
}

// Sleep, shutdown and the end of the session cancel the extraction; the
// lock is kept until the partial file is removed, and taken anew next time.
TEST_F(SleepGuard, NoticesCancelTheExtractionBeforeTheLockGoes)
{
    for (const QString& notice : {u"PrepareForSleep"_s, u"PrepareForShutdown"_s, u"session"_s}) {
        SCOPED_TRACE(notice.toStdString());
        QTemporaryDir out;
        bool bCancelled = false, bSessionMayEnd = false;
        qsizetype locksAtCancel = -1;
        ExtractDuring(out.path(), [&](int turn) {
            if (turn != 20)
                return;
            if (notice == u"session")
                bSessionMayEnd = m_frame->OnQueryEndSession();
            else
                s_pLogind->Announce(notice);
            bCancelled = WaitFor([] { return g_pImageEngine->IsCancelled(); });
            locksAtCancel = s_pLogind->Inhibitors().size();
        });
        EXPECT_TRUE(bCancelled);
        EXPECT_EQ(bSessionMayEnd, notice == u"session");
        EXPECT_EQ(locksAtCancel, 1);
        EXPECT_TRUE(QDir(out.path()).isEmpty()) << "neither a partial file nor the next one";
        EXPECT_TRUE(LockGone());
        EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
        EXPECT_TRUE(m_frame->isEnabled());
    }
}

} // namespace
