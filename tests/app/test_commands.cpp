// The window's Open, View and Extract commands driven through their menu
// actions and shortcuts, with every dialog they raise answered the way a
// user would: by choosing in it and clicking its buttons.

#include "AdtMessageBox.h"
#include "AppFixtures.h"
#include "ConfirmFile.h"
#include "FakeContent.h"
#include "FileDialogEX.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FindData.h"
#include "FolderTreeView.h"
#include "LTDataItem.h"
#include "ModalDialogs.h"
#include "ProgressDlg.h"
#include "QtPrint.h"
#include "StoredSettings.h"
#include "VolumeCheck.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace {

// More steps a user takes in the windows the commands raise.
ModalAnswerer::Step Click(const QString& objectName)
{
    return [objectName](QWidget* w) {
        auto* button = w->findChild<QWidget*>(objectName);
        ASSERT_NE(button, nullptr) << objectName << " in " << w->metaObject()->className();
        QTest::mouseClick(button, Qt::LeftButton);
    };
}

ModalAnswerer::Step Answer(int result)
{
    return Click(QStringLiteral("Button%1").arg(result));
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray FakeBytes(const QString& imagePath, std::uint64_t size)
{
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    const std::string path = imagePath.toStdString();
    for (std::uint64_t i = 0; i < size; ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>(FakeByte(path, i));
    return bytes;
}

class Commands : public Frame
{
protected:
    void SetUp() override
    {
        Frame::SetUp();
        QApplication::setActiveWindow(m_frame.get());
    }

    QAction* Action(int id) const
    {
        for (QAction* action : m_frame->menuBar()->findChildren<QAction*>()) {
            if (action->data().toInt() == id)
                return action;
        }
        return nullptr;
    }
    // Runs a menu command as a click on its menu item would.
    void Trigger(int id)
    {
        QAction* action = Action(id);
        ASSERT_NE(action, nullptr) << id;
        action->trigger();
    }
    void Open(const ScriptedImage& image)
    {
        ASSERT_EQ(m_frame->OpenImageFromFrame(image.Path()), STATUS_OK);
    }
    CFileListView* List() const { return m_frame->ListView(); }
    // Selects the list rows with these names and gives the list the focus.
    void SelectRows(const QStringList& names)
    {
        QApplication::setActiveWindow(m_frame.get());
        List()->ListCtrl()->setFocus();
        List()->ListCtrl()->clearSelection();
        for (int row = 0; row < List()->Model()->rowCount(); ++row) {
            if (names.contains(List()->Model()->RecordAt(row)->m_strFileName))
                List()->ListCtrl()->selectionModel()->select(List()->Model()->index(row, 0),
                                                             QItemSelectionModel::Select |
                                                                 QItemSelectionModel::Rows);
        }
        ASSERT_EQ(List()->SelectedCount(), names.size());
    }
    // Extracts the selection through Ctrl+E into `target`, answering what
    // comes up after the folder question with `then`.
    ModalAnswerer* ExtractTo(const QString& target, std::vector<ModalAnswerer::Step> then = {})
    {
        then.insert(then.begin(), ChooseFile(target));
        m_answerer = std::make_unique<ModalAnswerer>(std::move(then));
        QTest::keyClick(m_frame.get(), Qt::Key_E, Qt::ControlModifier);
        return m_answerer.get();
    }

    QTemporaryDir m_out;
    QTemporaryDir m_locked;
    std::unique_ptr<ModalAnswerer> m_answerer;
};

TEST_F(Commands, OpenTakesAnyCaseAndKeepsTheImageOnAWrongExtension)
{
    ScriptedImage first(QStringLiteral("label FIRST\nfile A.TXT 3\n"), QStringLiteral("first"));
    // A capital extension is an image too.
    const QString capital = first.Folder() + QStringLiteral("/DISC.ISO");
    WriteFile(capital, QByteArray("label CAPS\nfile B.TXT 4\n"));
    SetImagePath(first.Folder());

    int modalWhileUp = 0;
    QString title, directory;
    QStringList filters;
    ModalAnswerer answerer({[&](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        modalWhileUp = GetOpenModalDialogCount();
        title = dlg->windowTitle();
        directory = dlg->directory().absolutePath();
        filters = dlg->nameFilters();
        ChooseFile(capital)(w);
    }});
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(answerer.Handled(), 1);
    EXPECT_EQ(title, LoadResString(61440));
    EXPECT_EQ(directory, first.Folder());
    EXPECT_GT(modalWhileUp, 0);
    EXPECT_EQ(GetOpenModalDialogCount(), 0);
    // The program's own kinds, then those of other disc programs.
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(QDir::match(filters[0], QStringLiteral("x.IsO"))) << filters[0];
    EXPECT_FALSE(QDir::match(filters[0], QStringLiteral("x.img"))) << filters[0];
    EXPECT_TRUE(QDir::match(filters[1], QStringLiteral("x.IMG"))) << filters[1];
    EXPECT_TRUE(QDir::match(filters[1], QStringLiteral("x.Nrg"))) << filters[1];
    EXPECT_EQ(List()->GetOpenImagePath(), capital);
    EXPECT_EQ(m_doc.m_pRootItem->m_strDisplayName, u"CAPS");

    // Another extension: message 656, and the image stays.
    const QString other = first.Folder() + QStringLiteral("/notes.txt");
    WriteFile(other, "file C 1\n");
    ModalAnswerer refused({ChooseFile(other), ClickOk()});
    Trigger(ID_IMAGE_OPEN);
    EXPECT_EQ(refused.m_texts, QStringList{LoadResString(656)});
    EXPECT_EQ(refused.Forced(), 0);
    EXPECT_EQ(List()->GetOpenImagePath(), capital);
    EXPECT_EQ(m_doc.m_pRootItem->m_strDisplayName, u"CAPS");
}

TEST_F(Commands, TheFileTypeBoxOfQtsOwnDialogShowsTheLongestFilterWhole)
{
    const QString longest = QStringLiteral("Disc images of every kind this program reads (*.iso)");
    CFileDialogEX dlg(true, QStringLiteral("Short|*.adi|") + longest + QStringLiteral("|*.iso"),
                      nullptr);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.show();
    auto* combo = dlg.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(combo, nullptr);
    const QFontMetrics metrics(combo->view()->font());
    EXPECT_GT(combo->view()->minimumWidth(), metrics.horizontalAdvance(longest));
}

// A stand-in for the desktop's opener, first on PATH, that notes what it
// was asked to open.
class WithOpener : public Commands
{
protected:
    void SetUp() override
    {
        Commands::SetUp();
        m_log = m_bin.filePath(QStringLiteral("opened.log"));
        const QString script = m_bin.filePath(QStringLiteral("xdg-open"));
        WriteFile(script, QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(m_log).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_settings.Set("PATH", m_bin.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    }
    QStringList Opened() const
    {
        // The opener runs detached: give it a moment.
        QStringList lines;
        for (int i = 0; i < 100; ++i) {
            lines = QString::fromUtf8(ReadFile(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!lines.isEmpty() && lines[0] != u"<missing>")
                return lines;
            QTest::qWait(20);
        }
        return {};
    }
    QTemporaryDir m_bin;
    QString m_log;
};

TEST_F(WithOpener, ViewCopiesOnceUntilTheCopyChanges)
{
    // A record time with a fraction of a second.
    ScriptedImage image(QStringLiteral("dir D\nfile D\\NOTE.TXT 300 1700000000\nfile R.BIN 5\n"));
    Open(image);
    // The folder row steps into the folder.
    SelectRows({QStringLiteral("D")});
    Trigger(ID_FILE_VIEW);
    ASSERT_EQ(m_doc.m_pCurrentFolder->m_strFileName, u"D");
    CLTDataItem* note = List()->Model()->RecordAt(0);
    note->m_ftModified += 1234567; // 0.12 s past the second
    SelectRows({QStringLiteral("NOTE.TXT")});

    image.ClearLog();
    Trigger(ID_FILE_VIEW);
    Trigger(ID_FILE_VIEW);
    EXPECT_EQ(image.Count(QStringLiteral("openfile")), 1) << image.Log();
    QString temp;
    ASSERT_TRUE(GetTempFolder(&temp));
    const QString copy = temp + QStringLiteral("NOTE.TXT");
    EXPECT_EQ(ReadFile(copy), FakeBytes(QStringLiteral("D\\NOTE.TXT"), 300));
    const QStringList opened = Opened();
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_TRUE(opened[0].endsWith(copy)) << opened[0];

    // The copy was edited: its time changed, so the next view copies again.
    QFile edited(copy);
    ASSERT_TRUE(edited.open(QIODevice::ReadWrite));
    edited.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    edited.close();
    Trigger(ID_FILE_VIEW);
    EXPECT_EQ(image.Count(QStringLiteral("openfile")), 2);

    // Every copy goes when the program ends.
    m_frame.reset();
    EXPECT_FALSE(QFileInfo::exists(copy));
}

// An opener that finds no program for the file: the user hears of it.
TEST_F(WithOpener, ViewSaysSoWhenNoProgramOpensTheFile)
{
    WriteFile(m_bin.filePath(QStringLiteral("xdg-open")), "#!/bin/sh\nexit 3\n");
    ScriptedImage image(QStringLiteral("file ODD.XYZ 5\n"));
    Open(image);
    SelectRows({QStringLiteral("ODD.XYZ")});
    ModalAnswerer answerer({ClickOk()});
    Trigger(ID_FILE_VIEW);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answerer.Handled() == 1; }, 10000));
    ASSERT_EQ(answerer.m_texts.size(), 1);
    EXPECT_TRUE(answerer.m_texts[0].contains(u"ODD.XYZ")) << answerer.m_texts[0];
}

// The list from the keyboard: Enter steps into a folder, Backspace and
// Alt+Up go back up, F3 views a file; the tree orders folders as the list.
TEST_F(WithOpener, KeyboardBrowsing)
{
    ScriptedImage image(QStringLiteral("dir Docs\ndir deep\ndir Case\nfile deep\\IN.TXT 4\n"));
    Open(image);
    QTreeWidgetItem* root = m_frame->TreeView()->Tree()->topLevelItem(0);
    QStringList order;
    for (int i = 0; i < root->childCount(); ++i)
        order << root->child(i)->text(0);
    EXPECT_EQ(order, (QStringList{QStringLiteral("Case"), QStringLiteral("deep"),
                                  QStringLiteral("Docs")}));
    for (const QKeyCombination up :
         {QKeyCombination(Qt::Key_Backspace), QKeyCombination(Qt::AltModifier, Qt::Key_Up)}) {
        SelectRows({QStringLiteral("deep")});
        List()->ListCtrl()->setCurrentIndex(
            List()->ListCtrl()->selectionModel()->selectedRows().first());
        QTest::keyClick(List()->ListCtrl(), Qt::Key_Return);
        ASSERT_EQ(m_doc.m_pCurrentFolder->m_strFileName, u"deep");
        SelectRows({QStringLiteral("IN.TXT")});
        QTest::keyClick(m_frame.get(), Qt::Key_F3);
        EXPECT_FALSE(Opened().isEmpty());
        QTest::keyClick(List()->ListCtrl(), up.key(), up.keyboardModifiers());
        EXPECT_EQ(m_doc.m_pCurrentFolder, m_doc.m_pRootItem);
    }
}

// A real image made by genisoimage from a tree, read by the real module.
class RealImage : public Commands
{
protected:
    QString ModulePath() const override { return RealModulePath(); }
    QString m_tree;
};

TEST_F(RealImage, ExtractsASelectionByteExactWithTimes)
{
    QTemporaryDir work;
    m_tree = work.filePath(QStringLiteral("tree"));
    WriteFile(m_tree + QStringLiteral("/readme.txt"), "hello\n");
    WriteFile(m_tree + QStringLiteral("/skip.bin"), "not chosen");
    QByteArray big(300000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + i / 7);
    WriteFile(m_tree + QStringLiteral("/Docs/deep/data.bin"), big);
    WriteFile(m_tree + QStringLiteral("/Docs/empty.txt"), "");
    QDir().mkpath(m_tree + QStringLiteral("/Docs/none"));
    // Times of their own, so a file given the extraction time is caught.
    QDirIterator it(m_tree, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    qint64 t = 1500000000;
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        const timespec times[2] = {{t, 0}, {t, 0}};
        ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW);
        t += 86400 * 3 + 17;
    }
    const QString iso = work.filePath(QStringLiteral("real.iso"));
    QProcess make;
    make.start(QStringLiteral("genisoimage"),
               {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-J"),
                QStringLiteral("-o"), iso, m_tree});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    ASSERT_EQ(m_frame->OpenImageFromFrame(iso), STATUS_OK);

    SelectRows({QStringLiteral("readme.txt"), QStringLiteral("Docs")});
    ModalAnswerer* answerer = ExtractTo(m_out.path());
    EXPECT_EQ(answerer->Handled(), 1);
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
    EXPECT_EQ(GetExtractPath(), m_out.path());
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("skip.bin"))));
    for (const QString& relative :
         {QStringLiteral("readme.txt"), QStringLiteral("Docs/deep/data.bin"),
          QStringLiteral("Docs/empty.txt")}) {
        const QString source = m_tree + QLatin1Char('/') + relative;
        const QString copy = m_out.filePath(relative);
        EXPECT_EQ(ReadFile(copy), ReadFile(source)) << relative;
        EXPECT_EQ(QFileInfo(copy).lastModified().toSecsSinceEpoch(),
                  QFileInfo(source).lastModified().toSecsSinceEpoch())
            << relative;
    }
    EXPECT_TRUE(QFileInfo(m_out.filePath(QStringLiteral("Docs/none"))).isDir());
    EXPECT_FALSE(m_frame->ProgressDialog()->isVisible());
    EXPECT_TRUE(m_frame->isEnabled());
}

