#include "SkinWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// The screen of the window the user works in: the active window, else the
// first main window shown; null without either.
QScreen* WorkingScreen(const QWidget* pExcept)
{
    if (QWidget* active = QApplication::activeWindow(); active && active != pExcept)
        return active->screen();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != pExcept && top->isVisible() && qobject_cast<QMainWindow*>(top))
            return top->screen();
    return nullptr;
}

} // namespace

void CentreOverOwner(QWidget* pWindow)
{
    if (!pWindow)
        return;
    QRect area;
    if (QWidget* owner = pWindow->parentWidget()) {
        area = owner->window()->frameGeometry();
    } else {
        QScreen* screen = WorkingScreen(pWindow);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen)
            area = screen->availableGeometry();
    }
    if (area.isValid())
        pWindow->move(area.center() - QPoint(pWindow->width() / 2, pWindow->height() / 2));
}

bool CSurfaceDrag::Press(QWidget* pWindow, QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    if (QWindow* handle = pWindow->windowHandle(); handle && handle->startSystemMove())
        return true;
    m_bDragging = true;
    m_ptOffset = event->globalPosition().toPoint() - pWindow->pos();
    return true;
}

bool CSurfaceDrag::Move(QWidget* pWindow, QMouseEvent* event)
{
    if (!m_bDragging)
        return false;
    pWindow->move(event->globalPosition().toPoint() - m_ptOffset);
    return true;
}

bool CSurfaceDrag::Release(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bDragging)
        return false;
    m_bDragging = false;
    return true;
}
