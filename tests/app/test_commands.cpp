// The window's commands driven through their menu items, shortcuts and
// command bar, with every dialog they raise answered as a user would.

#include "AdtMessageBox.h"
#include "AppFixtures.h"
#include "CommandView.h"
#include "FileDialogEX.h"
#include "ModalDialogs.h"
#include "ProgressDlg.h"
#include "SkinControls.h"
#include "StoredSettings.h"
#include "TreeFixtures.h"
#include "UnixTree.h"
#include "VolumeCheck.h"

#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Clicks the answer `result` of a question box.
ModalAnswerer::Step Answer(int result)
{
    return [result](QWidget* w) {
        auto* button = w->findChild<QWidget*>(u"Button%1"_s.arg(result));
        ASSERT_NE(button, nullptr) << result << " in " << w->metaObject()->className();
        QTest::mouseClick(button, Qt::LeftButton);
    };
}

using Commands = Frame;

TEST_F(Commands, OpenTakesAnyCaseAndKeepsTheImageOnAWrongExtension)
{
    ScriptedImage first(u"label FIRST\nfile A.TXT 3\n"_s, u"first"_s);
    // A capital extension is an image too.
    const QString capital = first.Folder() + u"/DISC.ISO"_s;
    ASSERT_TRUE(WriteBytes(capital, "label CAPS\nfile B.TXT 4\n"));
    SetImagePath(first.Folder());

    int modalWhileUp = 0;
    QStringList shown, filters;
    ModalAnswerer answerer({[&](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        modalWhileUp = GetOpenModalDialogCount();
        shown = {dlg->windowTitle(), dlg->directory().absolutePath()};
        filters = dlg->nameFilters();
        ChooseFile(capital)(w);
    }});
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(answerer.Handled(), 1);
    EXPECT_EQ(shown, (QStringList{LoadResString(61440), first.Folder()}));
    EXPECT_TRUE(modalWhileUp > 0 && GetOpenModalDialogCount() == 0);
    // The program's own kinds, then those of other disc programs.
    ASSERT_EQ(filters.size(), 2);
    for (const auto& [filter, name, bMatch] : {std::tuple{0, "x.IsO", true},
                                               {0, "x.img", false},
                                               {1, "x.IMG", true},
                                               {1, "x.Nrg", true}})
        EXPECT_EQ(QDir::match(filters[filter], QLatin1String(name)), bMatch) << name;
    EXPECT_EQ(List()->GetOpenImagePath(), capital);
    EXPECT_EQ(m_doc.m_pRootItem->m_strDisplayName, u"CAPS");
    EXPECT_EQ(m_frame->windowTitle(), LoadResString(102) + u" [%1]"_s.arg(capital));

    // Another extension: message 656, and the image stays.
    const QString other = first.Folder() + u"/notes.txt"_s;
    ASSERT_TRUE(WriteBytes(other, "file C 1\n"));
    ModalAnswerer refused({ChooseFile(other), ClickOk()});
    Trigger(ID_IMAGE_OPEN);
    EXPECT_EQ(refused.m_texts, QStringList{LoadResString(656)});
    EXPECT_EQ(refused.Forced(), 0);
    EXPECT_EQ(List()->GetOpenImagePath(), capital);
    EXPECT_EQ(m_doc.m_pRootItem->m_strDisplayName, u"CAPS");
}