// The window's Extract and View on an image that records Unix files: the
// extracted tree has the source tree's modes, links and hard links, and a
// link is viewed as what it points to inside the image.
class UnixImage : public WithOpener
{
protected:
    QString ModulePath() const override { return RealModulePath(); }
};

// A link's target as it is written, or "" for anything else.
QByteArray LinkText(const QString& path)
{
    char text[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), text, sizeof text);
    return n > 0 ? QByteArray(text, n) : QByteArray();
}

TEST_F(UnixImage, ExtractKeepsModesAndLinksAndViewFollowsLinks)
{
    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("tree"));
    const auto mode = [](const QString& path, mode_t m) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), m), 0) << path;
    };
    const auto link = [&](const char* target, const QString& name) {
        ASSERT_EQ(::symlink(target, QFile::encodeName(tree + u'/' + name).constData()), 0);
    };
    WriteFile(tree + QStringLiteral("/run.sh"), "#!/bin/sh\necho hi\n");
    mode(tree + QStringLiteral("/run.sh"), 0755);
    WriteFile(tree + QStringLiteral("/key"), "secret");
    mode(tree + QStringLiteral("/key"), 0600);
    WriteFile(tree + QStringLiteral("/ro/f"), "read only");
    mode(tree + QStringLiteral("/ro/f"), 0444);
    mode(tree + QStringLiteral("/ro"), 0555);
    WriteFile(tree + QStringLiteral("/one"), "two names");
    ASSERT_EQ(::link(QFile::encodeName(tree + QStringLiteral("/one")).constData(),
                     QFile::encodeName(tree + QStringLiteral("/two")).constData()),
              0);
    link("run.sh", QStringLiteral("script"));
    link("/nowhere/at/all", QStringLiteral("away"));
    const QString iso = work.filePath(QStringLiteral("unix.iso"));
    QProcess make;
    make.start(QStringLiteral("xorriso"),
               {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
                QStringLiteral("-R"), QStringLiteral("-o"), iso, tree});
    ASSERT_TRUE(make.waitForFinished(60000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    ASSERT_EQ(m_frame->OpenImageFromFrame(iso), STATUS_OK);

    // The list says what a link is and where it points.
    int linkRow = -1;
    for (int row = 0; row < List()->Model()->rowCount(); ++row)
        if (List()->Model()->RecordAt(row)->m_strFileName == u"script")
            linkRow = row;
    ASSERT_GE(linkRow, 0);
    const auto cell = [&](int column, int role) {
        return List()->Model()->data(List()->Model()->index(linkRow, column), role).toString();
    };
    EXPECT_EQ(cell(SORT_COLUMN_TYPE, Qt::DisplayRole), u"Symbolic link");
    EXPECT_TRUE(cell(SORT_COLUMN_NAME, Qt::ToolTipRole).endsWith(u"run.sh"))
        << cell(SORT_COLUMN_NAME, Qt::ToolTipRole);

    const QStringList names = {QStringLiteral("run.sh"), QStringLiteral("key"),
                               QStringLiteral("ro"),     QStringLiteral("one"),
                               QStringLiteral("two"),    QStringLiteral("script"),
                               QStringLiteral("away")};
    SelectRows(names);
    const mode_t oldMask = ::umask(022);
    ExtractTo(m_out.path());
    ::umask(oldMask);
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings;
    for (const QString& name : names + QStringList{QStringLiteral("ro/f")}) {
        struct stat want
        {
        }, got{};
        ASSERT_EQ(::lstat(QFile::encodeName(tree + u'/' + name).constData(), &want), 0);
        ASSERT_EQ(::lstat(QFile::encodeName(m_out.filePath(name)).constData(), &got), 0) << name;
        EXPECT_EQ(got.st_mode & 0170777, want.st_mode & 0170777) << name;
        EXPECT_EQ(LinkText(m_out.filePath(name)), LinkText(tree + u'/' + name)) << name;
    }
    struct stat one
    {
    }, two{};
    ::lstat(QFile::encodeName(m_out.filePath(QStringLiteral("one"))).constData(), &one);
    ::lstat(QFile::encodeName(m_out.filePath(QStringLiteral("two"))).constData(), &two);
    EXPECT_EQ(one.st_ino, two.st_ino);
    mode(m_out.filePath(QStringLiteral("ro")), 0755);

    // View on a link opens the file it points to; one that leads out of the
    // image says so and opens nothing.
    SelectRows({QStringLiteral("script")});
    Trigger(ID_FILE_VIEW);
    const QStringList opened = Opened();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(u"/run.sh")) << opened[0];
    ModalAnswerer answerer({ClickOk()});
    SelectRows({QStringLiteral("away")});
    Trigger(ID_FILE_VIEW);
    ASSERT_EQ(answerer.m_texts.size(), 1);
    EXPECT_TRUE(answerer.m_texts[0].contains(u"away")) << answerer.m_texts[0];
    EXPECT_EQ(Opened().size(), 1);
}

