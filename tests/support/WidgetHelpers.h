#pragma once

// Widget test helpers: modal dialogs run with a user's step, clicks, shown colours.

#include "LangSet.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `dialog` and takes `step` in it once active; left open, it is closed with 0 after
// two seconds instead of hanging.
template <class Dialog>
int RunModal(Dialog& dialog, const std::function<void(QWidget* open)>& step)
{
    QTimer::singleShot(0, [&step] {
        QWidget* open = QApplication::activeModalWidget();
        if (auto* modal = qobject_cast<QDialog*>(open))
            QTimer::singleShot(2000, modal, [modal] { modal->done(0); });
        if (open)
            step(open);
    });
    return dialog.DoModal();
}

// A left click in the middle of `widget`.
inline void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// The colour `widget` shows at `pt` (its own coordinates).
inline QColor ShownColour(QWidget* widget, QPoint pt)
{
    return widget->grab().toImage().pixelColor(pt);
}