// A stand-in for the desktop's opener, first on PATH, noting what it opens.
class WithOpener : public Commands
{
protected:
    void SetUp() override
    {
        Commands::SetUp();
        m_log = m_bin.filePath(u"opened.log"_s);
        const QString script = m_bin.filePath(u"xdg-open"_s);
        ASSERT_TRUE(WriteBytes(script, u"#!/bin/sh\necho \"$1\" >> '%1'\n"_s.arg(m_log).toUtf8()));
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_settings.Set("PATH", m_bin.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    }
    // What the opener was asked to open; it runs detached: give it a moment
    // (the shell creates the log before it writes the line).
    QStringList Opened() const
    {
        WaitFor([this] { return QFileInfo(m_log).size() > 0; }, 10000);
        return QString::fromUtf8(ReadBytes(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QTemporaryDir m_bin;
    QString m_log;
};

TEST_F(WithOpener, ViewCopiesOnceUntilTheCopyChanges)
{
    const ScriptedImage& image = OpenScript(u"dir D\nfile D\\NOTE.TXT 300 1700000000\n"_s);
    // View on a folder row steps into the folder.
    SelectRows({u"D"_s});
    Trigger(ID_FILE_VIEW);
    ASSERT_EQ(m_doc.m_pCurrentFolder->m_strFileName, u"D");
    CLTDataItem* note = List()->Model()->RecordAt(0);
    note->m_ftModified += 1234567; // 0.12 s past the second
    SelectRows({u"NOTE.TXT"_s});

    image.ClearLog();
    Trigger(ID_FILE_VIEW);
    Trigger(ID_FILE_VIEW);
    EXPECT_EQ(image.Count(u"openfile"_s), 1) << image.Log();
    QString copy;
    ASSERT_TRUE(GetTempFolder(&copy));
    copy += u"NOTE.TXT"_s;
    EXPECT_EQ(ReadBytes(copy), FakeBytes(u"D\\NOTE.TXT"_s, 300));
    EXPECT_TRUE(Opened().value(0).endsWith(copy)) << Opened();

    // The copy was edited: its time changed, so the next view copies again.
    ASSERT_TRUE(SetModifiedTime(copy, QDateTime::currentSecsSinceEpoch()));
    Trigger(ID_FILE_VIEW);
    EXPECT_EQ(image.Count(u"openfile"_s), 2);

    m_frame.reset();
    EXPECT_FALSE(QFileInfo::exists(copy)) << "copies go when the program ends";
}

// An opener that finds no program for the file: the user hears of it.
TEST_F(WithOpener, ViewSaysSoWhenNoProgramOpensTheFile)
{
    ASSERT_TRUE(WriteBytes(m_bin.filePath(u"xdg-open"_s), "#!/bin/sh\nexit 3\n"));
    OpenScript(u"file ODD.XYZ 5\n"_s);
    SelectRows({u"ODD.XYZ"_s});
    ModalAnswerer answerer({ClickOk()});
    Trigger(ID_FILE_VIEW);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answerer.Handled() == 1; }, 10000));
    EXPECT_TRUE(answerer.m_texts.value(0).contains(u"ODD.XYZ")) << answerer.m_texts;
}

// The list from the keyboard: Enter steps into a folder, Backspace and
// Alt+Up go back up, F3 views a file; the tree orders folders as the list.
TEST_F(WithOpener, KeyboardBrowsing)
{
    OpenScript(u"dir Docs\ndir deep\ndir Case\nfile deep\\IN.TXT 4\n"_s);
    // No message comes up (one would say why a file was not opened).
    const auto boxes = ModalAnswerer::Always(ClickOk());
    QStringList order;
    for (int i = 0; i < Tree()->topLevelItem(0)->childCount(); ++i)
        order << Tree()->topLevelItem(0)->child(i)->text(0);
    EXPECT_EQ(order, (QStringList{u"Case"_s, u"deep"_s, u"Docs"_s}));
    for (const QKeyCombination up :
         {QKeyCombination(Qt::Key_Backspace), QKeyCombination(Qt::AltModifier, Qt::Key_Up)}) {
        SelectRows({u"deep"_s});
        List()->ListCtrl()->setCurrentIndex(
            List()->ListCtrl()->selectionModel()->selectedRows().first());
        QTest::keyClick(List()->ListCtrl(), Qt::Key_Return);
        ASSERT_EQ(m_doc.m_pCurrentFolder->m_strFileName, u"deep");
        SelectRows({u"IN.TXT"_s});
        QTest::keyClick(m_frame.get(), Qt::Key_F3);
        EXPECT_FALSE(Opened().isEmpty());
        QTest::keyClick(List()->ListCtrl(), up.key(), up.keyboardModifiers());
        EXPECT_EQ(m_doc.m_pCurrentFolder, m_doc.m_pRootItem);
    }
    EXPECT_TRUE(boxes->m_texts.isEmpty()) << boxes->m_texts;
}

// Images of trees the test writes, read by the real module.
class RealImage : public WithOpener
{
protected:
    QString ModulePath() const override { return RealModulePath(); }
};

// Extract on a selection of a Unix tree: the chosen part comes out with its
// times, modes, links and hard links; the list says what a link is, and View
// follows a link inside the image and refuses one leading out of it.
TEST_F(RealImage, ExtractsASelectionAsTheTreeAndViewFollowsLinks)
{
    ScratchDir work;
    const QString tree = work.filePath(u"tree"_s);
    WriteUnixTree(tree);
    const QString iso = work.filePath(u"unix.iso"_s);
    ASSERT_TRUE(Sh(u"xorriso -as mkisofs -quiet -R -o '%1' '%2' 2>/dev/null"_s.arg(iso, tree)));
    Open(iso);

    int linkRow = 0;
    while (List()->Model()->RecordAt(linkRow)->m_strFileName != u"rel")
        ++linkRow;
    const auto cell = [&](int column, int role) {
        return List()->Model()->data(List()->Model()->index(linkRow, column), role).toString();
    };
    EXPECT_EQ(cell(SORT_COLUMN_TYPE, Qt::DisplayRole), u"Symbolic link");
    EXPECT_TRUE(cell(SORT_COLUMN_NAME, Qt::ToolTipRole).endsWith(u"plain.txt"))
        << cell(SORT_COLUMN_NAME, Qt::ToolTipRole);

    // Every row but one.
    QStringList chosen;
    for (int row = 0; row < List()->Model()->rowCount(); ++row)
        chosen << List()->Model()->RecordAt(row)->m_strFileName;
    chosen.removeOne(u"void"_s);
    SelectRows(chosen);
    const mode_t oldMask = ::umask(022);
    ModalAnswerer* answerer = ExtractTo(m_out.path());
    ::umask(oldMask);
    EXPECT_EQ(answerer->Handled(), 1);
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
    EXPECT_EQ(GetExtractPath(), m_out.path());
    TreeEntries source = ReadTree(tree);
    source.remove(u"void"_s);
    const TreeEntries out = ReadTree(m_out.path());
    EXPECT_EQ(DescribeTree(out), DescribeTree(source));
    EXPECT_EQ(HardLinkGroups(out), (std::set<QStringList>{{u"hard.txt"_s, u"ro/hard.too"_s}}));
    for (auto it = source.begin(); it != source.end(); ++it)
        EXPECT_TRUE(it->kind != 'f' || QFileInfo(m_out.filePath(it.key())).lastModified() ==
                                           QFileInfo(tree + u'/' + it.key()).lastModified())
            << it.key();
    QFile::setPermissions(m_out.filePath(u"ro"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    SelectRows({u"rel"_s});
    Trigger(ID_FILE_VIEW);
    ASSERT_EQ(Opened().size(), 1);
    EXPECT_TRUE(Opened()[0].endsWith(u"/plain.txt")) << Opened();
    ModalAnswerer refused({ClickOk()});
    SelectRows({u"abs"_s});
    Trigger(ID_FILE_VIEW);
    EXPECT_TRUE(refused.m_texts.value(0).contains(u"abs")) << refused.m_texts;
    EXPECT_EQ(Opened().size(), 1);
}

// A file that is no image is refused before the open image is let go; the
// message names the file and the reason.
TEST_F(RealImage, AFailedOpenKeepsTheImageAndSaysWhy)
{
    QTemporaryDir work;
    ASSERT_TRUE(WriteBytes(work.filePath(u"tree/a.txt"_s), "a"));
    const QString iso = work.filePath(u"good.iso"_s);
    ASSERT_TRUE(MakeIso(work.filePath(u"tree"_s), iso, {}));
    Open(iso);
    ASSERT_TRUE(WriteBytes(work.filePath(u"text.iso"_s), QByteArray(40000, 't')));
    ASSERT_TRUE(WriteBytes(work.filePath(u"empty.iso"_s), {}));
    for (const auto& [file, reason] :
         {std::pair{"text.iso", 9324}, {"empty.iso", 9323}, {"gone.iso", 9321}}) {
        SCOPED_TRACE(file);
        const QString path = work.filePath(QLatin1String(file));
        EXPECT_LT(m_frame->OpenImageFromFrame(path), 0);
        EXPECT_TRUE(List()->GetOpenImagePath() == iso && m_doc.m_pRootItem->GetChildCount() == 1);
        EXPECT_EQ(List()->OpenFailureText(),
                  LoadResString(656) + u"\n\n"_s + FormatResText(LoadResString(reason), {path}));
    }

    // A damaged image opens with what could be read, saying once what was left out.
    const QString damaged = work.filePath(u"damaged.iso"_s);
    ASSERT_EQ(QProcess::execute(u"/usr/bin/python3"_s,
                                {QStringLiteral(LANTERN_LINK_TRAPS), u"link_and_folder"_s,
                                 work.filePath(u"outside"_s), damaged}),
              0);
    ModalAnswerer answerer({ClickOk()});
    EXPECT_EQ(m_frame->OpenImageFromFrame(damaged), STATUS_OK);
    EXPECT_EQ(answerer.m_texts, QStringList{FormatResText(LoadResString(9329), {u"1"_s})});
}

// Each refusal of a target folder shows its message and copies nothing.
TEST_F(Commands, TargetRefusals)
{
    OpenScript(u"file A.TXT 10\nfile HUGE.BIN 900000000000000000\n"_s);
    QTemporaryDir locked;
    const QString remembered = GetExtractPath();
    const QByteArray discTable =
        u"1 0 11:0 / %1 ro - iso9660 /dev/loop3 ro\n"_s.arg(m_out.path()).toUtf8();
    struct Case
    {
        QString target;
        const QByteArray* mounts;
        QString row;
        int message;
    } cases[] = {
        {m_out.path(), &discTable, u"A.TXT"_s, 650},   // an optical disc
        {locked.path(), nullptr, u"A.TXT"_s, 7427},    // not writable
        {m_out.path(), nullptr, u"HUGE.BIN"_s, 11330}, // no room
    };
    // Read-only, and immutable for root, whom modes do not stop.
    QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(geteuid() != 0 || QProcess::execute(u"chattr"_s, {u"+i"_s, locked.path()}) == 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SetMountTableForTesting(c.mounts);
        SelectRows({c.row});
        ModalAnswerer* answerer = ExtractTo(c.target, {ClickOk()});
        SetMountTableForTesting(nullptr);
        ASSERT_EQ(answerer->m_texts.size(), 1);
        EXPECT_TRUE(answerer->m_texts[0].startsWith(LoadResString(c.message).left(30)))
            << answerer->m_texts;
        EXPECT_TRUE(QDir(m_out.path()).isEmpty());
        EXPECT_EQ(GetExtractPath(), remembered);
    }
    QProcess::execute(u"chattr"_s, {u"-i"_s, locked.path()});
    QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Every answer of the overwrite question, over three existing files.
TEST_F(Commands, OverwriteAnswers)
{
    OpenScript(u"file A 10\nfile B 20\nfile C 30\n"_s);
    const QString remembered = GetExtractPath();
    // Replace 1006, skip 1005, replace all 3, skip all 5, cancel 2, close 1012.
    struct Case
    {
        std::vector<int> answers;
        QString replaced; // the files that get the image's bytes
        bool bRemembered;
    } cases[] = {
        {{1006, 1005, 1006}, u"AC"_s, true}, {{3}, u"ABC"_s, true},   {{5}, QString(), true},
        {{1005, 3}, u"BC"_s, true},          {{2}, QString(), false}, {{1012}, QString(), false},
        {{1006, 2}, u"A"_s, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.answers));
        SetExtractPath(remembered);
        QTemporaryDir out;
        for (const char* name : {"A", "B", "C"})
            ASSERT_TRUE(WriteBytes(out.filePath(QLatin1String(name)), "old"));
        SelectRows({u"A"_s, u"B"_s, u"C"_s});
        std::vector<ModalAnswerer::Step> steps(c.answers.size());
        std::transform(c.answers.begin(), c.answers.end(), steps.begin(), Answer);
        ModalAnswerer* answerer = ExtractTo(out.path(), steps);
        EXPECT_EQ(answerer->Handled(), 1 + static_cast<int>(c.answers.size()))
            << "each question once, none after an \"all\" answer";
        EXPECT_EQ(answerer->Forced(), 0);
        const int sizes[] = {10, 20, 30};
        for (int i = 0; i < 3; ++i) {
            const QString name(QChar(u'A' + i));
            EXPECT_EQ(ReadBytes(out.filePath(name)),
                      c.replaced.contains(name) ? FakeBytes(name, sizes[i]) : QByteArray("old"))
                << name;
        }
        EXPECT_EQ(GetExtractPath() == out.path(), c.bRemembered);
        EXPECT_FALSE(List()->m_bOverwriteAll || List()->m_bSkipAll || List()->m_bCancelled);
        EXPECT_FALSE(m_frame->ProgressDialog()->isVisible());
    }
}

// Ctrl+E obeys the Extract rule, not what the menu showed last: nothing runs
// without a selection, and it works once rows are selected.
TEST_F(Commands, ShortcutsFollowTheirRulesNotTheMenusLastState)
{
    OpenScript(u"file A.TXT 10\n"_s);
    QMenu* imageMenu = qobject_cast<QMenu*>(Action(ID_EXTRACT)->associatedObjects().value(0));
    ASSERT_NE(imageMenu, nullptr);
    for (const bool bMenuFirst : {false, true}) {
        SCOPED_TRACE(bMenuFirst ? "after the menu" : "before the menu");
        List()->ListCtrl()->setFocus();
        List()->ListCtrl()->clearSelection();
        if (bMenuFirst) {
            imageMenu->popup(QPoint(0, 0));
            imageMenu->hide();
        }
        ModalAnswerer* none = ExtractTo(m_out.path());
        EXPECT_EQ(none->Handled(), 0) << "Extract ran with nothing selected";
        SelectRows({u"A.TXT"_s});
        ModalAnswerer* some = ExtractTo(m_out.path(), {Answer(1006)});
        EXPECT_GE(some->Handled(), 1);
        EXPECT_TRUE(QFileInfo::exists(m_out.filePath(u"A.TXT"_s)));
    }
}

// The tree's Extract on a folder that exists already asks first; cancel
// copies nothing and forgets nothing.
TEST_F(Commands, TheTreeAsksAboutAnExistingFolder)
{
    OpenScript(u"dir SUB\nfile SUB\\X.TXT 7\nfile TOP 3\n"_s);
    FocusTree(Tree()->topLevelItem(0)->child(0));
    SetExtractPath(u"/elsewhere"_s);
    ASSERT_TRUE(WriteBytes(m_out.filePath(u"SUB/X.TXT"_s), "mine"));
    ModalAnswerer answerer({ChooseFile(m_out.path()), Answer(2)});
    Trigger(ID_EXTRACT);
    EXPECT_EQ(answerer.Handled(), 2);
    EXPECT_EQ(ReadBytes(m_out.filePath(u"SUB/X.TXT"_s)), "mine");
    EXPECT_EQ(GetExtractPath(), u"/elsewhere");
    EXPECT_FALSE(m_frame->TreeView()->m_bCancelled);
}

TEST_F(Commands, CancelFromTheProgressDialogLeavesNoPartialFile)
{
    OpenScript(u"file BIG 40000000\nfile NEXT 5\n"_s);
    SelectRows({u"BIG"_s, u"NEXT"_s});
    int pumps = 0;
    bool bClicked = false;
    g_pImageEngine->SetMessagePump([&] {
        QCoreApplication::processEvents();
        if (++pumps == 50 && m_frame->ProgressDialog()->isVisible()) {
            QTest::mouseClick(m_frame->ProgressDialog()->CancelButton(), Qt::LeftButton);
            bClicked = true;
        }
    });
    const QString remembered = GetExtractPath();
    ExtractTo(m_out.path());
    EXPECT_TRUE(bClicked);
    EXPECT_TRUE(QDir(m_out.path()).isEmpty()) << "neither a partial file nor the next one";
    EXPECT_EQ(GetExtractPath(), remembered);
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
    EXPECT_TRUE(!m_frame->ProgressDialog()->isVisible() && m_frame->isEnabled());

    // Cancelled after a file was written: the user is told how far it went.
    OpenScript(u"file A 5\nfile BIG 40000000\n"_s);
    SelectRows({u"A"_s, u"BIG"_s});
    pumps = 0;
    QTemporaryDir out2;
    ExtractTo(out2.path());
    ASSERT_EQ(m_warnings.size(), 1);
    EXPECT_TRUE(m_warnings[0].startsWith(LoadResString(9328)) &&
                m_warnings[0].contains(u"Files written: 1."))
        << m_warnings;
}

// The bar moves through a folder of small files, though each file reports
// its start long before the 200 ms poll comes round.
TEST_F(Commands, TheProgressBarMovesThroughAFolderOfSmallFiles)
{
    QString script = u"dir MANY\n"_s;
    for (int i = 0; i < 300; ++i)
        script += u"file MANY\\F%1 100\n"_s.arg(i);
    OpenScript(script);
    SelectRows({u"MANY"_s});
    QList<int> shown;
    g_pImageEngine->SetMessagePump([&] {
        QCoreApplication::processEvents();
        // A file takes a few milliseconds: the whole folder about a second.
        QThread::msleep(1);
        const int percent = m_frame->ProgressDialog()->Percent();
        if (m_frame->ProgressDialog()->isVisible() && (shown.isEmpty() || shown.back() != percent))
            shown << percent;
    });
    ExtractTo(m_out.path());
    EXPECT_EQ(QDir(m_out.filePath(u"MANY"_s)).entryList(QDir::Files).size(), 300);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int p) { return p > 0 && p < 100; }))
        << "percentages shown: " << shown.size();
}

