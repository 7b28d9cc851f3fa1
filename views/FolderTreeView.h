#pragma once

// The left pane: the folders of the open image as a tree, the image's root
// at the top. Subfolders are inserted when a folder is first expanded;
// selecting a folder makes it the document's current folder.

#include "CommandIds.h"
#include "LanternDoc.h"

#include <QTreeWidget>
#include <QWidget>

class CLTDataItem;
class CLanternDoc;

class IFrameHost;

// The tree control: labels can never be edited, a right click only takes the
// focus, and there is no context menu. Dotted lines join each item to its
// parent and siblings, and selecting an item expands it while the branches
// the user left collapse (one expanded path at a time).
class CLTTreeCtrl : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CLTTreeCtrl(QWidget* parent = nullptr);

    static CLTDataItem* RecordOf(const QTreeWidgetItem* item);

    // Expands `item` and collapses every expanded item that is not on its
    // path from the top.
    void ExpandOnly(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
};

class CFolderTreeView : public QWidget, public CViewBase, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CFolderTreeView(CLanternDoc* pDoc, QWidget* parent = nullptr);

    CLanternDoc* GetDoc() const { return static_cast<CLanternDoc*>(GetDocument()); }
    CLTTreeCtrl* Tree() const { return m_wndTree; }

    // Builds the tree anew from the document's root and selects the root.
    void OnInitialUpdate();
    void OnUpdate(CViewBase* pSender, std::intptr_t lHint) override;

    // Steps into `pChild`, a direct child folder of the current folder: the
    // answer to WM_SELECT_CHILD_FOLDER with wParam 2.
    int OnSelectChildFolder(int wParam, CLTDataItem* pChild);

    // Selects any folder of the tree, opening the way to it; false when the
    // record is not in the tree.
    bool SelectFolder(CLTDataItem* pFolder);

    // The record of the selected tree item, or null.
    CLTDataItem* GetSelectedRecord() const;

    void SetFrameHost(IFrameHost* pHost) { m_pFrameHost = pHost; }
    Handler CommandHandler(int nID) override;
    // Extracts the selected folder into a folder the user chooses.
    void OnExtract();

    // The answers of the overwrite question during this view's extraction.
    bool m_bOverwriteAll = false;
    bool m_bSkipAll = false;
    bool m_bCancelled = false;

private:
    void FillTree();
    QTreeWidgetItem* InsertItem(CLTDataItem* pRecord, QTreeWidgetItem* parent);
    void InsertSubfolders(QTreeWidgetItem* item);
    void OnSelectionChanged(QTreeWidgetItem* current);
    QTreeWidgetItem* FindItemOf(const CLTDataItem* pRecord) const;

    CLTTreeCtrl* m_wndTree;
    QIcon m_rootIcon;
    IFrameHost* m_pFrameHost = nullptr;
    // Set while the tree selects on its own (filling, stepping into a
    // folder), when the one-path rule must not collapse anything.
    bool m_bSelectingByProgram = false;
};
