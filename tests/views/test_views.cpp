#include "CommandIds.h"
#include "CommandView.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "SkinControls.h"
#include "StoredSettings.h"
#include "TempSettings.h"
#include "WidgetHelpers.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

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

// An ascending sort's arrow points up, a descending one's down, whatever the style draws.
TEST_F(Views, SortArrowPointsUpForAscending)
{
    m_list->resize(600, 300);
    m_list->show();
    QHeaderView* header = m_list->ListCtrl()->header();
    auto arrowRows = [&](int column = 0) {
        const QImage shot = header->grab().toImage();
        const QRect section(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                            header->height());
        const QRect arrow = CLTHeaderCtrl::ArrowRect(section, column == SORT_COLUMN_SIZE);
        const QColor ink = header->palette().color(QPalette::ButtonText);
        // Inked pixels of the arrow's top and bottom rows.
        std::pair<int, int> rows{0, 0};
        for (int x = arrow.left(); x <= arrow.right(); ++x) {
            rows.first += shot.pixelColor(x, arrow.top()) == ink;
            rows.second += shot.pixelColor(x, arrow.bottom()) == ink;
        }
        return rows;
    };
    m_list->SortByColumn(SORT_COLUMN_NAME);
    ASSERT_EQ(Arrow().second, Qt::AscendingOrder);
    const auto up = arrowRows();
    EXPECT_LT(up.first, up.second) << "narrow top, wide base";
    m_list->SortByColumn(SORT_COLUMN_NAME);
    const auto down = arrowRows();
    EXPECT_GT(down.first, down.second);
    // The size column's arrow sits at the other end, clear of the right-aligned label.
    m_list->SortByColumn(SORT_COLUMN_SIZE);
    const auto size = arrowRows(SORT_COLUMN_SIZE);
    EXPECT_NE(size.first, size.second);
}

// The command bar alone (clicks and enabling are tests/app/test_command_bar.cpp's).
const std::vector<int> kBarCommands = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                                       ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};

// The strip strings, each naming an image whose colour spells its number.
const int kStripStrings[] = {627, 628, 629, 630, 632, 633, 634, 635, 636, 638, 61826};

QColor StripColour(int nString)
{
    return QColor(nString & 0xFF, (nString >> 8) & 0xFF, 0x5A);
}

// A program folder with one-colour strips and tooltips naming their commands.
class CommandBar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString folder = m_settings.Path() + u"/program"_s;
        QDir().mkpath(folder + u"/Image/Bar"_s);
        QByteArray strings;
        for (const int id : kStripStrings) {
            QImage strip(4 * 6, 5, QImage::Format_ARGB32);
            strip.fill(StripColour(id));
            ASSERT_TRUE(strip.save(folder + u"/Image/Bar/s%1.png"_s.arg(id)));
            strings += u"%1 = Image\\\\Bar\\\\s%1.png\n"_s.arg(id).toUtf8();
        }
        for (const int id : kBarCommands)
            strings += u"%1 = Tip of %1\n"_s.arg(id).toUtf8();
        m_lang = std::make_unique<ScopedLangSet>(strings);
        ASSERT_TRUE(m_lang->Loaded());
        SetProgramFolderForTesting(folder);
        ResetScaleSettingsForTesting();
    }
    void TearDown() override
    {
        SetDisplayDpiSource(nullptr);
        ResetScaleSettingsForTesting();
        SetProgramFolderForTesting(QString());
    }
    // Scaling on, on a display of `dpi` pixels per inch.
    void SetDisplay(double dpi)
    {
        DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"EnableDPIAware"_s);
        enable.Set(1);
        ASSERT_TRUE(enable.Write());
        ResetScaleSettingsForTesting();
        SetDisplayDpiSource([dpi] { return dpi; });
    }
    TempSettings m_settings;
    std::unique_ptr<ScopedLangSet> m_lang;
};

// One evenly spaced row, half as large again at 1.5 scale, each button with a strip of its own
// (another at 1.5) and its tooltip.
TEST_F(CommandBar, RowStripsAndTooltipsAtBothScales)
{
    QSize unscaled;
    std::map<int, int> unscaledStrip;
    for (const double dpi : {96.0, 144.0}) {
        SCOPED_TRACE(dpi);
        SetDisplay(dpi);
        auto bar = std::make_unique<CLTCommandView>();
        bar->resize(400, 60);
        bar->CreateButtons(kBarCommands);
        bar->OnInitialUpdate();
        bar->show();
        ASSERT_EQ(bar->ButtonCount(), 6u);
        const CAlphaButton* first = bar->Button(kBarCommands[0]);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->size(), dpi == 96 ? (unscaled = first->size()) : unscaled * 1.5);
        const int step = bar->Button(kBarCommands[1])->x() - first->x();
        EXPECT_GT(step, first->width()) << "buttons do not touch";
        std::set<int> strips;
        for (std::size_t i = 0; i < kBarCommands.size(); ++i) {
            const int id = kBarCommands[i];
            CAlphaButton* button = bar->Button(id);
            ASSERT_NE(button, nullptr) << id;
            EXPECT_EQ(button->geometry(),
                      QRect(first->pos() + QPoint(int(i) * step, 0), first->size()))
                << id;
            // The string whose strip the button shows, read back from its colour.
            const QColor colour = ShownColour(button, button->rect().center());
            const int strip = colour.red() | (colour.green() << 8);
            EXPECT_TRUE(std::count(std::begin(kStripStrings), std::end(kStripStrings), strip))
                << id;
            strips.insert(strip);
            if (dpi != 96) {
                EXPECT_NE(strip, unscaledStrip[id]) << id;
            }
            unscaledStrip.try_emplace(id, strip);
            const QPoint centre = button->rect().center();
            QHelpEvent help(QEvent::ToolTip, centre, button->mapToGlobal(centre));
            QApplication::sendEvent(button, &help);
            EXPECT_EQ(QToolTip::text(), u"Tip of %1"_s.arg(id));
            QToolTip::hideText();
        }
        EXPECT_TRUE(dpi != 96 || strips.size() == 6u) << "no two share a picture";
    }
}

} // namespace
