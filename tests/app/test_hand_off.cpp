// Burn and Mount hand the open image to the suite's other programs, played
// here by a recording double installed under their names.

#include "AppFixtures.h"
#include "NamedMutex.h"
#include "RegValues.h"
#include "StoredSettings.h"
#include "SuiteNames.h"
#include "TreeFixtures.h"
#include "WindowEndpoint.h"

#include <QProcess>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Records the frame's steps aside and back, in order.
struct FrameSteps : QObject
{
    QStringList m_steps;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        const QString step = type == QEvent::Hide                          ? u"hide"_s
                             : type == QEvent::Show                        ? u"show"_s
                             : type != QEvent::EnabledChange               ? QString()
                             : static_cast<QWidget*>(watched)->isEnabled() ? u"enabled"_s
                                                                           : u"disabled"_s;
        if (!step.isEmpty() && m_steps.value(m_steps.size() - 1) != step)
            m_steps << step;
        return false;
    }
    // Minimized and hidden, closed to input, then back (the engine's own
    // steps may come around them).
    bool AsideAndBack() const
    {
        return m_steps.join(u',').contains(u"hide,disabled,enabled,show"_s);
    }
};

class HandOff : public Frame
{
protected:
    void SetUp() override
    {
        Frame::SetUp();
        m_frame->installEventFilter(&m_frameSteps);
        ::chmod(QFile::encodeName(m_work.path()).constData(), 0700);
        m_settings.Set("XDG_RUNTIME_DIR", m_work.path());
        m_settings.Set("SUITE_DOUBLE_LOG", Log());
        m_suite = m_work.filePath(u"suite"_s);
        QDir().mkpath(m_suite);
        InstallDoubles();
        StringReg install(HKEY_LOCAL_MACHINE, SUITE_KEY + u"\\Lantern"_s, u"InstallPath"_s);
        install.Set(m_suite);
        ASSERT_TRUE(install.Write());

        m_tree = m_work.filePath(u"tree"_s);
        m_content = FakeBytes(u"data"_s, 100000);
        ASSERT_TRUE(WriteBytes(m_tree + u"/Docs/data.bin"_s, m_content));
        m_image = m_work.filePath(u"disc.iso"_s);
        ASSERT_TRUE(MakeIso(m_tree, m_image));
    }
    void TearDown() override
    {
        StopRunning();
        Frame::TearDown();
    }
    void StopRunning()
    {
        for (auto& process : m_running)
            process->kill(), process->waitForFinished();
        m_running.clear();
    }
    // The double under the names of both programs (again, where removed).
    void InstallDoubles()
    {
        for (const QString& name : {SUITE_PROGRAM_BURNER, SUITE_PROGRAM_VIRTUAL_DRIVE})
            QFile::copy(QStringLiteral(LANTERN_SUITE_DOUBLE), Program(name));
        ASSERT_TRUE(QFileInfo(Program(SUITE_PROGRAM_BURNER)).isExecutable());
    }

