#pragma once

// Behaviour the skinned dialogs share: placing a dialog over its owner, and
// dragging a frameless window by any free point of its surface.

#include <QPoint>

class QMouseEvent;
class QWidget;

// Centres `pWindow` in its current size over its parent's window or, without
// a parent, over the available area of the screen that holds the active
// window (else the first main window shown, else the primary screen).
void CentreOverOwner(QWidget* pWindow);

// Moves a frameless window while the left mouse button is held on it: the
// window system moves it where it can (QWindow::startSystemMove); elsewhere
// (offscreen, some compositors) the window follows the mouse by hand. Call it
// from the window's mouse handlers; each returns true when it used the event.
class CSurfaceDrag
{
public:
    bool Press(QWidget* pWindow, QMouseEvent* event);
    bool Move(QWidget* pWindow, QMouseEvent* event);
    bool Release(QMouseEvent* event);

private:
    bool m_bDragging = false;
    QPoint m_ptOffset;
};
