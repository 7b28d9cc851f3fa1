// viewer_bench: the viewer's own widgets, driven offscreen, timed.
//
//   viewer_bench open IMAGE|-          start to the shown tree; "-" shows no
//                                      image (the baseline of the memory)
//   viewer_bench sort IMAGE            sorts the largest folder by each column
//   viewer_bench extract IMAGE DEST    Extract of every row of the root
//
// Each prints "key value" lines for bench/run_bench.py: seconds, milliseconds
// and the peak memory of the process in KiB.

#include "EventPump.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LanternDoc.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/resource.h>

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

// The window's two panes as the main frame lays them out.
struct Window
{
    CLanternDoc doc;
    QSplitter splitter;
    CFolderTreeView* tree = nullptr;
    CFileListView* list = nullptr;

    Window()
    {
        tree = new CFolderTreeView(&doc, &splitter);
        list = new CFileListView(&doc, &splitter);
        list->SetFolderTreeView(tree);
        splitter.resize(1000, 700);
        tree->OnInitialUpdate();
        list->OnInitialUpdate();
        splitter.show();
    }
};

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
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: viewer_bench open|sort|extract IMAGE [DEST]\n");
        return 2;
    }
    // The program's engine, with the program's pump.
    auto engine = std::make_unique<CImageEngine>(QCoreApplication::applicationDirPath() +
                                                 QStringLiteral("/VBE.so"));
    g_pImageEngine = engine.get();
    engine->SetMessagePump(&ServeWaitingEvents);

    auto window = std::make_unique<Window>();
    Settle(&window->splitter);
    const QString mode = args[0];
    const QString image = args[1] == u"-" ? QString() : QFileInfo(args[1]).absoluteFilePath();
    if (!image.isEmpty() && window->list->OpenImageFile(image) < 0) {
        std::fprintf(stderr, "viewer_bench: cannot open %s\n", qPrintable(image));
        return 1;
    }
    Settle(&window->splitter);
    const double shown = SinceStart(sinceStart);

    if (mode == u"open") {
        std::int64_t entries = CLTDataItem::LiveCount() - 1;
        std::printf("shown_s %.4f\nentries %lld\npeak_kib %ld\n", shown,
                    static_cast<long long>(entries), PeakKiB());
        return 0;
    }
    CLanternDoc& doc = window->doc;
    if (mode == u"sort") {
        CLTDataItem* folder = LargestFolder(doc.m_pRootItem);
        doc.m_pCurrentFolder = folder;
        doc.UpdateAllViews(nullptr, HINT_FOLDER_CHANGED);
        Settle(&window->splitter);
        std::printf("rows %d\n", window->list->Model()->rowCount());
        static const char* const kColumns[] = {"name", "size", "type", "modified"};
        for (int column = 0; column < SORT_COLUMN_COUNT; ++column) {
            // The first click sorts one way, the second the other.
            for (int click = 0; click < 2; ++click) {
                QElapsedTimer timer;
                timer.start();
                window->list->SortByColumn(column);
                Settle(&window->splitter);
                std::printf("sort_%s_%d_ms %.2f\n", kColumns[column], click,
                            timer.nsecsElapsed() / 1e6);
            }
        }
        return 0;
    }
    if (mode == u"extract" && args.size() >= 3) {
        const QString target = QDir(args[2]).absolutePath();
        doc.m_pCurrentFolder = doc.m_pRootItem;
        doc.UpdateAllViews(nullptr, HINT_FOLDER_CHANGED);
        Settle(&window->splitter);
        window->list->ListCtrl()->selectAll();
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
        window->list->OnExtract();
        std::printf("extract_s %.4f\nrows %d\npeak_kib %ld\n", timer.nsecsElapsed() / 1e9,
                    static_cast<int>(window->list->SelectedRecords().size()), PeakKiB());
        return 0;
    }
    std::fprintf(stderr, "viewer_bench: unknown mode\n");
    return 2;
}