    QString Log() const { return m_work.filePath(u"double.log"_s); }
    QStringList LogLines() const
    {
        return QString::fromUtf8(ReadBytes(Log())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList Starts() const { return LogLines().filter(QRegularExpression(u"^start\t"_s)); }
    QString Program(const QString& name) const { return m_suite + QLatin1Char('/') + name; }

    // Runs a command from its menu item, answering `boxes` message boxes; their texts.
    QStringList Run(int id, int boxes = 0)
    {
        ModalAnswerer answerer(
            std::vector<ModalAnswerer::Step>(static_cast<std::size_t>(boxes), ClickOk()));
        Trigger(id);
        EXPECT_EQ(answerer.Forced(), 0);
        return answerer.m_texts;
    }
    bool Enabled(int id) { return m_frame->QueryCommand(id).bEnabled; }
    // Starts the double under a name as a user would have, once it is set up.
    void StartRunning(const QString& name)
    {
        auto process = std::make_unique<QProcess>();
        process->start(Program(name), {});
        ASSERT_TRUE(process->waitForStarted());
        ASSERT_TRUE(WaitFor([this] { return LogLines().contains(u"ready"_s); }, 2000));
        m_running.push_back(std::move(process));
    }
    // The data file extracted through the list's Extract into a new folder.
    QByteArray ExtractData()
    {
        SelectRows({u"Docs"_s});
        const QString target = m_work.filePath(u"out%1"_s.arg(++m_nOut));
        QDir().mkpath(target);
        ModalAnswerer answerer({ChooseFile(target)});
        List()->OnExtract();
        return ReadBytes(target + u"/Docs/data.bin"_s);
    }

    QTemporaryDir m_work;
    QString m_suite, m_tree, m_image;
    QByteArray m_content;
    QString ModulePath() const override { return RealModulePath(); }
    FrameSteps m_frameSteps;
    std::vector<std::unique_ptr<QProcess>> m_running;
    int m_nOut = 0;
};

// Every refusal shows its message and starts nothing.
TEST_F(HandOff, RefusalsStartNothing)
{
    const QString rdf = m_work.filePath(u"disc.rdf"_s);
    const QString cue = m_work.filePath(u"disc.cue"_s);
    struct Case
    {
        const char* name;
        int command;
        std::function<void()> arrange;
        QString message;
        bool bViewsCleared;
    };
    const Case cases[] = {
        {"iso gone", ID_BURN_IMAGE, [this] { QFile::remove(m_image); },
         FormatResText(m_res.String(669), {m_image}), false},
        {"rdf gone", ID_MOUNT_IMAGE,
         [&] {
             QFile::copy(m_image, rdf);
             Open(rdf);
             QFile::remove(rdf);
         },
         FormatResText(m_res.String(7055), {rdf}), true},
        {"no burner", ID_BURN_IMAGE, [this] { QFile::remove(Program(SUITE_PROGRAM_BURNER)); },
         m_res.String(652), false},
        {"no mounter", ID_MOUNT_IMAGE,
         [this] { QFile::remove(Program(SUITE_PROGRAM_VIRTUAL_DRIVE)); },
         FormatResText(m_res.String(138), {u"Fenmount"_s}), false},
        {"burner running", ID_BURN_IMAGE, [this] { StartRunning(SUITE_PROGRAM_BURNER); },
         m_res.String(653), false},
        // A cue sheet would be burnt as its text: the sheet is refused.
        {"cue sheet", ID_BURN_IMAGE,
         [&] {
             ASSERT_TRUE(WriteBytes(cue, "FILE \"disc.iso\" BINARY\n  TRACK 01 MODE1/2048\n"
                                         "    INDEX 01 00:00:00\n"));
             Open(cue);
         },
         FormatResText(m_res.String(9333), {cue}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(Log());
        Open(m_image);
        c.arrange();
        const QStringList before = Starts();
        const QString path = List()->GetOpenImagePath();
        EXPECT_EQ(Run(c.command, 1), QStringList{c.message});
        EXPECT_EQ(Starts(), before) << "nothing started";
        EXPECT_EQ(List()->GetOpenImagePath(), path) << "the path is kept";
        EXPECT_EQ(m_doc.m_pRootItem->GetChildCount() == 0, c.bViewsCleared);
        EXPECT_EQ(m_frame->windowTitle(),
                  m_res.String(102) + (c.bViewsCleared ? QString() : u" [%1]"_s.arg(path)));
        EXPECT_TRUE(Enabled(ID_BURN_IMAGE) && Enabled(ID_MOUNT_IMAGE));
        EXPECT_TRUE(m_frame->isVisible() && m_frame->isEnabled());
        StopRunning();
        if (!QFileInfo::exists(m_image)) {
            ASSERT_TRUE(MakeIso(m_tree, m_image));
        }
        InstallDoubles();
    }
}

// The burner and a new mounter get the image (the burner free of us, the
// mounter with the switch); the window steps aside while they run, serving
// its events meanwhile, and the tree loaded before extracts afterwards.
TEST_F(HandOff, BurnAndMountStartTheirProgramAndExtractAfterwards)
{
    for (const auto& [command, start] : {std::pair{ID_BURN_IMAGE, "start\tArdent8\t%1"},
                                         {ID_MOUNT_IMAGE, "start\tFenmount\t%1\t/INTEROPMODE"}}) {
        SCOPED_TRACE(start);
        QFile::remove(Log());
        m_frameSteps.m_steps.clear();
        Open(m_image);
        const CLTDataItem* firstChild = m_doc.m_pRootItem->GetChildAt(0);
        bool bServedWhileAway = false;
        QTimer::singleShot(100, m_frame.get(), [&] {
            bServedWhileAway = !m_frame->isVisible() && !m_frame->isEnabled();
        });
        EXPECT_TRUE(Run(command).isEmpty());
        EXPECT_EQ(Starts(), QStringList{QString::fromLatin1(start).arg(m_image)});
        EXPECT_TRUE(command == ID_BURN_IMAGE ? LogLines().contains(u"image-free"_s)
                                             : bServedWhileAway)
            << LogLines();
        EXPECT_TRUE(m_frameSteps.AsideAndBack()) << m_frameSteps.m_steps;
        EXPECT_TRUE(m_frame->isVisible() && m_frame->isEnabled() && !m_frame->isMinimized());
        EXPECT_EQ(m_doc.m_pRootItem->GetChildAt(0), firstChild) << "the tree is not loaded again";
        EXPECT_EQ(ExtractData(), m_content);
        EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
    }
}

// A burner that cannot start is reported in the system's words, and the
// image stays usable; one that leaves the image unreadable drops it.
TEST_F(HandOff, BurnFailures)
{
    Open(m_image);
    QFile::setPermissions(Program(SUITE_PROGRAM_BURNER), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(Run(ID_BURN_IMAGE, 1), QStringList{QString::fromLocal8Bit(std::strerror(EACCES))});
    EXPECT_TRUE(m_frameSteps.AsideAndBack()) << m_frameSteps.m_steps;
    EXPECT_EQ(ExtractData(), m_content);

    QFile::setPermissions(Program(SUITE_PROGRAM_BURNER),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_settings.Set("SUITE_DOUBLE_DAMAGE_IMAGE", u"1"_s);
    EXPECT_EQ(Run(ID_BURN_IMAGE, 1), QStringList{m_res.String(656)});
    EXPECT_TRUE(List()->GetOpenImagePath().isEmpty() && m_doc.m_pRootItem->GetChildCount() == 0);
    EXPECT_EQ(m_frame->windowTitle(), m_res.String(102));
    EXPECT_FALSE(Enabled(ID_BURN_IMAGE) || Enabled(ID_MOUNT_IMAGE));
}

// A running mounter is brought forward and told, no second copy starts, and
// the window comes back when it ends; one without a window is not running.
TEST_F(HandOff, MountHandsOverToARunningProgram)
{
    Open(m_image);
    m_settings.Set("SUITE_DOUBLE_UNTIL_BROADCAST", u"1"_s);
    StartRunning(SUITE_PROGRAM_VIRTUAL_DRIVE);
    EXPECT_TRUE(Run(ID_MOUNT_IMAGE).isEmpty());
    EXPECT_EQ(Starts().size(), 1) << LogLines();
    EXPECT_TRUE(LogLines().contains(u"request %1"_s.arg(ENDPOINT_FOREGROUND, 0, 16)));
    EXPECT_TRUE(LogLines().contains(u"broadcast 0 0"_s)) << LogLines();
    CNamedMutex::Result result;
    EXPECT_TRUE(CNamedMutex::Create(MOUNTER_MUTEX_NAME, &result)) << "we waited for its end";
    EXPECT_TRUE(m_frameSteps.AsideAndBack()) << m_frameSteps.m_steps;

    QFile::remove(Log());
    m_settings.Set("SUITE_DOUBLE_UNTIL_BROADCAST", u"0"_s);
    m_settings.Set("SUITE_DOUBLE_NO_WINDOW", u"1"_s);
    m_settings.Set("SUITE_DOUBLE_LIFE_MS", u"5000"_s);
    StartRunning(SUITE_PROGRAM_VIRTUAL_DRIVE);
    m_settings.Set("SUITE_DOUBLE_LIFE_MS", u"200"_s);
    EXPECT_TRUE(Run(ID_MOUNT_IMAGE).isEmpty());
    EXPECT_EQ(Starts().size(), 2) << LogLines();
    EXPECT_TRUE(Starts().constLast().endsWith(u"\t/INTEROPMODE"_s));
}

// The viewer finds its companions beside it without settings written by hand.
TEST(SuitePrograms, AreFoundBesideTheViewer)
{
    if (QFileInfo::exists(u"/etc/xdg/lantern/registry.reg"_s))
        GTEST_SKIP() << "this machine has an administrator's settings file";
    TempSettings settings;
    qunsetenv("LANTERN_MACHINE_REGISTRY");
    SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
    for (const QString& name : {SUITE_PROGRAM_BURNER, SUITE_PROGRAM_VIRTUAL_DRIVE}) {
        QString path;
        EXPECT_TRUE(GetSuiteProgramPath(name, &path)) << name;
        EXPECT_EQ(
            QFileInfo(path).canonicalFilePath(),
            QFileInfo(QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/") + name).canonicalFilePath());
    }
    SetProgramFolderForTesting(QString());
}

} // namespace