// A file that is no image is refused before the open image is let go, and
// the message names the file and the reason.
TEST_F(RealImage, AFailedOpenKeepsTheImageAndSaysWhy)
{
    QTemporaryDir work;
    WriteFile(work.filePath(QStringLiteral("tree/a.txt")), "a");
    const QString iso = work.filePath(QStringLiteral("good.iso"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("genisoimage"),
                                {QStringLiteral("-quiet"), QStringLiteral("-o"), iso,
                                 work.filePath(QStringLiteral("tree"))}),
              0);
    ASSERT_EQ(m_frame->OpenImageFromFrame(iso), STATUS_OK);
    WriteFile(work.filePath(QStringLiteral("text.iso")), QByteArray(40000, 't'));
    WriteFile(work.filePath(QStringLiteral("empty.iso")), "");
    const struct
    {
        const char* file;
        int reason;
    } cases[] = {{"text.iso", 9324}, {"empty.iso", 9323}, {"gone.iso", 9321}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = work.filePath(QLatin1String(c.file));
        EXPECT_LT(m_frame->OpenImageFromFrame(path), 0);
        EXPECT_EQ(List()->GetOpenImagePath(), iso);
        EXPECT_EQ(m_doc.m_pRootItem->GetChildCount(), 1);
        EXPECT_EQ(List()->OpenFailureText(), LoadResString(656) + QStringLiteral("\n\n") +
                                                 FormatResText(LoadResString(c.reason), {path}));
    }

    // A damaged image opens with what could be read, saying once what was
    // left out.
    const QString damaged = work.filePath(QStringLiteral("damaged.iso"));
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(LANTERN_LINK_TRAPS), QStringLiteral("link_and_folder"),
                           work.filePath(QStringLiteral("outside")), damaged}),
        0);
    ModalAnswerer answerer({ClickOk()});
    EXPECT_EQ(m_frame->OpenImageFromFrame(damaged), STATUS_OK);
    ASSERT_EQ(answerer.m_texts.size(), 1);
    EXPECT_EQ(answerer.m_texts[0], FormatResText(LoadResString(9329), {QStringLiteral("1")}));
}

