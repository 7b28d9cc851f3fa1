#pragma once

// Fixtures of the application tests: the shipped language resources and
// artwork, and a main frame over the scripted reading module, with the steps
// a user takes in it.

#include "EngineSupport.h"
#include "FileBytes.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "MainFrame.h"
#include "ModalAnswerer.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "TempSettings.h"
#include "Wait.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
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
        Recreate();
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

    // A new window (for a changed system, say), shown and active.
    void Recreate()
    {
        m_frame.reset();
        m_frame = std::make_unique<CMainFrame>(&m_doc);
        m_frame->m_fnWarn = [this](const QString& text) { m_warnings << text; };
        ASSERT_TRUE(m_frame->Create());
        m_frame->show();
        QApplication::setActiveWindow(m_frame.get());
    }
    void Open(const QString& path) { ASSERT_EQ(m_frame->OpenImageFromFrame(path), STATUS_OK); }
    // Opens a scripted image that lives as long as the test.
    const ScriptedImage& OpenScript(const QString& description)
    {
        m_images.push_back(std::make_unique<ScriptedImage>(description));
        Open(m_images.back()->Path());
        return *m_images.back();
    }
    CFileListView* List() const { return m_frame->ListView(); }
    CLTTreeCtrl* Tree() const { return m_frame->TreeView()->Tree(); }

    // The menu item of a command; Trigger runs it as a click on it would.
    QAction* Action(int id) const
    {
        const auto actions = m_frame->menuBar()->findChildren<QAction*>();
        const auto it = std::find_if(actions.begin(), actions.end(),
                                     [id](QAction* a) { return a->data().toInt() == id; });
        return it == actions.end() ? nullptr : *it;
    }
    void Trigger(int id)
    {
        ASSERT_NE(Action(id), nullptr) << id;
        Action(id)->trigger();
    }
    // Gives the list the focus with the rows of these names selected.
    void SelectRows(const QStringList& names)
    {
        QApplication::setActiveWindow(m_frame.get());
        List()->ListCtrl()->setFocus();
        List()->ListCtrl()->clearSelection();
        for (int row = 0; row < List()->Model()->rowCount(); ++row) {
            if (names.contains(List()->Model()->RecordAt(row)->m_strFileName))
                List()->ListCtrl()->selectionModel()->select(List()->Model()->index(row, 0),
                                                             QItemSelectionModel::Select |
                                                                 QItemSelectionModel::Rows);
        }
        ASSERT_EQ(List()->SelectedCount(), names.size());
        ASSERT_EQ(m_frame->ActiveView(), List());
    }
    // Gives the tree the focus with `item` selected.
    void FocusTree(QTreeWidgetItem* item)
    {
        Tree()->setCurrentItem(item);
        QApplication::setActiveWindow(m_frame.get());
        Tree()->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), Tree());
        ASSERT_EQ(m_frame->ActiveView(), m_frame->TreeView());
    }
    // Extracts through Ctrl+E into `target`, answering what comes up after
    // the folder question with `then`.
    ModalAnswerer* ExtractTo(const QString& target, std::vector<ModalAnswerer::Step> then = {})
    {
        then.insert(then.begin(), ChooseFile(target));
        m_answerer = std::make_unique<ModalAnswerer>(std::move(then));
        QApplication::setActiveWindow(m_frame.get());
        QTest::keyClick(m_frame.get(), Qt::Key_E, Qt::ControlModifier);
        return m_answerer.get();
    }

    CLanternDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    QStringList m_warnings;
    QTemporaryDir m_out;
    std::unique_ptr<ModalAnswerer> m_answerer;
    std::vector<std::unique_ptr<ScriptedImage>> m_images;
};
