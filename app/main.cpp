// The viewer's program file. For now it loads the language resources,
// shows the main window with its title, icon and main menu, and names the
// image it was given; browsing the image comes with the image engine.

#include "LangResources.h"
#include "ProgramPaths.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

namespace {

constexpr int IDS_APP_TITLE = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDI_SMALL = 649;
constexpr int ID_APP_EXIT = 57665;

void FillMenu(QMenu* menu, const std::vector<CResMenuItem>& items, QMainWindow* window)
{
    for (const CResMenuItem& item : items) {
        switch (item.nKind) {
        case CResMenuItem::Separator:
            menu->addSeparator();
            break;
        case CResMenuItem::Popup:
            FillMenu(menu->addMenu(item.strText), item.children, window);
            break;
        case CResMenuItem::Command: {
            const auto tab = item.strText.indexOf(QLatin1Char('\t'));
            QAction* action = menu->addAction(item.strText.left(tab));
            if (tab >= 0)
                action->setShortcut(QKeySequence(item.strText.mid(tab + 1)));
            if (item.nId == ID_APP_EXIT)
                QObject::connect(action, &QAction::triggered, window, &QMainWindow::close);
            else
                action->setEnabled(false);
            break;
        }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    const QString resourcePath = ProgramRelativePath(QStringLiteral("ADTRC.lang"));
    CLangResources resources;
    if (!resources.LoadFile(resourcePath)) {
        QMessageBox::critical(nullptr, QString(),
                              QStringLiteral("The file [%1] is missing.\r\nPlease reinstall "
                                             "application.")
                                  .arg(resourcePath));
        return 1;
    }
    SetLangResources(&resources);

    QMainWindow window;
    window.setWindowTitle(LoadResString(IDS_APP_TITLE));
    const QString iconPath = resources.IconPath(IDI_SMALL);
    if (!iconPath.isEmpty())
        window.setWindowIcon(QIcon(iconPath));
    if (const CResMenu* menu = resources.Menu(IDR_MAINFRAME)) {
        for (const CResMenuItem& popup : menu->items) {
            if (popup.nKind == CResMenuItem::Popup)
                FillMenu(window.menuBar()->addMenu(popup.strText), popup.children, &window);
        }
    }
    const QStringList args = QApplication::arguments();
    if (args.size() > 1 && QFileInfo::exists(args[1]))
        window.statusBar()->showMessage(QFileInfo(args[1]).absoluteFilePath());
    window.resize(800, 400);
    window.show();
    const int result = app.exec();
    SetLangResources(nullptr);
    return result;
}
