// Draws the skinned controls, the message box and the overwrite question into
// PNG files for the project's screenshots, offscreen:
//
//   skin_screens OUTPUT_FOLDER [LANGUAGE_CODE]
//
// With a language code (DEU) the texts come from Language/<code>/ADTRC.lang
// rather than the default set.
//
// With --show TEXT it instead shows one message box on the screen until it is
// answered, to look at the shaped window under a real window system.

#include "AdtMessageBox.h"
#include "ApProgressCtrl.h"
#include "ConfirmFile.h"
#include "FileTime.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "SkinControls.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTest>
#include <cstdio>

namespace {

const QColor kBar(61, 63, 64);

// A window as a user sees it: its region cut out of the grab.
QImage GrabShaped(QWidget& window, const QRegion& region)
{
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!region.contains(QPoint(x, y)))
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return image;
}

bool SaveBox(const QString& text, unsigned style, const QString& file)
{
    CAdtMessageBox box(text, style, IDS_MESSAGE_BOX_CAPTION, nullptr, MESSAGE_BOX_DEFAULT_ICON,
                       false);
    box.InitDialog();
    return GrabShaped(box, box.WindowRegion()).save(file);
}

FILETIME64 LocalTime(int year, int month, int day, int hour, int minute)
{
    SYSTEMTIME st;
    st.wYear = std::uint16_t(year);
    st.wMonth = std::uint16_t(month);
    st.wDay = std::uint16_t(day);
    st.wHour = std::uint16_t(hour);
    st.wMinute = std::uint16_t(minute);
    FILETIME64 local = 0;
    FILETIME64 utc = 0;
    SystemTimeToFileTime(st, &local);
    LocalFileTimeToFileTime(local, &utc);
    return utc;
}

// The overwrite question for an existing file or folder and its newer
// namesake in the image; with `nTabs` the focus moved that far by Tab (a
// small file then, of 900 bytes).
bool SaveConfirm(bool bFolder, const QString& file, int nTabs = 0)
{
    FIND_DATA existing;
    existing.cFileName =
        bFolder ? QStringLiteral("VIDEO_TS") : QStringLiteral("Release notes 2.4.txt");
    existing.bDirectory = bFolder;
    existing.nFileSize = bFolder ? 0 : nTabs > 0 ? 900 : 1536;
    existing.ftLastWriteTime = LocalTime(2023, 11, 4, 9, 12);
    CLTDataItem item(QLatin1Char('\\') + existing.cFileName, bFolder ? KIND_FOLDER : KIND_FILE,
                     bFolder ? 0 : 48213, 0);
    item.m_ftModified = LocalTime(2024, 3, 18, 16, 5);
    CONFIRM_DESCRIPTION description;
    description.pItem = &item;
    description.strDestPath = QStringLiteral("/home/user/Extracted/") + existing.cFileName;
    description.pFindData = &existing;
    CConfirmFile dialog;
    dialog.m_pDescription = &description;
    dialog.InitDialog();
    if (nTabs > 0) {
        dialog.show();
        dialog.activateWindow();
        if (!QTest::qWaitForWindowActive(&dialog))
            return false;
        for (int i = 0; i < nTabs; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return GrabShaped(dialog, dialog.WindowRegion()).save(file);
}

QWidget* DarkHost(QSize size)
{
    auto* host = new QWidget;
    host->setAutoFillBackground(true);
    QPalette palette = host->palette();
    palette.setColor(QPalette::Window, kBar);
    host->setPalette(palette);
    host->resize(size);
    return host;
}

bool SaveButtons(const QString& file)
{
    std::unique_ptr<QWidget> host(DarkHost(QSize(4 * 146 + 10, 44)));
    CSkinControlFactory factory;
    std::vector<CAlphaButton*> buttons;
    for (int state = 0; state < 4; ++state) {
        CAlphaButton* button = nullptr;
        factory.CreateAlphaButton(QStringLiteral("Image\\Common\\button\\btn.png"),
                                  LoadResString(8016), WS_CHILD | WS_VISIBLE,
                                  QRect(10 + state * 146, 10, 136, 24), host.get(), 8016, Qt::white,
                                  &button);
        buttons.push_back(button);
    }
    host->show();
    QTest::mouseMove(buttons[1], QPoint(60, 12));
    QTest::mousePress(buttons[2], Qt::LeftButton, {}, QPoint(60, 12));
    buttons[3]->setEnabled(false);
    return host->grab().save(file);
}

bool SaveProgress(int percent, const QString& file)
{
    std::unique_ptr<QWidget> host(DarkHost(QSize(468, 58)));
    CSkinControlFactory factory;
    CApProgressCtrl* bar = nullptr;
    factory.CreateProgressBar(QRect(15, 15, 438, 28), host.get(), &bar,
                              QStringLiteral("Image\\Common\\progressCtrl\\progress_bg_438.png"),
                              QStringLiteral("Image\\Common\\progressCtrl\\progress_unit_438.png"));
    bar->SetPos(percent);
    return host->grab().save(file);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SetProgramFolderForTesting(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR));
    const QStringList args = app.arguments();
    CLangResources resources;
    const bool language = args.size() == 3 && args[1] != u"--show";
    resources.LoadFile(language ? QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/Language/") + args[2] +
                                      QStringLiteral("/ADTRC.lang")
                                : QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/ADTRC.lang"));
    SetLangResources(&resources);

    if (args.size() == 3 && args[1] == u"--show")
        return ShowSkinnedMessageBox(args[2], MB_YESNO) == IDYES ? 0 : 1;
    if (args.size() != 2 && !language) {
        std::fprintf(stderr, "usage: skin_screens OUTPUT_FOLDER [LANGUAGE_CODE] | --show TEXT\n");
        return 2;
    }
    const QString out = args[1] + QLatin1Char('/');
    QDir().mkpath(out);
    bool ok = true;
    ok &= SaveBox(QStringLiteral("The image could not be opened. It may be damaged, or it may "
                                 "not be a disc image."),
                  MB_OK, out + QStringLiteral("message_box_style0.png"));
    ok &= SaveBox(QStringLiteral("Stop extracting and delete the files written so far?"), MB_YESNO,
                  out + QStringLiteral("message_box_style4.png"));
    QString longText;
    for (int i = 0; i < 60; ++i)
        longText += QStringLiteral("The file /home/user/Images/archive-%1.iso could not be read "
                                   "from the disc. ")
                        .arg(i);
    ok &= SaveBox(longText, MB_ABORTRETRYIGNORE | MB_ICONERROR,
                  out + QStringLiteral("message_box_long.png"));
    ok &= SaveButtons(out + QStringLiteral("button_states.png"));
    for (int percent : {0, 50, 100})
        ok &= SaveProgress(percent, out + QStringLiteral("progress_%1.png").arg(percent));
    ok &= SaveConfirm(false, out + QStringLiteral("confirm-file.png"));
    ok &= SaveConfirm(true, out + QStringLiteral("confirm-folder.png"));
    ok &= SaveConfirm(false, out + QStringLiteral("confirm-file-focus.png"), 3);
    SetLangResources(nullptr);
    return ok ? 0 : 1;
}
