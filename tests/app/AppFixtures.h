#pragma once

// Fixtures of the application tests: the shipped language resources and
// artwork, and a main frame over the scripted reading module.

#include "AdtMessageBox.h"
#include "EngineSupport.h"
#include "ImageEngine.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "MainFrame.h"
#include "ModalAnswerer.h"
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
        g_pImageEngine = new CImageEngine(ModulePath());
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
    // The reading module the engine loads: the scripted one by default.
    virtual QString ModulePath() const { return FakeModulePath(); }

    CLanternDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_warnings;
};
