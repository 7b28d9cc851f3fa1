#include "FileListView.h"

#include "FileListModel.h"
#include "FolderTreeView.h"
#include "FrameHost.h"
#include "ImageEngine.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "StoredSettings.h"

#include <QFile>
#include <QHeaderView>
#include <QStackedLayout>

CLTListCtrl::CLTListCtrl(QWidget* parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("FileList%1").arg(IDC_FILE_LIST));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::NoContextMenu);
    setSortingEnabled(false); // the view sorts the data itself
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setStretchLastSection(false);
}

CFileListView::CFileListView(CLanternDoc* pDoc, QWidget* parent)
    : QWidget(parent), m_pModel(new CFileListModel(this)), m_wndList(new CLTListCtrl(this)),
      m_wndIcons(new QListView(this)), m_pStack(new QStackedLayout(this))
{
    if (pDoc)
        pDoc->AddView(this);
    m_pStack->setContentsMargins(0, 0, 0, 0);
    m_wndList->setModel(m_pModel);
    m_wndIcons->setModel(m_pModel);
    m_wndIcons->setSelectionModel(m_wndList->selectionModel());
    m_wndIcons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_wndIcons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_wndIcons->setContextMenuPolicy(Qt::NoContextMenu);
    m_wndIcons->setResizeMode(QListView::Adjust);
    m_wndIcons->setMovement(QListView::Static);
    m_pStack->addWidget(m_wndList);
    m_pStack->addWidget(m_wndIcons);

    // The date column is at least as wide as a date and time in the user's
    // format, so the text is not cut in the common case.
    const int dateWidth =
        m_wndList->fontMetrics().horizontalAdvance(QStringLiteral(" 28.12.2026 23:59:59 ")) + 16;
    const int widths[SORT_COLUMN_COUNT] = {200, 100, 120, std::max(120, dateWidth)};
    for (int i = 0; i < SORT_COLUMN_COUNT; ++i)
        m_wndList->setColumnWidth(i, widths[i]);

    connect(m_wndList->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortByColumn(column); });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_wndList),
                                    static_cast<QAbstractItemView*>(m_wndIcons)}) {
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { OpenRow(index.row()); });
    }
    SetViewStyle(LVS_REPORT);
}

CFileListView::~CFileListView()
{
    // The copies made to view files go with the view.
    for (const QString& path : m_listTempFiles) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(path);
    }
    m_listTempFiles.clear();
}

void CFileListView::OnInitialUpdate()
{
    Refresh();
}

void CFileListView::OnUpdate(CViewBase*, std::intptr_t lHint)
{
    if (lHint == HINT_FOLDER_CHANGED || lHint == HINT_IMAGE_RELOADED)
        Refresh();
}

void CFileListView::Refresh()
{
    CLanternDoc* doc = GetDoc();
    if (!doc)
        return;
    // Rows are read from the folder on demand, so a folder that is gone must
    // never stay behind: without a current folder the list is empty.
    m_pModel->SetFolder(doc->m_pCurrentFolder);
    if (doc->m_pCurrentFolder)
        UpdateSortArrows(doc->m_pCurrentFolder);
}

void CFileListView::SortByColumn(int column)
{
    CLanternDoc* doc = GetDoc();
    CLTDataItem* folder = doc ? doc->m_pCurrentFolder : nullptr;
    if (!folder || column < 0 || column >= SORT_COLUMN_COUNT)
        return;
    for (int i = 0; i < SORT_COLUMN_COUNT; ++i) {
        if (i == column)
            folder->m_nSortState[i] = folder->m_nSortState[i] != 0 ? -folder->m_nSortState[i] : 1;
        else
            folder->m_nSortState[i] = 0;
    }
    SortChildren(folder, column, folder->m_nSortState[column]);
    m_pModel->RowsReordered();
    UpdateSortArrows(folder);
}

void CFileListView::UpdateSortArrows(const CLTDataItem* pFolder)
{
    QHeaderView* header = m_wndList->header();
    for (int i = 0; i < SORT_COLUMN_COUNT; ++i) {
        if (pFolder && pFolder->m_nSortState[i] != 0) {
            header->setSortIndicator(i, pFolder->m_nSortState[i] > 0 ? Qt::AscendingOrder
                                                                     : Qt::DescendingOrder);
            return;
        }
    }
    header->setSortIndicator(-1, Qt::AscendingOrder);
}

