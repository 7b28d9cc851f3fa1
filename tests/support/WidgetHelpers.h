#pragma once

// Helpers for the widget tests: a language set written from a few lines,
// a modal dialog run with the step a user takes in it, clicks, and what a
// widget shows at a point.

#include "FileBytes.h"
#include "LangResources.h"

#include <QApplication>
#include <QDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// The `[strings]` lines given (`NUMBER = text`, one a line) as the language
// set while this lives; the set before comes back afterwards.
class ScopedLangSet
{
public:
    explicit ScopedLangSet(const QByteArray& strings) : m_pBefore(GetLangResources())
    {
        const QString path = m_dir.filePath(QStringLiteral("ADTRC.lang"));
        m_bLoaded = WriteBytes(path, "[language]\ncode = ENU\n[strings]\n" + strings) &&
                    m_resources.LoadFile(path);
        SetLangResources(&m_resources);
    }
    ~ScopedLangSet() { SetLangResources(m_pBefore); }
    ScopedLangSet(const ScopedLangSet&) = delete;
    ScopedLangSet& operator=(const ScopedLangSet&) = delete;
    bool Loaded() const { return m_bLoaded; }

private:
    QTemporaryDir m_dir;
    CLangResources m_resources;
    CLangResources* m_pBefore;
    bool m_bLoaded = false;
};

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