// A folder no one may write in, root included: read-only for its owner,
// and immutable where that alone does not stop the caller. False when the
// system allows neither.
bool MakeUnwritableFolder(const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    auto writable = [&] {
        QFile probe(path + QStringLiteral("/probe"));
        const bool bOk = probe.open(QIODevice::WriteOnly);
        probe.remove();
        return bOk;
    };
    if (!writable())
        return true;
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path});
    return !writable();
}

void ReleaseUnwritableFolder(const QString& path)
{
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Each refusal of a target folder shows its message and copies nothing.
TEST_F(Commands, TargetRefusals)
{
    ScriptedImage image(QStringLiteral("file A.TXT 10\nfile HUGE.BIN 900000000000000000\n"));
    Open(image);
    const QString remembered = GetExtractPath();
    const QByteArray discTable =
        QStringLiteral("1 0 11:0 / %1 ro - iso9660 /dev/loop3 ro\n").arg(m_out.path()).toUtf8();
    struct Case
    {
        const char* name;
        QString target;
        const QByteArray* mounts;
        QStringList rows;
        int message;
    } cases[] = {
        {"optical disc", m_out.path(), &discTable, {QStringLiteral("A.TXT")}, 650},
        {"not writable", m_locked.path(), nullptr, {QStringLiteral("A.TXT")}, 7427},
        {"no room", m_out.path(), nullptr, {QStringLiteral("HUGE.BIN")}, 11330},
    };
    const bool bLocked = MakeUnwritableFolder(m_locked.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.message == 7427 && !bLocked) {
            ADD_FAILURE() << "no folder can be made unwritable here (chattr missing?)";
            continue;
        }
        SetMountTableForTesting(c.mounts);
        SelectRows(c.rows);
        ModalAnswerer* answerer = ExtractTo(c.target, {ClickOk()});
        SetMountTableForTesting(nullptr);
        ASSERT_EQ(answerer->m_texts.size(), 1);
        EXPECT_TRUE(answerer->m_texts[0].startsWith(LoadResString(c.message).left(30)))
            << answerer->m_texts[0];
        EXPECT_TRUE(QDir(m_out.path()).isEmpty());
        EXPECT_EQ(GetExtractPath(), remembered);
    }
    ReleaseUnwritableFolder(m_locked.path());
}

