// Fenmount: mounts disc images read-only through udisks2.

#include "MounterApp.h"
#include "MounterWnd.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fenmount"));
    LoadMounterLanguage();
    QStringList args = QApplication::arguments();
    args.removeFirst();
    const std::unique_ptr<CMounterInstance> instance =
        CMounterInstance::Start(ParseMounterArgs(args));
    if (!instance)
        return 0;
    return QApplication::exec();
}
