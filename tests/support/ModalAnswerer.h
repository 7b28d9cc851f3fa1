#pragma once

// Answers the modal windows tests raise, as a user would.

#include "AdtMessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// One step per window that comes up; one a step cannot close in two seconds is closed by
// force and counted, so such a fault fails instead of hanging.
class ModalAnswerer : public QObject
{
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalAnswerer(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(20);
    }
    // Answers every window that comes up with the same step.
    static std::unique_ptr<ModalAnswerer> Always(Step step)
    {
        auto answerer = std::make_unique<ModalAnswerer>(std::vector<Step>{});
        answerer->m_always = std::move(step);
        return answerer;
    }
    int Handled() const { return m_nHandled; }
    int Forced() const { return m_nForced; }
    QStringList m_texts; // texts of the message boxes answered

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (modal == m_pCurrent) {
            if (++m_nWaits > 100) {
                ++m_nForced;
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->done(0);
            }
            return;
        }
        // Windows after the last step belong to someone else.
        if (!m_always && m_nHandled >= static_cast<int>(m_steps.size()))
            return;
        m_pCurrent = modal;
        m_nWaits = 0;
        if (auto* box = qobject_cast<CAdtMessageBox*>(modal))
            m_texts << box->Text();
        if (m_always)
            m_always(modal);
        else
            m_steps[static_cast<std::size_t>(m_nHandled)](modal);
        ++m_nHandled;
    }

    std::vector<Step> m_steps;
    Step m_always;
    QTimer m_timer;
    QPointer<QWidget> m_pCurrent;
    int m_nHandled = 0;
    int m_nForced = 0;
    int m_nWaits = 0;
};

// Steps a user takes in the windows the commands raise.
inline ModalAnswerer::Step ChooseFile(const QString& path)
{
    return [path](QWidget* w) {
        auto* dlg = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
        // A folder is entered; a file's path is typed into the name box.
        if (QFileInfo(path).isDir()) {
            dlg->setDirectory(path);
        } else {
            auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(path);
        }
        QMetaObject::invokeMethod(dlg, "accept");
    };
}

// Clicks a message box's first button (OK, or the first answer), or its last (No, or OK alone).
inline ModalAnswerer::Step ClickButton(bool bLast)
{
    return [bLast](QWidget* w) {
        auto* box = qobject_cast<CAdtMessageBox*>(w);
        ASSERT_NE(box, nullptr) << w->metaObject()->className();
        ASSERT_FALSE(box->Buttons().empty());
        QTest::mouseClick(bLast ? box->Buttons().back() : box->Buttons().front(), Qt::LeftButton);
    };
}
inline ModalAnswerer::Step ClickOk()
{
    return ClickButton(false);
}
inline ModalAnswerer::Step ClickLast()
{
    return ClickButton(true);
}
