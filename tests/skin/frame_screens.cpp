// The skinned frame on a real X display driven by xdotool, with screenshots:
// `frame_screens OUTPUT_FOLDER [--no-wm]` under Xvfb (--no-wm: move and resize alone).
// Each check prints PASS or FAIL; the exit code counts failures.

#include "GXTFrameWnd.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "RecordingFrame.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

int g_nFailures = 0;

void Check(bool bOk, const char* what, const QString& detail = {})
{
    std::printf("%s %s %s\n", bOk ? "PASS" : "FAIL", what, qPrintable(detail));
    std::fflush(stdout);
    if (!bOk)
        ++g_nFailures;
}

QString Describe(const QRect& r)
{
    return u"(%1,%2 %3x%4)"_s.arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

void Xdo(const QStringList& args, int nWaitMs = 150)
{
    QProcess::execute(u"xdotool"_s, args);
    QTest::qWait(nWaitMs);
}

void MoveTo(QPoint pt)
{
    Xdo({u"mousemove"_s, QString::number(pt.x()), QString::number(pt.y())});
}

void Drag(QPoint from, QPoint to)
{
    MoveTo(from);
    Xdo({u"mousedown"_s, u"1"_s});
    for (int i = 1; i <= 8; ++i)
        MoveTo(from + (to - from) * i / 8);
    Xdo({u"mouseup"_s, u"1"_s}, 550);
}

void ClickAt(QPoint pt, int nClicks = 1)
{
    MoveTo(pt);
    Xdo({u"click"_s, u"--repeat"_s, QString::number(nClicks), u"--delay"_s, u"80"_s, u"1"_s}, 850);
}

// The screen around `area` (grown by `margin`), as a user sees it.
bool Shot(const QRect& area, int margin, const QString& file)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect r = area.adjusted(-margin, -margin, margin, margin) & screen->geometry();
    const bool bOk = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(file);
    Check(bOk, "screenshot", file);
    return bOk;
}

QPoint ButtonCentre(const CGXTFrameWnd& frame, int nElement)
{
    return frame.mapToGlobal(CGXTFrameWnd::CaptionButtonPos(nElement, frame.width(), {26, 20}) +
                             QPoint(13, 10));
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
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: frame_screens OUTPUT_FOLDER [--no-wm]\n");
        return 2;
    }
    const bool bNoWm = args.contains(u"--no-wm"_s);
    const QString out = args[1] + QLatin1Char('/');
    QDir().mkpath(out);

    RecordingFrame frame;
    Check(frame.CreateFrame(), "frame pieces loaded");
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(16);
    frame.SetCaptionFont(font);
    frame.setWindowTitle(u"Lantern - Holiday photos 2023.iso"_s);
    auto* menu = frame.menuBar();
    for (const char* name : {"&File", "&View", "&Help"}) {
        QMenu* sub = menu->addMenu(QString::fromLatin1(name));
        sub->addAction(u"Open Image..."_s);
        sub->addAction(u"Extract..."_s)->setEnabled(false);
        sub->addSeparator();
        sub->addAction(u"Exit"_s);
    }
    auto* central = new QLabel(u"Folder tree and file list"_s);
    central->setAlignment(Qt::AlignCenter);
    central->setStyleSheet(u"background: rgb(30, 31, 32); color: rgb(150, 152, 154)"_s);
    frame.setCentralWidget(central);
    frame.setMinimumSize(450, 350);
    frame.setGeometry(120, 80, 760, 480);
    frame.show();
    Check(QTest::qWaitForWindowExposed(&frame), "window shown");
    QTest::qWait(800);
    if (!bNoWm)
        Shot(frame.frameGeometry(), 12, out + u"frame-normal.png"_s);

    // Move by the caption.
    const QRect before = frame.geometry();
    Drag(frame.mapToGlobal(QPoint(420, 20)), frame.mapToGlobal(QPoint(520, 80)));
    // The window may trail the mouse by the start-drag distance and a step.
    const QPoint lag = QPoint(100, 60) - (frame.pos() - before.topLeft());
    Check(lag.manhattanLength() <= 3 * QApplication::startDragDistance(),
          "caption drag moves the window", Describe(frame.geometry()));

    const QRect moved = frame.geometry();
    Drag(frame.mapToGlobal(QPoint(frame.width() - 2, frame.height() - 2)),
         frame.mapToGlobal(QPoint(frame.width() + 58, frame.height() + 38)));
    Check(frame.size() - moved.size() == QSize(60, 40) && frame.pos() == moved.topLeft(),
          "corner drag resizes the window", Describe(frame.geometry()));

    const QRect sized = frame.geometry();
    Drag(frame.mapToGlobal(QPoint(1, 200)), frame.mapToGlobal(QPoint(-39, 200)));
    Check(frame.geometry().adjusted(40, 0, 0, 0) == sized, "left border drag resizes the window",
          Describe(frame.geometry()));

    if (bNoWm) {
        ClickAt(ButtonCentre(frame, CGXTFrameWnd::ELEMENT_CLOSE));
        Check(frame.nCloseEvents == 1, "close button closes");
        return g_nFailures;
    }

    // Maximize and restore through the caption buttons.
    const QRect normal = frame.geometry();
    ClickAt(ButtonCentre(frame, CGXTFrameWnd::ELEMENT_MAXIMIZE));
    const QScreen* screen = frame.screen();
    Check(frame.isMaximized(), "maximize button maximizes", Describe(frame.geometry()));
    MoveTo(frame.mapToGlobal(QPoint(frame.width() / 2, 200)));
    Shot(screen->geometry(), 0, out + u"frame-maximized.png"_s);
    ClickAt(ButtonCentre(frame, CGXTFrameWnd::ELEMENT_RESTORE));
    Check(!frame.isMaximized() && frame.geometry() == normal, "restore button restores",
          Describe(frame.geometry()));

    // Double-click on the caption toggles: a press there must not start a move that eats it.
    ClickAt(frame.mapToGlobal(QPoint(420, 20)), 2);
    Check(frame.isMaximized(), "double click on the caption maximizes");
    ClickAt(frame.mapToGlobal(QPoint(420, 20)), 2);
    Check(!frame.isMaximized(), "double click again restores", Describe(frame.geometry()));

    // Hover over close: its hover look and tooltip.
    MoveTo(ButtonCentre(frame, CGXTFrameWnd::ELEMENT_CLOSE) - QPoint(3, 0));
    MoveTo(ButtonCentre(frame, CGXTFrameWnd::ELEMENT_CLOSE));
    QTest::qWait(1200);
    Check(frame.HotElement() == CGXTFrameWnd::ELEMENT_CLOSE, "close button is hot");
    Shot(frame.frameGeometry().adjusted(frame.width() - 300, 0, 60, -frame.height() + 110), 12,
         out + u"frame-close-hover.png"_s);
    return g_nFailures;
}
