// Screenshots of the burner on a real display (run under Xvfb):
//   burner_screens OUTPUT_FOLDER
// burner-no-drive.png  the window when no drive is found
// burner-burning.png   a burn to a stdio: drive under way

#include "ApProgressCtrl.h"
#include "BurnerFixtures.h"
#include "BurnerStart.h"
#include "BurnerWindow.h"
#include "ProgramPaths.h"
#include "SkinControls.h"

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <libburn/libburn.h>

namespace {
bool Save(QWidget* window, const QString& path)
{
    QTest::qWait(300); // let the window system show it
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: burner_screens OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    SetProgramFolderForTesting(QStringLiteral(LANTERN_BUILT_RUNTIME_DIR));
    QTemporaryDir dir;
    if (!LoadBurnerTexts() || !dir.isValid() || !InitBurnLibrary())
        return 1;
    const QString image = MakeBurnerImage(dir.path(), 40 * 1024 * 1024);
    if (image.isEmpty())
        return 1;
    bool ok = true;
    {
        char none[] = "/dev/lantern-no-such-burner";
        burn::burn_drive_add_whitelist(none);
        CBurnerWindow window(image, QString(), 0);
        window.show();
        ok &= Save(&window, out + QStringLiteral("/burner-no-drive.png"));
        burn::burn_drive_clear_whitelist();
    }
    {
        CBurnerWindow window(image,
                             QStringLiteral("stdio:") + dir.filePath(QStringLiteral("drive")), 0);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return 1;
        window.SpeedChooser()->setCurrentIndex(window.SpeedChooser()->findData(4 * 1385));
        QTest::mouseClick(window.BurnButton(), Qt::LeftButton);
        // The click arrives as a posted message.
        ok &= WaitUntil([&] { return window.IsBusy(); });
        ok &= WaitUntil([&] { return window.ProgressBar()->Pos() >= 40 || !window.IsBusy(); });
        if (!window.IsBusy())
            std::fprintf(stderr, "the burn did not run: %s\n", qPrintable(window.StatusText()));
        ok &= window.IsBusy() && Save(&window, out + QStringLiteral("/burner-burning.png"));
        QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
        WaitUntil([&] { return !window.IsBusy(); });
    }
    return ok ? 0 : 1;
}
