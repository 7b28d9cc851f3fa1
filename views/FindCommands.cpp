// The file list's Find: the search line, the search that runs between
// keystrokes, and the list of what it found.

#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "ImageEngine.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "TreeSearch.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int IDS_FIND_PLACEHOLDER = 9346;

// Records a search looks at before it lets keystrokes in: about a
// millisecond's work, so the line never lags behind the typing.
constexpr std::size_t kFindStep = 20000;

} // namespace

void CFileListView::SetUpFindLine()
{
    m_pFindLine->setObjectName(QStringLiteral("FindLine"));
    m_pFindLine->setPlaceholderText(LoadResString(IDS_FIND_PLACEHOLDER));
    m_pFindLine->setClearButtonEnabled(true);
    m_pFindLine->hide();
    m_pFindLine->installEventFilter(this);
    connect(m_pFindLine, &QLineEdit::textEdited, this,
            [this](const QString& text) { StartFind(text); });
    m_pFindTimer->setSingleShot(false);
    m_pFindTimer->setInterval(0);
    connect(m_pFindTimer, &QTimer::timeout, this, [this] { StepFind(); });
}

bool CFileListView::ShowsResults() const
{
    return m_pModel->ShowsResults();
}

void CFileListView::OnFind()
{
    m_pFindLine->show();
    m_pFindLine->setFocus(Qt::ShortcutFocusReason);
    m_pFindLine->selectAll();
}

void CFileListView::EndFind()
{
    m_pFindTimer->stop();
    m_pSearch.reset();
    const bool bHadFocus = m_pFindLine->hasFocus();
    m_pFindLine->clear();
    m_pFindLine->hide();
    Refresh();
    if (bHadFocus)
        ActiveView()->setFocus(Qt::OtherFocusReason);
}

void CFileListView::StartFind(const QString& text)
{
    // A new keystroke makes the search under way stale.
    m_pFindTimer->stop();
    m_pSearch.reset();
    CLanternDoc* doc = GetDoc();
    if (text.isEmpty() || !doc || !doc->m_pRootItem ||
        (g_pImageEngine && g_pImageEngine->IsLoading())) {
        Refresh(); // back to the folder
        return;
    }
    m_pSearch = std::make_unique<CTreeSearch>(doc->m_pRootItem, text);
    StepFind();
    if (m_pSearch)
        m_pFindTimer->start();
}

void CFileListView::StepFind()
{
    if (!m_pSearch || !m_pSearch->Step(kFindStep))
        return;
    m_pFindTimer->stop();
    std::vector<CLTDataItem*> found;
    found.reserve(m_pSearch->Found().size());
    for (const CLTDataItem* item : m_pSearch->Found())
        found.push_back(const_cast<CLTDataItem*>(item)); // the tree's own records
    m_pSearch.reset();
    std::fill(std::begin(m_nResultSort), std::end(m_nResultSort), 0);
    m_pModel->SetResults(std::move(found));
    m_wndList->setColumnWidth(CFileListModel::kFolderColumn, 260);
    UpdateSortArrows(nullptr);
}

void CFileListView::ShowInFolder(CLTDataItem* record)
{
    CLTDataItem* folder = record->GetParent();
    EndFind();
    if (!folder || !m_pFolderTreeView || !m_pFolderTreeView->SelectFolder(folder))
        return;
    const CChildList& children = folder->Children();
    const auto at = std::find(children.begin(), children.end(), record);
    if (at == children.end() || m_pModel->Folder() != folder)
        return;
    const QModelIndex index = m_pModel->index(static_cast<int>(at - children.begin()), 0);
    m_wndList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    ActiveView()->scrollTo(index);
    ActiveView()->setFocus(Qt::OtherFocusReason);
}

void CFileListView::SortResults(int column)
{
    if (column < 0 || column > CFileListModel::kFolderColumn)
        return;
    int& state = m_nResultSort[column];
    const int direction = state != 0 ? -state : 1;
    std::fill(std::begin(m_nResultSort), std::end(m_nResultSort), 0);
    state = direction;
    std::vector<CLTDataItem*>& results = m_pModel->Results();
    if (column == CFileListModel::kFolderColumn) {
        // By folder, and by name within one.
        const ItemOrdering byName = GetItemOrdering(SORT_COLUMN_NAME, 1);
        std::stable_sort(results.begin(), results.end(),
                         [&](const CLTDataItem* a, const CLTDataItem* b) {
                             const int c = CompareNoCase(FolderOf(a), FolderOf(b)) * direction;
                             return c != 0 ? c < 0 : byName(a, b);
                         });
    } else {
        std::stable_sort(results.begin(), results.end(), GetItemOrdering(column, direction));
    }
    m_pModel->RowsReordered();
    m_wndList->header()->setSortIndicator(column,
                                          direction > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// Keys of the search line, and Escape in the list of results.
bool CFileListView::FindKey(QObject* watched, const QKeyEvent* key)
{
    const bool bPlain =
        key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
    if (!bPlain)
        return false;
    const bool bInList = watched == m_wndList || watched == m_wndIcons;
    if (key->key() == Qt::Key_Escape && (watched == m_pFindLine || (bInList && ShowsResults()))) {
        EndFind();
        return true;
    }
    if (watched != m_pFindLine)
        return false;
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // Into the results, at the first when none is current.
        if (!ShowsResults() || m_pModel->rowCount() == 0)
            return true;
        if (!ActiveView()->currentIndex().isValid())
            m_wndList->selectionModel()->setCurrentIndex(m_pModel->index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        ActiveView()->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return false;
}
