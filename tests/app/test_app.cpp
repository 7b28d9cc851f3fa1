#include "AppFixtures.h"
#include "FileTypeCache.h"
#include "IconProvider.h"
#include "LanternApp.h"
#include "ModalDialogs.h"
#include "ProgressDlg.h"
#include "RegValues.h"
#include "SkinMessages.h"
#include "StoredSettings.h"
#include "WindowEndpoint.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

using ProgressDialog = WithResources;

// Cancel is clicked through the window in Commands.CancelFromTheProgressDialog*.
TEST_F(ProgressDialog, PercentRepaintAndElidedText)
{
    EXPECT_EQ((std::vector{CProgressDlg::PercentOf(50, 0, 100), CProgressDlg::PercentOf(1, 0, 3),
                           CProgressDlg::PercentOf(2, 0, 3), CProgressDlg::PercentOf(5, 7, 7)}),
              (std::vector{50, 33, 67, 0}));

    CProgressDlg dlg(nullptr, u"Please Wait"_s, false, nullptr);
    dlg.SetRange(0, 100);
    const int before = dlg.RepaintCount();
    dlg.SetPos(40);
    dlg.SetPos(40);
    EXPECT_EQ(dlg.RepaintCount(), before + 1) << "the same percentage repaints once";
    const QString longPath = u"/home/someone/"_s + QString(300, QLatin1Char('x'));
    dlg.SetText(longPath);
    EXPECT_TRUE(dlg.ShownText().endsWith(QChar(0x2026))) << dlg.ShownText();
    EXPECT_EQ(dlg.Text(), longPath);
}

// A failed and a cancelled load leave a lone root, no message and nothing
// to burn or mount.
TEST_F(Frame, AFailedOrCancelledLoadLeavesALoneRoot)
{
    ScriptedImage failing(u"fail open * 80004005\nfile X 1\n"_s);
    QString many;
    for (int i = 0; i < 50; ++i)
        many += u"file F%1 1\n"_s.arg(i);
    ScriptedImage cancelled(many);
    int pumps = 0;
    g_pImageEngine->SetMessagePump([&] {
        QCoreApplication::processEvents();
        if (++pumps == 10)
            PostMessageTo(m_frame.get(), WM_PROGRESS_CANCEL_MSG, 1); // as Cancel does
    });
    EXPECT_LT(m_frame->OpenImageFromFrame(failing.Path()), 0);
    pumps = 0;
    EXPECT_EQ(m_frame->OpenImageFromFrame(cancelled.Path()), STATUS_CANCELLED);
    EXPECT_EQ(m_doc.m_pRootItem->GetChildCount(), 0);
    EXPECT_EQ(m_doc.m_pRootItem->m_strDisplayName, LoadResString(654));
    EXPECT_TRUE(List()->GetOpenImagePath().isEmpty() && m_warnings.isEmpty());
    EXPECT_FALSE(m_frame->QueryCommand(ID_MOUNT_IMAGE).bEnabled ||
                 m_frame->ProgressDialog()->isVisible());
}