// A warning while the extraction disables the window comes up in a box the
// user can answer.
TEST_F(Commands, AWarningDuringAnExtractionCanBeAnswered)
{
    OpenScript(u"file R.BIN 200000\nfail read R.BIN 80004005 2\n"_s);
    m_frame->m_fnWarn = [](const QString& text) {
        ShowSkinnedMessageBox(text, 0, IDS_MESSAGE_BOX_CAPTION, nullptr);
    };
    SelectRows({u"R.BIN"_s});
    bool bFrameDisabled = false;
    ModalAnswerer* answerer = ExtractTo(m_out.path(), {[&](QWidget* w) {
                                            bFrameDisabled = !m_frame->isEnabled();
                                            ClickOk()(w);
                                        }});
    EXPECT_EQ(answerer->Handled(), 2);
    EXPECT_TRUE(bFrameDisabled);
    EXPECT_EQ(answerer->Forced(), 0) << "the box could not be answered";
    EXPECT_EQ(answerer->m_texts, QStringList{LoadResString(665) + u"\n\n"_s +
                                             FormatResText(LoadResString(9326), {u"R.BIN"_s})});
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(u"R.BIN"_s)));
}

TEST_F(Commands, DropsOpenImagesAndDragsHandOverCopies)
{
    ScriptedImage image(u"dir F\nfile F\\IN.TXT 4\nfile OUT.TXT 6\n"_s);
    for (const QString& path : {u"/tmp/a.txt"_s, image.Path()}) {
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, {});
        QCoreApplication::sendEvent(m_frame.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), path == image.Path()) << path;
        if (!enter.isAccepted())
            continue;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, {});
        QCoreApplication::sendEvent(m_frame.get(), &dropped);
    }
    EXPECT_EQ(List()->GetOpenImagePath(), image.Path());

    // Rows dragged out are copied first, then handed over as files.
    SelectRows({u"F"_s, u"OUT.TXT"_s});
    std::unique_ptr<QMimeData> out(List()->PrepareDragOut());
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->urls().size(), 2);
    const QString folder = out->urls()[0].toLocalFile();
    EXPECT_EQ(ReadBytes(folder + u"/IN.TXT"_s), FakeBytes(u"F\\IN.TXT"_s, 4));
    EXPECT_EQ(ReadBytes(out->urls()[1].toLocalFile()), FakeBytes(u"OUT.TXT"_s, 6));
    m_frame.reset();
    EXPECT_FALSE(QFileInfo::exists(folder)) << "drag copies go at exit";
}

