#pragma once

// Helpers for the widget tests: a language set written from a few lines
// (LangSet.h), a modal dialog run with the step a user takes in it, clicks,
// and what a widget shows at a point.

#include "LangSet.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `dialog` (anything with DoModal) and takes `step` in it once it is
// the active modal window. A step that leaves it open (keys that answer
// nothing) has it closed with result 0 after two seconds instead of hanging.
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
