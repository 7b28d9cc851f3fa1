#include "CommandIds.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "LTDataItem.h"
#include "QtPrint.h"
#include "WidgetHelpers.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A small tree: folders not in alphabetical order, files of telling sizes.
class Views : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_list->SetFolderTreeView(m_tree.get());
        CLTDataItem* root = m_doc.m_pRootItem;
        m_zeta = root->AddChild(u"\\zeta"_s, KIND_FOLDER, 0);
        m_alpha = root->AddChild(u"\\Alpha"_s, KIND_FOLDER, 0);
        m_deep = m_alpha->AddChild(u"\\Alpha\\Deep"_s, KIND_FOLDER, 0);
        m_deep->AddChild(u"\\Alpha\\Deep\\x.bin"_s, KIND_FILE, 4096);
        root->AddChild(u"\\b.txt"_s, KIND_FILE, 1025);
        root->AddChild(u"\\a.txt"_s, KIND_FILE, 0);
        root->AddChild(u"\\c.txt"_s, KIND_FILE, 1024);
        m_tree->OnInitialUpdate();
        m_list->OnInitialUpdate();
    }
    void Enter(CLTDataItem* folder)
    {
        m_doc.m_pCurrentFolder = folder;
        m_doc.UpdateAllViews(nullptr, HINT_FOLDER_CHANGED);
    }
    QStringList ListNames(int column = 0) const
    {
        QStringList names;
        for (int r = 0; r < m_list->Model()->rowCount(); ++r)
            names << m_list->Model()->index(r, column).data().toString();
        return names;
    }
    // The header's sort arrow: its column and order.
    std::pair<int, Qt::SortOrder> Arrow() const
    {
        const QHeaderView* header = m_list->ListCtrl()->header();
        return {header->sortIndicatorSection(), header->sortIndicatorOrder()};
    }
    QStringList ChildLabels(QTreeWidgetItem* item) const
    {
        QStringList labels;
        for (int i = 0; i < item->childCount(); ++i)
            labels << item->child(i)->text(0);
        return labels;
    }

    CLanternDoc m_doc;
    std::unique_ptr<CFolderTreeView> m_tree = std::make_unique<CFolderTreeView>(&m_doc);
    std::unique_ptr<CFileListView> m_list = std::make_unique<CFileListView>(&m_doc);
    CLTDataItem* m_zeta = nullptr;
    CLTDataItem* m_alpha = nullptr;
    CLTDataItem* m_deep = nullptr;
};

TEST_F(Views, ModelPassesTheTester)
{
    QAbstractItemModelTester tester(m_list->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    m_list->SortByColumn(SORT_COLUMN_SIZE);
    Enter(m_alpha);
    EXPECT_EQ(m_list->Model()->rowCount(), 1);
}

// Folders only, sorted, filled when expanded; selecting expands and folds the branches left.
TEST_F(Views, TreeShowsFoldersSortedFillsLazilyAndKeepsOnePathExpanded)
{
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_doc.m_pRootItem) << "the root is selected at first";
    CLTTreeCtrl* tree = m_tree->Tree();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(ChildLabels(root), (QStringList{u"Alpha"_s, u"zeta"_s}));
    QTreeWidgetItem* alpha = root->child(0);
    QTreeWidgetItem* zeta = root->child(1);
    EXPECT_EQ(alpha->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_NE(zeta->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator)
        << "a folder without subfolders has no expand button";
    EXPECT_EQ(alpha->childCount(), 0) << "not expanded yet";
    alpha->setExpanded(true);
    alpha->setExpanded(false);
    tree->setCurrentItem(alpha);
    EXPECT_TRUE(alpha->isExpanded());
    EXPECT_EQ(ChildLabels(alpha), QStringList{u"Deep"_s}) << "inserted once";
    tree->setCurrentItem(alpha->child(0));
    EXPECT_TRUE(alpha->isExpanded()) << "an ancestor of the selection stays open";
    tree->setCurrentItem(zeta);
    EXPECT_FALSE(alpha->isExpanded());
    EXPECT_TRUE(root->isExpanded());
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_zeta);
}

