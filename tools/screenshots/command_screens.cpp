// Screenshots of the window's commands on a real display (run by hand under
// xvfb-run): the window with an image open and one row selected (the
// command bar's buttons enabled for it), the Open dialog, the overwrite
// question for a file and for a folder, and the progress dialog during a
// real extraction. The scale follows the display's resolution when
// "EnableDPIAware" is set.
//
//   command_screens OUTPUT_FOLDER WORK_FOLDER
//
// At image scale 1.5: "EnableDPIAware"=dword:1 in the machine-wide settings
// file, a display of 144 dpi (QT_FONT_DPI=144 on a bare X server) and
// QT_ENABLE_HIGHDPI_SCALING=0, so the program scales itself rather than Qt.

#include "CommandView.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "MainFrame.h"
#include "ProgramPaths.h"
#include "ProgressDlg.h"
#include "Scale.h"
#include "SkinControls.h"
#include "StoredSettings.h"
#include "TextFit.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

QString g_out;

void Shoot(const QString& name)
{
    QApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QString path = g_out + QLatin1Char('/') + name;
    screen->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
}

// Runs `act` on the next modal window that comes up.
void OnNextModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            QTimer::singleShot(400, [modal, act] { act(modal); });
        }
    });
    timer->start(50);
}

void ChooseFolder(QWidget* w, const QString& folder)
{
    auto* dlg = qobject_cast<QFileDialog*>(w);
    dlg->setDirectory(folder);
    QMetaObject::invokeMethod(dlg, "accept");
}

void SelectAll(CFileListView* list)
{
    list->ListCtrl()->setFocus();
    list->ListCtrl()->selectAll();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: command_screens OUTPUT_FOLDER WORK_FOLDER\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    const QString work = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_out);
    SetProgramFolderForTesting(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR));
    InstallScreenDpiSource();
    std::printf("display %g dpi, ratio %g, image scale %g\n",
                QGuiApplication::primaryScreen()->logicalDotsPerInchX(),
                QGuiApplication::primaryScreen()->devicePixelRatio(), GetImageScale());
    CLangResources res;
    res.LoadFile(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/ADTRC.lang"));
    SetLangResources(&res);

    // A tree with a few hundred megabytes, and an image of it.
    const QString tree = work + QStringLiteral("/tree");
    QDir().mkpath(tree + QStringLiteral("/Pictures/Holiday"));
    QDir().mkpath(tree + QStringLiteral("/Documents"));
    auto write = [](const QString& path, qint64 size) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + (i >> 9));
        for (qint64 done = 0; done < size; done += block.size())
            f.write(block.constData(), std::min<qint64>(block.size(), size - done));
    };
    write(tree + QStringLiteral("/Pictures/Holiday/beach.mp4"), 300ll << 20);
    write(tree + QStringLiteral("/Pictures/Holiday/sunset.png"), 2 << 20);
    write(tree + QStringLiteral("/Documents/report.pdf"), 1536);
    write(tree + QStringLiteral("/readme.txt"), 2400);
    const QString iso = work + QStringLiteral("/Holiday Disc.iso");
    if (!QFileInfo::exists(iso))
        QProcess::execute(QStringLiteral("genisoimage"),
                          {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-J"),
                           QStringLiteral("-V"), QStringLiteral("HOLIDAY"), QStringLiteral("-o"),
                           iso, tree});

    CImageEngine engine(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/VBE.so"));
    g_pImageEngine = &engine;
    engine.SetMessagePump([] { QCoreApplication::processEvents(); });
    CLanternDoc doc;
    CMainFrame frame(&doc);
    frame.Create();
    frame.setGeometry(60, 40, 900, 560);
    frame.show();
    SetImagePath(work);
    frame.OpenImageFromFrame(iso);

    // The window with one file selected: every button of the bar enabled.
    CFileListView* list = frame.ListView();
    QApplication::setActiveWindow(&frame);
    list->ListCtrl()->setFocus();
    for (int row = 0; row < list->Model()->rowCount(); ++row) {
        if (list->Model()->RecordAt(row)->m_strFileName == u"readme.txt")
            list->ListCtrl()->selectionModel()->select(list->Model()->index(row, 0),
                                                       QItemSelectionModel::Select |
                                                           QItemSelectionModel::Rows);
    }
    // The pointer rests on Extract: its hover look and its tooltip.
    // Near its lower edge, so the tooltip falls below the bar.
    const QWidget* extract = frame.CommandView()->Button(ID_EXTRACT);
    QCursor::setPos(extract->mapToGlobal(QPoint(extract->width() / 2, extract->height() - 3)));
    QTimer idle;
    QEventLoop wait;
    QObject::connect(&idle, &QTimer::timeout, &wait, &QEventLoop::quit);
    idle.start(1500);
    wait.exec();
    Shoot(QStringLiteral("command-bar.png"));
    QCursor::setPos(frame.mapToGlobal(QPoint(frame.width() / 2, frame.height() - 10)));

    // The Open dialog.
    OnNextModal([](QWidget* w) {
        Shoot(QStringLiteral("open-dialog.png"));
        qobject_cast<QDialog*>(w)->reject();
    });
    frame.RouteCommand(ID_IMAGE_OPEN);

    // The overwrite question for a file, then for a folder.
    const QString target = work + QStringLiteral("/out");
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    write(target + QStringLiteral("/readme.txt"), 900);
    SelectAll(frame.ListView());
    OnNextModal([&](QWidget* w) {
        ChooseFolder(w, target);
        OnNextModal([](QWidget* confirm) {
            Shoot(QStringLiteral("confirm-file-in-window.png"));
            QMetaObject::invokeMethod(confirm, "reject");
        });
    });
    frame.RouteCommand(ID_EXTRACT);

    // The progress dialog during a real extraction of the whole selection.
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    SelectAll(frame.ListView());
    int pumps = 0;
    engine.SetMessagePump([&] {
        QCoreApplication::processEvents();
        if (++pumps == 6000)
            Shoot(QStringLiteral("progress-extracting.png"));
    });
    OnNextModal([&](QWidget* w) { ChooseFolder(w, target); });
    frame.RouteCommand(ID_EXTRACT);
    std::printf("pumps %d\n", pumps);

    // The folder question: extract again over what is there.
    engine.SetMessagePump([] { QCoreApplication::processEvents(); });
    SelectAll(frame.ListView());
    OnNextModal([&](QWidget* w) {
        ChooseFolder(w, target);
        OnNextModal([](QWidget* confirm) {
            Shoot(QStringLiteral("confirm-folder-in-window.png"));
            QMetaObject::invokeMethod(confirm, "reject");
        });
    });
    frame.RouteCommand(ID_EXTRACT);
    Shoot(QStringLiteral("window-after-extract.png"));
    g_pImageEngine = nullptr;
    SetLangResources(nullptr);
    return 0;
}
