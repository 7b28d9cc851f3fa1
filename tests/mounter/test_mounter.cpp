// Fenmount against a stand-in udisks2 on a private bus.

#include "FileBytes.h"
#include "LangResources.h"
#include "MockUDisks.h"
#include "ModalAnswerer.h"
#include "MounterApp.h"
#include "MounterWnd.h"
#include "NamedMutex.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "SuiteNames.h"
#include "TempSettings.h"
#include "WidgetHelpers.h"
#include "WindowEndpoint.h"

#include <QFileInfo>
#include <QProcess>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class Mounter : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Sockets and the program's mutex in folders of this run alone.
        s_pPrivate = new TempSettings;
        const QString run = s_pPrivate->Path() + u"/run"_s;
        QDir().mkpath(run);
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        s_pPrivate->Set("XDG_RUNTIME_DIR", run);
        SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
        s_resources.LoadFile(QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/Fenmount.lang"));
        SetLangResources(&s_resources);
    }
    static void TearDownTestSuite()
    {
        SetLangResources(nullptr);
        SetProgramFolderForTesting(QString());
        delete s_pPrivate;
    }
    void SetUp() override { StartBus(true); }
    void StartBus(bool bService)
    {
        m_pUDisks = std::make_unique<MockUDisks>();
        const QString error = m_pUDisks->Start(bService);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_pUDisks->Address().toUtf8());
    }
    void TearDown() override { qunsetenv("DBUS_SYSTEM_BUS_ADDRESS"); }

    std::unique_ptr<CMounterWnd> NewWindow()
    {
        auto wnd = std::make_unique<CMounterWnd>();
        wnd->show();
        return wnd;
    }
    // 64 KiB with a recognisable start, and a partition table's mark.
    QString MakeImage(const QString& name, bool bPartitioned = false)
    {
        QByteArray data(64 * 1024, '\0');
        for (int i = 0; i < 16; ++i)
            data[i] = char('A' + i + name.size());
        if (bPartitioned) {
            data[510] = char(0x55);
            data[511] = char(0xAA);
        }
        const QString path = m_images.filePath(name);
        EXPECT_TRUE(WriteBytes(path, data));
        return path;
    }
    static bool Settled(CMounterWnd& wnd, std::size_t count)
    {
        return WaitFor([&] { return !wnd.IsBusy() && wnd.Mounted().size() == count; });
    }
    QStringList Listed(CMounterWnd& wnd)
    {
        QStringList rows;
        for (int i = 0; i < wnd.List()->topLevelItemCount(); ++i)
            rows << wnd.List()->topLevelItem(i)->text(0) + u' ' +
                        wnd.List()->topLevelItem(i)->text(1);
        return rows;
    }

    static TempSettings* s_pPrivate;
    static CLangResources s_resources;
    std::unique_ptr<MockUDisks> m_pUDisks;
    QTemporaryDir m_images;
    FakeXdgOpen m_xdgOpen;
};

TempSettings* Mounter::s_pPrivate = nullptr;
CLangResources Mounter::s_resources;

struct ImageCase
{
    const char* name;
    bool bPartitioned;
    const char* fileSystem; // the device mounted
};

class MountImage : public Mounter, public ::testing::WithParamInterface<ImageCase>
{
};

TEST_P(MountImage, ReadOnlyThenUnmountGivesTheLoopDeviceBack)
{
    const ImageCase& c = GetParam();
    const QString image = MakeImage(QString::fromUtf8(c.name), c.bPartitioned);
    const QString fs = QString::fromUtf8(c.fileSystem);
    auto wnd = NewWindow();
    {
        ModalAnswerer answerer({ChooseFile(image)});
        Click(wnd->MountButton());
        ASSERT_TRUE(Settled(*wnd, 1));
    }

    // A read-only loop device on a read-only descriptor, then the (partition's) file system.
    EXPECT_EQ(m_pUDisks->Detail(u"LoopSetup"_s),
              image + u" read-only "_s + QString::fromLatin1(ReadBytes(image).left(16).toHex()) +
                  u" read-only=Boolean:True"_s);
    EXPECT_EQ(m_pUDisks->Detail(u"Mount"_s), u"ro"_s);

    // Listed, and its folder opened in the file manager.
    const QString folder = m_pUDisks->MountRoot() + u'/' + fs;
    EXPECT_EQ(Listed(*wnd), QStringList{QFileInfo(image).fileName() + u' ' + folder});
    EXPECT_TRUE(WaitFor([&] { return !m_xdgOpen.Opened().isEmpty(); }));
    EXPECT_EQ(m_xdgOpen.Opened(), QStringList{folder});

    Click(wnd->UnmountButton());
    ASSERT_TRUE(Settled(*wnd, 0));
    EXPECT_EQ(m_pUDisks->Journal(), (QStringList{u"Manager LoopSetup"_s, fs + u" Mount"_s,
                                                 fs + u" Unmount"_s, u"loop0 Delete"_s}));
    EXPECT_EQ(Listed(*wnd), QStringList());
    EXPECT_TRUE(wnd->isVisible()) << "started without the viewer's switch, it stays open";
}