TEST_F(Views, ListRowsAreTheCurrentFolderChildren)
{
    EXPECT_EQ(ListNames(), (QStringList{u"zeta"_s, u"Alpha"_s, u"b.txt"_s, u"a.txt"_s, u"c.txt"_s}))
        << "row i is child i, in the order the data holds";
    const QString kb = u" "_s + LoadResString(6052);
    EXPECT_EQ(ListNames(SORT_COLUMN_SIZE).mid(1, 4),
              (QStringList{u"<4"_s + kb + u'>', u"2"_s + kb, u"0"_s + kb, u"1"_s + kb}));
    CFileListModel* model = m_list->Model();
    // A record without a time shows none; one with a time shows it padded.
    EXPECT_TRUE(model->index(2, SORT_COLUMN_MODIFIED).data().toString().isEmpty());
    model->RecordAt(2)->m_ftModified = 133000000000000000; // 2022
    const QString date = model->index(2, SORT_COLUMN_MODIFIED).data().toString();
    EXPECT_TRUE(date.startsWith(u' ') && date.endsWith(u' ')) << date;
    EXPECT_EQ(model->index(2, 0).data(Qt::ToolTipRole).toString(), u"b.txt");
}

TEST_F(Views, HeaderClicksSortPerFolderAndKeepSelectedPositions)
{
    m_list->ListCtrl()->selectionModel()->select(
        m_list->Model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_list->SortByColumn(SORT_COLUMN_SIZE);
    EXPECT_EQ(ListNames(), (QStringList{u"zeta"_s, u"Alpha"_s, u"a.txt"_s, u"c.txt"_s, u"b.txt"_s}))
        << "folders first, then the smallest file";
    EXPECT_EQ(Arrow(), std::pair(SORT_COLUMN_SIZE, Qt::AscendingOrder));
    ASSERT_EQ(m_list->SelectedRecords().size(), 1);
    EXPECT_EQ(m_list->SelectedRecords().first()->m_strFileName, u"a.txt")
        << "the selected position stays selected, whatever lies there now";

    m_list->SortByColumn(SORT_COLUMN_SIZE);
    EXPECT_EQ(ListNames().first(), u"b.txt") << "descending: files first, the largest on top";
    EXPECT_EQ(Arrow(), std::pair(SORT_COLUMN_SIZE, Qt::DescendingOrder));

    // Another folder has its own state; coming back shows the same order.
    Enter(m_alpha);
    EXPECT_EQ(Arrow().first, -1);
    Enter(m_doc.m_pRootItem);
    EXPECT_EQ(ListNames().first(), u"b.txt");
    EXPECT_EQ(Arrow(), std::pair(SORT_COLUMN_SIZE, Qt::DescendingOrder));

    m_list->SetViewStyle(LVS_ICON);
    m_list->SetViewStyle(LVS_REPORT);
    EXPECT_EQ(ListNames().first(), u"b.txt") << "switching styles keeps the order";

    // A name column as the loader leaves it turns descending at once; an empty folder sorts.
    m_doc.m_pRootItem->m_nSortState[SORT_COLUMN_NAME] = 1;
    m_list->SortByColumn(SORT_COLUMN_NAME);
    EXPECT_EQ(ListNames().first(), u"c.txt");
    Enter(m_zeta);
    m_list->SortByColumn(SORT_COLUMN_TYPE);
    EXPECT_EQ(Arrow().first, SORT_COLUMN_TYPE);
}

TEST_F(Views, DoubleClickOnAFolderStepsIntoItAndAReloadLeavesNoRows)
{
    // Alpha's item was never expanded: stepping into Deep expands it first.
    m_list->OpenRow(1); // Alpha
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_alpha);
    EXPECT_EQ(m_tree->GetSelectedRecord(), m_alpha);
    EXPECT_EQ(ListNames(), QStringList{u"Deep"_s});
    m_tree->Tree()->currentItem()->setExpanded(false);
    m_list->OpenRow(0); // Deep, while Alpha's item is collapsed
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_deep);
    EXPECT_EQ(ListNames(), QStringList{u"x.bin"_s});
    // A record that is no child of the current folder is ignored.
    EXPECT_EQ(m_tree->OnSelectChildFolder(2, m_zeta), 0);
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_deep);
    EXPECT_EQ(m_tree->OnSelectChildFolder(1, m_deep), 0);
    m_list->OpenRow(57); // below the last row: nothing
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_deep);

    // Reloading from down there leaves no dangling rows.
    m_doc.ResetTree();
    m_doc.UpdateAllViews(nullptr, HINT_IMAGE_RELOADED);
    EXPECT_EQ(m_doc.m_pCurrentFolder, m_doc.m_pRootItem);
    EXPECT_EQ(m_list->Model()->rowCount(), 0);
    EXPECT_EQ(m_tree->Tree()->topLevelItemCount(), 1);
    m_list->ListCtrl()->selectAll();
    EXPECT_TRUE(m_list->SelectedRecords().isEmpty());
    CCmdUI ui;
    ui.nID = ID_FILE_VIEW;
    EXPECT_TRUE(m_list->OnUpdateCommand(ui));
    EXPECT_FALSE(ui.bEnabled);
}

} // namespace
