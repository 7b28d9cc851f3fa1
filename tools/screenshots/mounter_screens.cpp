// Fenmount's window with one image mounted through the stand-in udisks2,
// on a real display: mounter_screens OUTPUT_FOLDER [IMAGE]
// (under xvfb-run). Writes mounter-mounted.png.

#include "LangResources.h"
#include "MockUDisks.h"
#include "MounterWnd.h"
#include "ProgramPaths.h"

#include <QApplication>
#include <QTreeWidget>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mounter_screens OUTPUT_FOLDER [IMAGE]\n");
        return 2;
    }
    SetProgramFolderForTesting(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR));
    CLangResources resources;
    resources.LoadFile(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/Fenmount.lang"));
    SetLangResources(&resources);

    // Mounted where a desktop would mount it, as near as a test may.
    MockUDisks udisks;
    QTemporaryDir media;
    udisks.SetMountRoot(media.filePath(QStringLiteral("run/media/") +
                                       qEnvironmentVariable("USER", QStringLiteral("user"))));
    const QString error = udisks.Start();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", udisks.Address().toUtf8());
    FakeXdgOpen xdgOpen; // no file manager on the virtual display

    const QString image = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                   : QStringLiteral(LANTERN_BUILT_RUNTIME_DIR "/demo.iso");
    CMounterWnd wnd;
    wnd.show();
    wnd.MountImage(image);
    if (!WaitFor([&] { return !wnd.IsBusy(); }) || wnd.Mounted().size() != 1) {
        std::fprintf(stderr, "the image was not mounted\n");
        return 1;
    }
    wnd.List()->setFocus();
    for (int i = 0; i < 30; ++i) { // let the window settle
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/mounter-mounted.png");
    if (!wnd.grab().save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    wnd.close();
    return 0;
}