// Every answer of the overwrite question, over three existing files.
TEST_F(Commands, OverwriteAnswers)
{
    ScriptedImage image(QStringLiteral("file A 10\nfile B 20\nfile C 30\n"));
    Open(image);
    const QString remembered = GetExtractPath();
    struct Case
    {
        const char* name;
        std::vector<int> answers;
        QString replaced; // the files that get the image's bytes
        bool bRemembered;
    } cases[] = {
        {"replace, skip, replace", {1006, 1005, 1006}, QStringLiteral("AC"), true},
        {"replace all", {3}, QStringLiteral("ABC"), true},
        {"skip all", {5}, QString(), true},
        {"skip, then replace all", {1005, 3}, QStringLiteral("BC"), true},
        {"cancel", {2}, QString(), false},
        {"close button", {1012}, QString(), false},
        {"replace, then cancel", {1006, 2}, QStringLiteral("A"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetExtractPath(remembered);
        QTemporaryDir out;
        for (const char* name : {"A", "B", "C"})
            WriteFile(out.filePath(QLatin1String(name)), "old");
        SelectRows({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        std::vector<ModalAnswerer::Step> steps;
        for (int answer : c.answers)
            steps.push_back(Answer(answer));
        ModalAnswerer* answerer = ExtractTo(out.path(), steps);
        EXPECT_EQ(answerer->Handled(), 1 + static_cast<int>(c.answers.size()))
            << "each question once, none after an \"all\" answer";
        EXPECT_EQ(answerer->Forced(), 0);
        const int sizes[] = {10, 20, 30};
        for (int i = 0; i < 3; ++i) {
            const QString name(QChar(u'A' + i));
            EXPECT_EQ(ReadFile(out.filePath(name)),
                      c.replaced.contains(name) ? FakeBytes(name, sizes[i]) : QByteArray("old"))
                << name;
        }
        EXPECT_EQ(GetExtractPath() == out.path(), c.bRemembered);
        EXPECT_FALSE(List()->m_bOverwriteAll || List()->m_bSkipAll || List()->m_bCancelled);
        EXPECT_FALSE(m_frame->ProgressDialog()->isVisible());
    }
}

// Ctrl+E obeys the Extract rule whatever the menu showed last: nothing runs
// without a selection, before or after the menu was opened, and it works
// once rows are selected.
TEST_F(Commands, ShortcutsFollowTheirRulesNotTheMenusLastState)
{
    ScriptedImage image(QStringLiteral("file A.TXT 10\n"));
    Open(image);
    QMenu* imageMenu = Action(ID_EXTRACT)->associatedObjects().isEmpty()
                           ? nullptr
                           : qobject_cast<QMenu*>(Action(ID_EXTRACT)->associatedObjects().first());
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
        SelectRows({QStringLiteral("A.TXT")});
        ModalAnswerer* some = ExtractTo(m_out.path(), {Answer(1006)});
        EXPECT_GE(some->Handled(), 1);
        EXPECT_TRUE(QFileInfo::exists(m_out.filePath(QStringLiteral("A.TXT"))));
    }
}

TEST_F(Commands, TheTreeExtractsItsFolderAndAsksAboutAnExistingOne)
{
    ScriptedImage image(QStringLiteral("dir SUB\nfile SUB\\X.TXT 7\nfile TOP 3\n"));
    Open(image);
    CLTTreeCtrl* tree = m_frame->TreeView()->Tree();
    QTreeWidgetItem* sub = tree->topLevelItem(0)->child(0);
    ASSERT_NE(sub, nullptr);
    tree->setCurrentItem(sub);
    QApplication::setActiveWindow(m_frame.get());
    tree->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), tree);
    EXPECT_TRUE(m_frame->QueryCommand(ID_EXTRACT).bEnabled);

    ModalAnswerer first({ChooseFile(m_out.path())});
    Trigger(ID_EXTRACT);
    EXPECT_EQ(ReadFile(m_out.filePath(QStringLiteral("SUB/X.TXT"))),
              FakeBytes(QStringLiteral("SUB\\X.TXT"), 7));
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("TOP"))));
    EXPECT_EQ(GetExtractPath(), m_out.path());

    // Again: the folder exists; cancel copies nothing and forgets nothing.
    SetExtractPath(QStringLiteral("/elsewhere"));
    WriteFile(m_out.filePath(QStringLiteral("SUB/X.TXT")), "mine");
    ModalAnswerer second({ChooseFile(m_out.path()), Answer(2)});
    Trigger(ID_EXTRACT);
    EXPECT_EQ(second.Handled(), 2);
    EXPECT_EQ(ReadFile(m_out.filePath(QStringLiteral("SUB/X.TXT"))), "mine");
    EXPECT_EQ(GetExtractPath(), u"/elsewhere");
    EXPECT_FALSE(m_frame->TreeView()->m_bCancelled);
}

