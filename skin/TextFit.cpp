#include "TextFit.h"

#include "Scale.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMainWindow>
#include <QScreen>

namespace {

// The main window's font, or null when there is no main window.
const QFont* MainWindowFont()
{
    static QFont font;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget)) {
            font = widget->font();
            return &font;
        }
    }
    return nullptr;
}

} // namespace

QString FitTextToWidth(const QString& text, int width, const QFont* pFont)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return text;
    const QFont* font = pFont ? pFont : MainWindowFont();
    if (!font)
        return text;
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QFontMetrics(*font).elidedText(line, Qt::ElideRight, width);
}

void InstallScreenDpiSource()
{
    SetDisplayDpiSource([] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->logicalDotsPerInchX() : 96.0;
    });
}