// ---- The command bar: its buttons' states, and clicks that run the command
// of the pane the user worked in without taking that pane's place.

const int kBarCommands[] = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                            ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};

class Bar : public Frame
{
protected:
    CAlphaButton* Button(int id) const { return m_frame->CommandView()->Button(id); }
    // The enabled buttons, after the bar has had an idle moment.
    std::vector<int> Enabled() const
    {
        QTest::qWait(COMMAND_BAR_IDLE_MS * 2);
        std::vector<int> ids;
        std::copy_if(std::begin(kBarCommands), std::end(kBarCommands), std::back_inserter(ids),
                     [this](int id) { return Button(id)->isEnabled(); });
        return ids;
    }
    QTreeWidgetItem* Root() const { return Tree()->topLevelItem(0); }
    void ClickBar(int id)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return Button(id)->isEnabled(); })) << id;
        QTest::mouseClick(Button(id), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
};

TEST_F(Bar, EnablingInEachStateOfTheWindow)
{
    // Before any event the pass at start has run: no image, nothing to burn.
    EXPECT_TRUE(!Button(ID_BURN_IMAGE)->isEnabled() && !Button(ID_MOUNT_IMAGE)->isEnabled() &&
                Button(ID_IMAGE_OPEN)->isEnabled());
    SelectRows({});
    EXPECT_EQ(Enabled(), (std::vector<int>{ID_IMAGE_OPEN, ID_VIEW_MODE})) << "no image";

    OpenScript(u"dir A\nfile A\\B.TXT 10\nfile R.BIN 5\n"_s);
    const std::pair<std::function<void()>, std::vector<int>> cases[] = {
        // Enabled besides those of an open image.
        {[&] { SelectRows({}); }, {}},
        {[&] { SelectRows({u"A"_s}); }, {ID_FILE_VIEW, ID_EXTRACT}},
        {[&] {
             SelectRows({u"A"_s, u"R.BIN"_s});
         },
         {ID_EXTRACT}},
        // The list keeps its one selected row: View still needs the list.
        {[&] { SelectRows({u"A"_s}), FocusTree(Root()); }, {}},
        {[&] { FocusTree(Root()->child(0)); }, {ID_EXTRACT}},
        // The list now shows the folder.
        {[&] { SelectRows({u"B.TXT"_s}); }, {ID_FILE_VIEW, ID_EXTRACT}},
    };
    int n = 0;
    for (const auto& [enter, extra] : cases) {
        enter();
        std::vector<int> expected = {ID_IMAGE_OPEN, ID_VIEW_MODE, ID_BURN_IMAGE, ID_MOUNT_IMAGE};
        expected.insert(expected.end(), extra.begin(), extra.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Enabled(), expected) << "state " << n++;
    }
}

