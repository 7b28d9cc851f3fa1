// viewer_bench: the viewer itself (its application object, main frame and
// views), driven offscreen, timed.
//
//   viewer_bench open IMAGE|-          start to the shown tree; "-" shows no
//                                      image (the baseline of the memory)
//   viewer_bench sort IMAGE            sorts the largest folder by each column
//   viewer_bench extract IMAGE DEST    Extract of every row of the root
//   viewer_bench find IMAGE TEXT       Find: TEXT typed key by key into the
//                                      search line, each key timed until its
//                                      results are shown, and the longest a
//                                      key typed meanwhile would have waited
//
// Each prints "key value" lines for bench/run_bench.py: seconds, milliseconds
// and the peak memory of the process in KiB.

#include "CommandIds.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "LTDataItem.h"
#include "LanternApp.h"
#include "LanternDoc.h"
#include "MainFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

// The peak resident memory of this program in KiB. getrusage's maximum is
// not used: Linux carries it over an exec, so it holds the peak of the
// process that started this one (the benchmark script) whenever that was
// larger.
long PeakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Serves waiting events until none remain, painting included.
void Settle(QWidget* window)
{
    QCoreApplication::processEvents();
    window->repaint();
    QCoreApplication::processEvents();
}

CLTDataItem* LargestFolder(CLTDataItem* root)
{
    CLTDataItem* best = root;
    std::vector<CLTDataItem*> stack{root};
    while (!stack.empty()) {
        CLTDataItem* item = stack.back();
        stack.pop_back();
        if (item->GetChildCount() > best->GetChildCount())
            best = item;
        for (CLTDataItem* child : item->m_children)
            if (child->IsFolder())
                stack.push_back(child);
    }
    return best;
}

// Seconds since the benchmark script started this program, when it said
// when (LANTERN_BENCH_SPAWNED, its monotonic clock), so the loading of the
// program and its libraries counts as it does for lantern-cli; otherwise
// since main().
double SinceStart(const QElapsedTimer& sinceMain)
{
    bool ok = false;
    const double spawned = qEnvironmentVariable("LANTERN_BENCH_SPAWNED").toDouble(&ok);
    if (!ok)
        return sinceMain.nsecsElapsed() / 1e9;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9 - spawned;
}

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 3) {
        std::fprintf(stderr, "usage: viewer_bench open|sort|extract IMAGE [DEST]\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString image = std::strcmp(argv[2], "-") == 0
                              ? QString()
                              : QFileInfo(QFile::decodeName(argv[2])).absoluteFilePath();
    const QString target = argc > 3 ? QDir(QFile::decodeName(argv[3])).absolutePath() : QString();

    // The program as a user starts it: "lantern IMAGE", or no image.
    QByteArray imageArg = QFile::encodeName(image);
    std::vector<char*> appArgs{argv[0]};
    if (!image.isEmpty())
        appArgs.push_back(imageArg.data());
    int appArgc = static_cast<int>(appArgs.size());
    appArgs.push_back(nullptr);
    CLanternApp app(appArgc, appArgs.data());
    if (!app.InitInstance()) {
        std::fprintf(stderr, "viewer_bench: the program did not start\n");
        return 1;
    }
    CMainFrame* frame = app.MainFrame();
    Settle(frame);
    const double shown = SinceStart(sinceStart);
    CFileListView* list = frame->ListView();
    CLanternDoc& doc = *list->GetDoc();
    if (!image.isEmpty() && doc.m_pRootItem->GetChildCount() == 0) {
        std::fprintf(stderr, "viewer_bench: cannot open %s\n", qPrintable(image));
        return app.ExitInstance(1);
    }

    int result = 0;
    if (mode == u"open") {
        std::int64_t entries = CLTDataItem::LiveCount() - 1;
        std::printf("shown_s %.4f\nentries %lld\npeak_kib %ld\n", shown,
                    static_cast<long long>(entries), PeakKiB());
    } else if (mode == u"sort") {
        CLTDataItem* folder = LargestFolder(doc.m_pRootItem);
        doc.m_pCurrentFolder = folder;
        doc.UpdateAllViews(nullptr, HINT_FOLDER_CHANGED);
        Settle(frame);
        std::printf("rows %d\n", list->Model()->rowCount());
        static const char* const kColumns[] = {"name", "size", "type", "modified"};
        for (int column = 0; column < SORT_COLUMN_COUNT; ++column) {
            // The first click sorts one way, the second the other.
            for (int click = 0; click < 2; ++click) {
                QElapsedTimer timer;
                timer.start();
                list->SortByColumn(column);
                Settle(frame);
                std::printf("sort_%s_%d_ms %.2f\n", kColumns[column], click,
                            timer.nsecsElapsed() / 1e6);
            }
        }
    } else if (mode == u"extract" && !target.isEmpty()) {
        doc.m_pCurrentFolder = doc.m_pRootItem;
        doc.UpdateAllViews(nullptr, HINT_FOLDER_CHANGED);
        Settle(frame);
        // Every row of the root selected in the list, and Extract given to
        // the frame as the menu gives it: the frame's progress dialog and
        // its reports take part.
        QApplication::setActiveWindow(frame);
        list->ListCtrl()->setFocus(Qt::OtherFocusReason);
        list->ListCtrl()->selectAll();
        Settle(frame);
        // Answers the folder question with the target, as a user would.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answer.stop();
            dialog->setDirectory(target);
            dialog->selectFile(target);
            static_cast<QDialog*>(dialog)->accept();
        });
        answer.start(1);
        QElapsedTimer timer;
        timer.start();
        frame->RouteCommand(ID_EXTRACT);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const int files = static_cast<int>(
            QDir(target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
        std::printf("extract_s %.4f\nrows %d\npeak_kib %ld\n", seconds,
                    static_cast<int>(list->SelectedRecords().size()), PeakKiB());
        if (files == 0) {
            std::fprintf(stderr, "viewer_bench: Extract wrote nothing\n");
            result = 1;
        }
    } else if (mode == u"find" && argc > 3) {
        QApplication::setActiveWindow(frame);
        frame->RouteCommand(ID_FIND);
        Settle(frame);
        const QString text = QString::fromLocal8Bit(argv[3]);
        double worst = 0;
        for (const QChar c : text) {
            QElapsedTimer timer;
            timer.start();
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(list->FindLine(), &press);
            // The longest a key typed meanwhile would wait: each turn of the
            // loop but the one that shows the results.
            double turn = 0, longestTurn = 0;
            while (list->FindRunning()) {
                longestTurn = std::max(longestTurn, turn);
                QElapsedTimer one;
                one.start();
                QCoreApplication::processEvents();
                turn = one.nsecsElapsed() / 1e6;
            }
            Settle(frame);
            const double ms = timer.nsecsElapsed() / 1e6;
            worst = std::max(worst, ms);
            const QByteArray typed = list->FindLine()->text().toLocal8Bit();
            std::printf("key_%s_ms %.2f\nfound_%s %d\nwait_%s_ms %.2f\n", typed.constData(), ms,
                        typed.constData(), list->Model()->rowCount(), typed.constData(),
                        longestTurn);
        }
        std::printf("find_worst_ms %.2f\n", worst);
    } else {
        std::fprintf(stderr, "viewer_bench: unknown mode\n");
        result = 2;
    }
    return app.ExitInstance(result);
}
