#pragma once

// Fixtures of the application tests: the shipped language resources and
// artwork, and a main frame over the scripted reading module.

#include "AdtMessageBox.h"
#include "EngineSupport.h"
#include "ImageEngine.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "MainFrame.h"
#include "ProgramPaths.h"
#include "TempSettings.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// The shipped resources and artwork, as laid beside the built program.
class WithResources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProgramFolderForTesting(QStringLiteral(LANTERN_TEST_RUNTIME_DIR));
        ASSERT_TRUE(m_res.LoadFile(QStringLiteral(LANTERN_TEST_RUNTIME_DIR "/ADTRC.lang")));
        SetLangResources(&m_res);
    }
    void TearDown() override
    {
        SetLangResources(nullptr);
        SetProgramFolderForTesting(QString());
    }
    CLangResources m_res;
    TempSettings m_settings;
};

class Frame : public WithResources
{
protected:
    void SetUp() override
    {
        WithResources::SetUp();
        g_pImageEngine = new CImageEngine(FakeModulePath());
        g_pImageEngine->SetMessagePump([] { QCoreApplication::processEvents(); });
        m_frame = std::make_unique<CMainFrame>(&m_doc);
        m_frame->m_fnWarn = [this](const QString& text) { m_warnings << text; };
        ASSERT_TRUE(m_frame->Create());
        m_frame->show();
    }
    void TearDown() override
    {
        m_frame.reset();
        delete g_pImageEngine;
        g_pImageEngine = nullptr;
        WithResources::TearDown();
    }
    CLanternDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_warnings;
};

// Answers the modal windows that come up, one step per window, as a user
// would. A window a step cannot close within two seconds (a disabled one)
// is closed by force and counted, so such a fault fails instead of hanging.
class ModalAnswerer : public QObject
{
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalAnswerer(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(20);
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
        if (modal == m_pCurrent && m_nHandled <= static_cast<int>(m_steps.size())) {
            if (++m_nWaits > 100) {
                ++m_nForced;
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->done(0);
            }
            return;
        }
        // Windows after the last step belong to someone else.
        if (m_nHandled >= static_cast<int>(m_steps.size()))
            return;
        m_pCurrent = modal;
        m_nWaits = 0;
        if (auto* box = qobject_cast<CAdtMessageBox*>(modal))
            m_texts << box->Text();
        m_steps[static_cast<std::size_t>(m_nHandled)](modal);
        ++m_nHandled;
    }

    std::vector<Step> m_steps;
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