void CFileListView::SetViewStyle(unsigned style)
{
    switch (style) {
    case LVS_REPORT:
        m_pStack->setCurrentWidget(m_wndList);
        break;
    case LVS_ICON:
        m_wndIcons->setViewMode(QListView::IconMode);
        m_wndIcons->setIconSize(QSize(32, 32));
        m_wndIcons->setGridSize(QSize(96, 72));
        m_wndIcons->setWordWrap(true);
        m_pStack->setCurrentWidget(m_wndIcons);
        break;
    case LVS_SMALLICON: // small icons in rows
    case LVS_LIST:      // small icons in columns
        m_wndIcons->setViewMode(QListView::ListMode);
        m_wndIcons->setFlow(style == LVS_SMALLICON ? QListView::LeftToRight
                                                   : QListView::TopToBottom);
        m_wndIcons->setWrapping(true);
        m_wndIcons->setIconSize(QSize(16, 16));
        m_wndIcons->setGridSize(QSize());
        m_wndIcons->setWordWrap(false);
        m_pStack->setCurrentWidget(m_wndIcons);
        break;
    default:
        return;
    }
    m_wndIcons->doItemsLayout();
    m_dwListStyle = style;
}

QAbstractItemView* CFileListView::ActiveView() const
{
    return m_dwListStyle == LVS_REPORT ? static_cast<QAbstractItemView*>(m_wndList)
                                       : static_cast<QAbstractItemView*>(m_wndIcons);
}

QList<CLTDataItem*> CFileListView::SelectedRecords() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_wndList->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<CLTDataItem*> records;
    for (int row : rows) {
        if (CLTDataItem* record = m_pModel->RecordAt(row))
            records << record;
    }
    return records;
}

int CFileListView::SelectedCount() const
{
    return static_cast<int>(m_wndList->selectionModel()->selectedRows().size());
}

void CFileListView::OpenRow(int row)
{
    CLTDataItem* record = m_pModel->RecordAt(row);
    if (!record || !m_pFolderTreeView)
        return;
    if (record->IsFile()) {
        m_wndList->selectionModel()->select(m_pModel->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
        OnCommand(ID_FILE_VIEW);
    } else if (record->IsFolder()) {
        m_pFolderTreeView->OnSelectChildFolder(2, record);
    }
}

std::int32_t CFileListView::OpenImageFile(const QString& path)
{
    constexpr int IDS_APP_TITLE = 102;
    if (!g_pImageEngine)
        return STATUS_FAIL;
    const auto slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : path.left(slash);
    const QString name = path.mid(slash + 1);
    const auto dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot).toLower();
    if (extension != u".adi" && extension != u".iso" && extension != u".rdf")
        return STATUS_FAIL;
    CLanternDoc* doc = GetDoc();
    if (!doc)
        return STATUS_FAIL;

    doc->ResetTree();
    doc->UpdateAllViews(nullptr, HINT_IMAGE_RELOADED);
    if (m_pFrameHost) {
        m_pFrameHost->SetFrameTitle(LoadResString(IDS_APP_TITLE));
        m_pFrameHost->ResetProgress();
    }
    g_pImageEngine->SetCancel(false);

    const STATUS r = g_pImageEngine->LoadTree(path, doc->m_pRootItem);
    if (r < 0) {
        doc->ResetTree();
        m_strImagePath.clear();
    } else {
        SetImagePath(folder);
        m_strImagePath = path;
        if (m_pFrameHost)
            m_pFrameHost->SetFrameTitle(LoadResString(IDS_APP_TITLE) +
                                        QStringLiteral(" [%1]").arg(path));
    }
    if (m_pFrameHost)
        m_pFrameHost->SendProgressEvent(NOTIFY_OPEN_END, nullptr);
    doc->UpdateAllViews(nullptr, HINT_IMAGE_RELOADED);
    return r;
}

bool CFileListView::OnCommand(int nID)
{
    switch (nID) {
    case ID_IMAGE_OPEN:
    case ID_FILE_VIEW:
    case ID_EXTRACT:
    case ID_BURN_IMAGE:
    case ID_MOUNT_IMAGE:
        emit CommandRequested(nID);
        return true;
    default:
        return false;
    }
}

bool CFileListView::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.nID == ID_FILE_VIEW) {
        ui.Enable(SelectedCount() == 1);
        return true;
    }
    return false;
}