INSTANTIATE_TEST_SUITE_P(Images, MountImage,
                         ::testing::Values(ImageCase{"plain.iso", false, "loop0"},
                                           ImageCase{"HYBRID.ISO", true, "loop0p1"}),
                         [](const auto& info) {
                             return info.param.bPartitioned ? "Hybrid" : "Plain";
                         });

// Closing unmounts everything; while one cannot be unmounted the window stays and says why.
TEST_F(Mounter, ClosingUnmountsEverythingOrStaysAndSaysWhy)
{
    auto wnd = NewWindow();
    wnd->MountImage(MakeImage(u"one.iso"_s));
    ASSERT_TRUE(Settled(*wnd, 1));
    wnd->MountImage(MakeImage(u"two.iso"_s));
    ASSERT_TRUE(Settled(*wnd, 2));
    m_pUDisks->FailNext(u"Unmount"_s, u"org.freedesktop.UDisks2.Error.DeviceBusy"_s,
                        u"target is busy"_s);
    {
        ModalAnswerer answerer({ClickOk()});
        EXPECT_FALSE(wnd->close());
        ASSERT_EQ(answerer.m_texts.size(), 1);
        EXPECT_TRUE(answerer.m_texts[0].contains(u"two.iso: target is busy"_s)) << answerer.m_texts;
    }
    EXPECT_TRUE(wnd->isVisible());
    EXPECT_EQ(Listed(*wnd), QStringList{u"two.iso "_s + m_pUDisks->MountRoot() + u"/loop1"_s});

    EXPECT_TRUE(wnd->close());
    EXPECT_EQ(m_pUDisks->Journal().mid(4),
              (QStringList{u"loop1 Unmount"_s, u"loop0 Unmount"_s, u"loop0 Delete"_s,
                           u"loop1 Unmount"_s, u"loop1 Delete"_s}));
    EXPECT_FALSE(wnd->isVisible());
}

TEST_F(Mounter, InteropModeEndsOnceTheImageIsUnmounted)
{
    const QString image = MakeImage(u"viewer.iso"_s);
    const CMounterArgs args = ParseMounterArgs({image, MOUNTER_INTEROP_SWITCH});
    auto instance = CMounterInstance::Start(args);
    ASSERT_NE(instance, nullptr);
    CMounterWnd& wnd = *instance->Window();
    ASSERT_TRUE(Settled(wnd, 1));
    EXPECT_TRUE(wnd.isVisible());
    EXPECT_TRUE(wnd.StatusText().endsWith(LoadResString(30231))) << wnd.StatusText();

    Click(wnd.UnmountButton());
    EXPECT_TRUE(WaitFor([&] { return !wnd.isVisible(); }));
    EXPECT_EQ(m_pUDisks->Journal(), (QStringList{u"Manager LoopSetup"_s, u"loop0 Mount"_s,
                                                 u"loop0 Unmount"_s, u"loop0 Delete"_s}));
}

struct FaultCase
{
    const char* name;
    const char* failing; // "bus", "udisks2", or the udisks2 method that refuses
    int nMessageId;
    QStringList journal; // the udisks2 calls made, in order
};

class Failure : public Mounter, public ::testing::WithParamInterface<FaultCase>
{
protected:
    void SetUp() override
    {
        if (Failing() != u"bus")
            StartBus(Failing() != u"udisks2");
    }
    QString Failing() const { return QLatin1String(GetParam().failing); }
};