// From the tree: the selected folder, whatever the list holds; from the
// list: the selected rows, not the tree's folder.
TEST_F(Bar, ExtractRunsTheActivePanesVariant)
{
    OpenScript(u"dir SUB\nfile SUB\\X.TXT 7\nfile TOP 3\n"_s);
    for (const bool bTree : {true, false}) {
        QTemporaryDir out;
        FocusTree(bTree ? Root()->child(0) : Root());
        if (!bTree)
            SelectRows({u"TOP"_s});
        ModalAnswerer answers({ChooseFile(out.path())});
        ClickBar(ID_EXTRACT);
        EXPECT_EQ(answers.Handled(), 1);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{bTree ? u"SUB"_s : u"TOP"_s});
        EXPECT_TRUE(!bTree || HasFakeContent(out.filePath(u"SUB/X.TXT"_s), "SUB\\X.TXT", 7));
        EXPECT_EQ(GetExtractPath(), out.path());
        EXPECT_EQ(m_frame->ActiveView(),
                  bTree ? static_cast<QWidget*>(m_frame->TreeView()) : List());
    }
}

TEST_F(Bar, ClickingTheBarLeavesTheActivePaneAndFocus)
{
    OpenScript(u"dir A\nfile A\\B.TXT 10\nfile R.BIN 5\n"_s);
    for (const bool bTree : {true, false}) {
        SCOPED_TRACE(bTree ? "tree" : "list");
        if (bTree)
            FocusTree(Root());
        else
            SelectRows({u"A"_s});
        QWidget* active = m_frame->ActiveView();
        QWidget* focus = QApplication::focusWidget();

        // The bar's own background, then a button; no burner is installed
        // here, and the window is activated again once its message has gone.
        CLTCommandView* bar = m_frame->CommandView();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->RowRight() + 30, 5));
        ModalAnswerer answers({ClickOk()});
        ClickBar(ID_BURN_IMAGE);
        EXPECT_EQ(answers.Handled(), 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == focus; }, 2000));
        EXPECT_EQ(m_frame->ActiveView(), active);

        // The View mode button shows the menu of list styles at the pointer.
        std::vector<int> items;
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions())
                    if (action->data().isValid())
                        items.push_back(action->data().toInt());
                menu->close();
            }
        });
        ClickBar(ID_VIEW_MODE);
        std::sort(items.begin(), items.end());
        EXPECT_EQ(items, (std::vector<int>{ID_VIEW_SMALLICON, ID_VIEW_LIST, ID_VIEW_DETAILS,
                                           ID_VIEW_LARGEICON}));
        EXPECT_TRUE(m_frame->ActiveView() == active && QApplication::focusWidget() == focus);
    }
}

} // namespace
