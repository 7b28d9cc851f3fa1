#include "SkinWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

void CentreOverOwner(QWidget* pWindow)
{
    if (!pWindow)
        return;
    QRect area;
    if (QWidget* owner = pWindow->parentWidget())
        area = owner->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
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