TEST_F(Commands, CancelFromTheProgressDialogLeavesNoPartialFile)
{
    ScriptedImage image(QStringLiteral("file BIG 40000000\nfile NEXT 5\n"));
    Open(image);
    SelectRows({QStringLiteral("BIG"), QStringLiteral("NEXT")});
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
    EXPECT_FALSE(m_frame->ProgressDialog()->isVisible());
    EXPECT_TRUE(m_frame->isEnabled());

    // Cancelled after a file was written: the user is told how far it went.
    ScriptedImage second(QStringLiteral("file A 5\nfile BIG 40000000\n"));
    Open(second);
    SelectRows({QStringLiteral("A"), QStringLiteral("BIG")});
    pumps = 0;
    QTemporaryDir out2;
    ExtractTo(out2.path());
    ASSERT_EQ(m_warnings.size(), 1);
    EXPECT_TRUE(m_warnings[0].startsWith(LoadResString(9328))) << m_warnings[0];
    EXPECT_TRUE(m_warnings[0].contains(QStringLiteral("Files written: 1."))) << m_warnings[0];
}

// The bar moves while a folder of small files is extracted, although every
// file reports its start long before the 200 ms poll comes round.
TEST_F(Commands, TheProgressBarMovesThroughAFolderOfSmallFiles)
{
    QString script = QStringLiteral("dir MANY\n");
    for (int i = 0; i < 300; ++i)
        script += QStringLiteral("file MANY\\F%1 100\n").arg(i);
    ScriptedImage image(script);
    Open(image);
    SelectRows({QStringLiteral("MANY")});
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
    EXPECT_EQ(QDir(m_out.filePath(QStringLiteral("MANY"))).entryList(QDir::Files).size(), 300);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int p) { return p > 0 && p < 100; }))
        << "percentages shown: " << shown.size();
}