const QString kUDisksText = u"Not authorized to perform operation"_s;
const QString kUDisksError = u"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"_s;

TEST_P(Failure, IsShownClearlyAndLeavesNothingMounted)
{
    const FaultCase& c = GetParam();
    const bool bRefused = Failing() != u"bus" && Failing() != u"udisks2";
    if (Failing() == u"bus")
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                QFile::encodeName(u"unix:path="_s + m_images.filePath(u"no-bus"_s)));
    else if (bRefused)
        m_pUDisks->FailNext(Failing(), kUDisksError, kUDisksText);
    const QString image = MakeImage(u"refused.iso"_s);

    auto wnd = NewWindow();
    ModalAnswerer answerer({ChooseFile(image), ClickOk()});
    Click(wnd->MountButton());
    ASSERT_TRUE(WaitFor([&] { return answerer.m_texts.size() == 1 && !wnd->IsBusy(); }));

    const QString text = answerer.m_texts[0];
    if (!bRefused) {
        EXPECT_EQ(text, LoadResString(c.nMessageId));
    } else {
        EXPECT_TRUE(
            text.startsWith(FormatResText(LoadResString(c.nMessageId), {u"refused.iso"_s})) &&
            text.contains(kUDisksText) && text.contains(kUDisksError))
            << text;
        // A loop device given back is asked for after the failure is known.
        EXPECT_TRUE(WaitFor([&] { return m_pUDisks->Journal() == c.journal; }))
            << m_pUDisks->Journal();
    }
    EXPECT_EQ(Listed(*wnd), QStringList());
    EXPECT_TRUE(wnd->MountButton()->isEnabled());
    EXPECT_TRUE(m_xdgOpen.Opened().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, Failure,
    ::testing::Values(
        FaultCase{"NoBus", "bus", IDS_FM_NO_BUS, {}},
        FaultCase{"NoUDisks", "udisks2", IDS_FM_NO_SERVICE, {}},
        FaultCase{"LoopSetupRefused", "LoopSetup", IDS_FM_MOUNT_REFUSED, {u"Manager LoopSetup"_s}},
        // The loop device set up for the mount is given back.
        FaultCase{"MountRefused",
                  "Mount",
                  IDS_FM_MOUNT_REFUSED,
                  {u"Manager LoopSetup"_s, u"loop0 Mount"_s, u"loop0 Delete"_s}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Mounter, SecondStartHandsOverToTheRunningCopy)
{
    auto first = CMounterInstance::Start(CMounterArgs{});
    ASSERT_NE(first, nullptr);
    CMounterWnd& wnd = *first->Window();
    wnd.showMinimized();
    std::int64_t state = 0;
    ASSERT_TRUE(CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_QUERY_STATE, 0, {}, &state));
    EXPECT_EQ(state, 3) << "visible and minimized";

    const QString image = MakeImage(u"second.iso"_s);
    EXPECT_EQ(CMounterInstance::Start(ParseMounterArgs({image})), nullptr);
    EXPECT_TRUE(WaitFor([&] { return wnd.isVisible() && !wnd.isMinimized(); }));
    ASSERT_TRUE(Settled(wnd, 1)) << "the image goes to the running copy";
    EXPECT_EQ(wnd.Mounted().front().strImage, image);
}

// A lock holder that answers nothing: the user is asked, and may start this one anyway.
TEST_F(Mounter, ALockHolderThatDoesNotAnswerIsToldAndCanBePassed)
{
    CNamedMutex::Result held = CNamedMutex::Result::Failed;
    const auto silent = CNamedMutex::Create(MOUNTER_MUTEX_NAME, &held);
    ASSERT_EQ(held, CNamedMutex::Result::Created);
    for (const bool bStart : {false, true}) {
        ModalAnswerer answerer({ClickButton(!bStart)});
        auto instance = CMounterInstance::Start(CMounterArgs{});
        EXPECT_EQ(answerer.Handled(), 1);
        ASSERT_EQ(answerer.m_texts.size(), 1u);
        EXPECT_EQ(answerer.m_texts[0], LoadResString(30230));
        EXPECT_EQ(instance != nullptr, bStart);
    }
}

} // namespace
