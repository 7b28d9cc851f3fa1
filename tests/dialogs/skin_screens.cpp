// Draws the skinned controls and the message box into PNG files for the
// project's screenshots, offscreen:
//
//   skin_screens OUTPUT_FOLDER
//
// With --show TEXT it instead shows one message box on the screen until it is
// answered, to look at the shaped window under a real window system.

#include "AdtMessageBox.h"
#include "ApProgressCtrl.h"
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

// The box as a user sees it: the window region cut out of the grab.
QImage GrabShaped(CAdtMessageBox& box)
{
    QImage image = box.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRegion region = box.WindowRegion();
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
    return GrabShaped(box).save(file);
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
    SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
    CLangResources resources;
    resources.LoadFile(QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/ADTRC.lang"));
    SetLangResources(&resources);

    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"--show")
        return ShowSkinnedMessageBox(args[2], MB_YESNO) == IDYES ? 0 : 1;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: skin_screens OUTPUT_FOLDER | --show TEXT\n");
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
    SetLangResources(nullptr);
    return ok ? 0 : 1;
}