TEST_F(Frame, CopyDataRefusals)
{
    ScriptedImage image(u"file X 1\n"_s);
    auto utf16 = [](const QString& s) {
        QByteArray data(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
        return data.append(2, '\0');
    };
    m_frame->OnCopyData(1024, utf16(image.Path()));
    m_frame->OnCopyData(1025, QByteArray());
    {
        CModalDialogScope modal;
        m_frame->OnCopyData(1025, utf16(image.Path()));
    }
    EXPECT_TRUE(List()->GetOpenImagePath().isEmpty() && m_warnings.isEmpty());
    m_frame->OnCopyData(1025, utf16(image.Path()));
    EXPECT_EQ(List()->GetOpenImagePath(), image.Path());
    m_frame->OnCopyData(1025, utf16(image.Folder() + u"/missing.iso"_s));
    ASSERT_EQ(m_warnings.size(), 1);
    EXPECT_TRUE(m_warnings[0].startsWith(LoadResString(656)) &&
                m_warnings[0].contains(u"missing.iso"))
        << m_warnings;
    EXPECT_EQ(List()->GetOpenImagePath(), image.Path()) << "the open image stays";
}

TEST_F(Frame, EngineFailuresBecomeWarnings)
{
    const QString path = u"/data/out/file.bin"_s;
    const std::u16string wide = path.toStdU16String();
    CMainFrame::ProgressCallback(NOTIFY_WRITE_FAILED, wide.c_str(), m_frame.get());
    CMainFrame::ProgressCallback(NOTIFY_READ_FAILED, nullptr, m_frame.get());
    m_frame->m_bViewingTempCopy = true;
    CMainFrame::ProgressCallback(NOTIFY_READ_FAILED, nullptr, m_frame.get());
    CMainFrame::ProgressCallback(NOTIFY_ACCESS_DENIED, wide.c_str(), m_frame.get());
    CMainFrame::ProgressCallback(0x7000, nullptr, m_frame.get()); // not the engine's
    EXPECT_EQ(m_warnings,
              (QStringList{FormatResText(LoadResString(664), {path}), LoadResString(665),
                           LoadResString(666), FormatResText(LoadResString(668), {path})}));
    m_warnings.clear();

    // During an extraction a read failure names the file; what was left out
    // is told once, at the end.
    m_frame->m_bViewingTempCopy = false;
    const std::u16string source = u"DIR\\BAD.BIN";
    CMainFrame::ProgressCallback(NOTIFY_EXTRACT_BEGIN, source.c_str(), m_frame.get());
    CMainFrame::ProgressCallback(NOTIFY_READ_FAILED, nullptr, m_frame.get());
    const std::u16string fifo = u"DIR\\PIPE";
    CMainFrame::ProgressCallback(NOTIFY_SPECIAL_LEFT_OUT, fifo.c_str(), m_frame.get());
    ASSERT_EQ(m_warnings.size(), 1);
    EXPECT_TRUE(m_warnings[0].startsWith(LoadResString(665)) &&
                m_warnings[0].contains(u"DIR/BAD.BIN"))
        << m_warnings;
    CMainFrame::ProgressCallback(NOTIFY_EXTRACT_END, nullptr, m_frame.get());
    ASSERT_EQ(m_warnings.size(), 2);
    EXPECT_TRUE(m_warnings[1].endsWith(FormatResText(LoadResString(9314), {u"DIR/PIPE"_s})))
        << m_warnings;
}

// Closing stores the size the next window takes; a stored place is taken
// whole, a maximized one maximized; with nothing stored, the default size.
TEST_F(Frame, ClosingSavesThePlacementTheNextWindowTakes)
{
    QWidget none;
    none.resize(300, 200);
    RestoreWindowPlacement(&none);
    EXPECT_EQ(none.size(), QSize(800, 400)) << "nothing stored";

    m_frame->setGeometry(40, 50, 700, 500);
    QApplication::processEvents();
    m_frame->close();
    QWidget next;
    RestoreWindowPlacement(&next);
    EXPECT_EQ(next.size(), QSize(700, 500));
    EXPECT_FALSE(next.windowState() & Qt::WindowMaximized);

    for (const int bMaximized : {0, 1}) {
        ASSERT_TRUE(WriteWindowPlacement({10, 20, 640, 480, bMaximized}));
        QWidget placed;
        RestoreWindowPlacement(&placed);
        EXPECT_EQ(bool(placed.windowState() & Qt::WindowMaximized), bool(bMaximized));
        EXPECT_EQ(placed.geometry() == QRect(10, 20, 640, 480), !bMaximized);
        EXPECT_EQ(placed.geometry().topLeft() == QPoint(10, 20), !bMaximized)
            << "a maximized window is not placed at the stored rectangle";
    }
}

TEST_F(WithResources, MissingLanguageResources)
{
    QTemporaryDir empty;
    SetProgramFolderForTesting(empty.path());
    CLangResources res;
    QString tried;
    EXPECT_FALSE(LoadLanguageResources(&res, &tried));
    EXPECT_TRUE(tried.startsWith(empty.path())) << tried;
    EXPECT_TRUE(
        MissingResourcesMessage(tried).startsWith(u"The file [%1] is missing."_s.arg(tried)));

    // The machine's language is the fallback.
    StringReg lang(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"CurrentLang"_s);
    lang.Set(u"DEU"_s);
    ASSERT_TRUE(lang.Write());
    QDir().mkpath(empty.path() + u"/Language/DEU"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/Language/DEU/ADTRC.lang"),
                            empty.path() + u"/Language/DEU/ADTRC.lang"_s));
    EXPECT_TRUE(LoadLanguageResources(&res, &tried));
    EXPECT_EQ(res.LanguageCode(), u"DEU");
}

// Two real program processes: the second hands its image to the first.
TEST_F(WithResources, SecondInstanceHandsItsImageOver)
{
    QTemporaryDir runtime;
    m_settings.Set("XDG_RUNTIME_DIR", runtime.path());
    m_settings.Set("QT_QPA_PLATFORM", u"offscreen"_s);
    const QString program = QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/lantern");
    const QString image = QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/demo.iso");
    if (!QFileInfo::exists(image))
        GTEST_SKIP() << "no demo image";
    QProcess first;
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(WaitFor([] {
        std::int64_t state = 0;
        return CWindowEndpoint::Send(LANTERN_WINDOW_CLASS, ENDPOINT_QUERY_STATE, 0, {}, &state) &&
               (state & 1);
    })) << first.readAllStandardError().toStdString();

    QProcess second;
    second.start(program, {image});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(GetImagePath(), QFileInfo(image).absolutePath()) << "the first one opened it";

    // Another user (a runtime folder of its own) gets a window of its own.
    QTemporaryDir otherRuntime;
    QProcessEnvironment other = QProcessEnvironment::systemEnvironment();
    other.insert(u"XDG_RUNTIME_DIR"_s, otherRuntime.path());
    QProcess third;
    third.setProcessEnvironment(other);
    third.start(program, {image});
    ASSERT_TRUE(third.waitForStarted());
    EXPECT_FALSE(third.waitForFinished(3000)) << "the other user's copy ended at once";
    for (QProcess* p : {&third, &first})
        p->kill(), p->waitForFinished();
}

// Without a desktop naming a theme, file types still get icons of their own.
TEST_F(WithResources, FileTypesGetIconsOfTheirOwnWithoutADesktopTheme)
{
    QIcon::setThemeName(QString());
    ASSERT_FALSE(ChooseIconTheme().isEmpty()) << "no icon theme installed";
    QList<QImage> shown;
    for (const char* name : {"song.mp3", "archive.zip", "photo.png", "notes.unknownext"}) {
        FileTypeInfo info;
        ASSERT_TRUE(CFileTypeCache::Global().Lookup(QString::fromLatin1(name), false, info));
        const QImage image = IconForIndex(info.nIconIndex).pixmap(16).toImage();
        EXPECT_FALSE(image.isNull()) << name;
        for (const QImage& other : shown)
            EXPECT_NE(image, other) << name;
        shown << image;
    }
}

} // namespace
