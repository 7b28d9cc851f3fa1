// Fenmount: mounts disc images read-only through udisks2.

#include "AdtMessageBox.h"
#include "MounterApp.h"
#include "MounterWnd.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Help needs no display, so it comes before the application.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "-h") != 0)
            continue;
        std::fputs("Usage: Fenmount [IMAGE [/INTEROPMODE]]\n"
                   "Mounts disc images read-only through udisks2.\n\n"
                   "  IMAGE          mount this image and open its files\n"
                   "  /INTEROPMODE   end once IMAGE is unmounted (as the viewer starts it)\n"
                   "  -h, --help     show this help\n",
                   stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fenmount"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!LoadMounterLanguage()) {
        // Without its texts the program can say only this, in English.
        CAdtMessageBox box(QStringLiteral("Fenmount cannot start: its texts (Fenmount.lang) are "
                                          "missing beside the program."),
                           QStringLiteral("Fenmount"), MB_OK | MB_ICONERROR, nullptr,
                           MESSAGE_BOX_DEFAULT_ICON, false);
        box.DoModal();
        return 1;
    }
    const std::unique_ptr<CMounterInstance> instance =
        CMounterInstance::Start(ParseMounterArgs(args));
    if (!instance)
        return 0;
    return QApplication::exec();
}