// A warning of the engine while the window is disabled by the extraction
// comes up in a box of its own that the user can answer.
TEST_F(Commands, AWarningDuringAnExtractionCanBeAnswered)
{
    ScriptedImage image(QStringLiteral("file R.BIN 200000\nfail read R.BIN 80004005 2\n"));
    Open(image);
    m_frame->m_fnWarn = [](const QString& text) {
        ShowSkinnedMessageBox(text, 0, IDS_MESSAGE_BOX_CAPTION, nullptr);
    };
    SelectRows({QStringLiteral("R.BIN")});
    bool bFrameDisabled = false;
    ModalAnswerer* answerer = ExtractTo(m_out.path(), {[&](QWidget* w) {
                                            bFrameDisabled = !m_frame->isEnabled();
                                            ClickOk()(w);
                                        }});
    EXPECT_EQ(answerer->Handled(), 2);
    EXPECT_TRUE(bFrameDisabled);
    EXPECT_EQ(answerer->Forced(), 0) << "the box could not be answered";
    EXPECT_EQ(answerer->m_texts,
              QStringList{LoadResString(665) + QStringLiteral("\n\n") +
                          FormatResText(LoadResString(9326), {QStringLiteral("R.BIN")})});
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("R.BIN"))));
}

// In the icon styles a click selects a row, which View and Extract need.
TEST_F(Commands, IconStylesSelectRows)
{
    ScriptedImage image(QStringLiteral("file A.TXT 1\nfile B.TXT 2\n"));
    Open(image);
    for (int id : {ID_VIEW_LARGEICON, ID_VIEW_SMALLICON, ID_VIEW_LIST}) {
        SCOPED_TRACE(id);
        Trigger(id);
        QListView* icons = List()->IconList();
        icons->clearSelection();
        QApplication::processEvents();
        const QRect cell = icons->visualRect(List()->Model()->index(1, 0));
        ASSERT_FALSE(cell.isEmpty());
        QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(List()->SelectedCount(), 1);
        EXPECT_TRUE(m_frame->QueryCommand(ID_FILE_VIEW).bEnabled);
        EXPECT_TRUE(m_frame->QueryCommand(ID_EXTRACT).bEnabled);
        ASSERT_EQ(List()->SelectedRecords().size(), 1);
        EXPECT_EQ(List()->SelectedRecords()[0]->m_strFileName, u"B.TXT");
    }
}

TEST_F(Commands, DropsOpenImagesAndDragsHandOverCopies)
{
    ScriptedImage image(QStringLiteral("dir F\nfile F\\IN.TXT 4\nfile OUT.TXT 6\n"));
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(image.Path())});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, {});
    QCoreApplication::sendEvent(m_frame.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &drop, Qt::LeftButton, {});
    QCoreApplication::sendEvent(m_frame.get(), &dropped);
    EXPECT_EQ(List()->GetOpenImagePath(), image.Path());

    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"))});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, {});
    QCoreApplication::sendEvent(m_frame.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    // Rows dragged out are copied first, then handed over as files.
    SelectRows({QStringLiteral("F"), QStringLiteral("OUT.TXT")});
    std::unique_ptr<QMimeData> out(List()->PrepareDragOut());
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->urls().size(), 2);
    const QString folder = out->urls()[0].toLocalFile();
    EXPECT_EQ(ReadFile(folder + QStringLiteral("/IN.TXT")),
              FakeBytes(QStringLiteral("F\\IN.TXT"), 4));
    EXPECT_EQ(ReadFile(out->urls()[1].toLocalFile()), FakeBytes(QStringLiteral("OUT.TXT"), 6));
    m_frame.reset();
    EXPECT_FALSE(QFileInfo::exists(folder)) << "drag copies go at exit";
}

} // namespace
