#include "FileListView.h"

#include "ConfirmFile.h"
#include "ExtractSupport.h"
#include "FileDialogEX.h"
#include "FileListModel.h"
#include "FolderTreeView.h"
#include "FrameHost.h"
#include "ImageEngine.h"
#include "ImageKinds.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "ModalDialogs.h"
#include "StoredSettings.h"
#include "TreeSearch.h"
#include "UnixTree.h"
#include "VolumeCheck.h"

#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int IDS_APP_TITLE = 102;
constexpr int IDS_OPEN_FAILED = 656;
constexpr int IDS_NO_ROOM_TO_EXTRACT = 11330;
constexpr int IDS_LINK_OUTSIDE = 9319;
constexpr int IDS_NO_OPENER = 9320;
constexpr int IDS_OPEN_NOT_FOUND = 9321;
constexpr int IDS_OPEN_DENIED = 9322;
constexpr int IDS_OPEN_EMPTY = 9323;
constexpr int IDS_OPEN_NO_IMAGE = 9324;
constexpr int IDS_OPEN_DAMAGED = 9325;
constexpr int IDS_OPEN_UNREADABLE = 9332;
constexpr int IDS_OPEN_DAMAGE = 9329;
constexpr int IDS_NO_ROOM_TO_VIEW = 660;
constexpr int IDS_IMAGE_FILTER = 6119;
constexpr int IDS_SHELF_FILTER = 6120;
constexpr int IDS_OPEN_TITLE = 61440;

// The rows of a selection model, each once, top to bottom. Icon styles
// select one cell of a row, the details style every cell.
QList<int> SelectedRowsOf(const QItemSelectionModel* selection)
{
    QList<int> rows;
    for (const QModelIndex& index : selection->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

} // namespace

CLTHeaderCtrl::CLTHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    // The section keeps its sort state; the arrow is drawn here.
    setSortIndicatorShown(false);
}

QRect CLTHeaderCtrl::ArrowRect(const QRect& section, bool bRightAligned)
{
    const int w = 9, h = 5;
    const int x = bRightAligned ? section.left() + 6 : section.right() - w - 6;
    return QRect(x, section.top() + (section.height() - h) / 2, w, h);
}

void CLTHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    // The style may leave the painter clipped or transformed.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != sortIndicatorSection() || rect.width() < 24)
        return;
    const bool bRight =
        model() &&
        (model()->headerData(logicalIndex, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
         Qt::AlignRight) != 0;
    const QRect arrow = ArrowRect(rect, bRight);
    QPolygon triangle;
    if (sortIndicatorOrder() == Qt::AscendingOrder)
        triangle << QPoint(arrow.left(), arrow.bottom() + 1)
                 << QPoint(arrow.right() + 1, arrow.bottom() + 1)
                 << QPoint(arrow.center().x(), arrow.top());
    else
        triangle << QPoint(arrow.left(), arrow.top()) << QPoint(arrow.right() + 1, arrow.top())
                 << QPoint(arrow.center().x() + 1, arrow.bottom() + 1);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::ButtonText));
    painter->drawPolygon(triangle);
    painter->restore();
}

CLTListCtrl::CLTListCtrl(QWidget* parent) : QTreeView(parent)
{
    setHeader(new CLTHeaderCtrl(this));
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
    header()->setStretchLastSection(false);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setAcceptDrops(false);
}

void CLTListCtrl::startDrag(Qt::DropActions)
{
    emit DragRequested();
}

CLTIconList::CLTIconList(QWidget* parent) : QListView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::NoContextMenu);
    setResizeMode(QListView::Adjust);
}

void CLTIconList::startDrag(Qt::DropActions)
{
    emit DragRequested();
}

CFileListView::CFileListView(CLanternDoc* pDoc, QWidget* parent)
    : QWidget(parent), m_pModel(new CFileListModel(this)), m_wndList(new CLTListCtrl(this)),
      m_wndIcons(new CLTIconList(this)), m_pStack(new QStackedLayout),
      m_pFindLine(new QLineEdit(this)), m_pFindTimer(new QTimer(this))
{
    if (pDoc)
        pDoc->AddView(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_pFindLine);
    column->addLayout(m_pStack, 1);
    SetUpFindLine();
    m_pStack->setContentsMargins(0, 0, 0, 0);
    m_wndList->setModel(m_pModel);
    m_wndIcons->setModel(m_pModel);
    m_wndIcons->setSelectionModel(m_wndList->selectionModel());
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
    for (QWidget* view : {static_cast<QWidget*>(m_wndList), static_cast<QWidget*>(m_wndIcons)})
        view->installEventFilter(this);
    connect(m_wndList, &CLTListCtrl::DragRequested, this, [this] { StartDragOut(); });
    connect(m_wndIcons, &CLTIconList::DragRequested, this, [this] { StartDragOut(); });
    SetViewStyle(LVS_REPORT);
}

CFileListView::~CFileListView()
{
    // An opener still running is ended with the view; that is no news for
    // the user, so its end is no longer reported.
    for (QProcess* opener : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))
        opener->disconnect(this);
    // The copies made to view files go with the view.
    for (const QString& path : m_listTempFiles) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(path);
    }
    m_listTempFiles.clear();
    for (const QString& folder : m_listTempFolders)
        QDir(folder).removeRecursively();
    m_listTempFolders.clear();
}

void CFileListView::OnInitialUpdate()
{
    Refresh();
}

void CFileListView::OnUpdate(CViewBase*, std::intptr_t lHint)
{
    if (lHint != HINT_FOLDER_CHANGED && lHint != HINT_IMAGE_RELOADED)
        return;
    // Another folder, or another tree, ends a search: its results would
    // point into what is gone.
    if (m_pFindLine->isVisible() || m_pSearch || ShowsResults())
        EndFind();
    else
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
    if (ShowsResults()) {
        SortResults(column);
        return;
    }
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
    // A change of mode lets icons be moved and dropped on; they stay put.
    m_wndIcons->setMovement(QListView::Static);
    m_wndIcons->setDragEnabled(true);
    m_wndIcons->setDragDropMode(QAbstractItemView::DragOnly);
    m_wndIcons->setAcceptDrops(false);
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
    QList<CLTDataItem*> records;
    for (int row : SelectedRowsOf(m_wndList->selectionModel())) {
        if (CLTDataItem* record = m_pModel->RecordAt(row))
            records << record;
    }
    return records;
}

int CFileListView::SelectedCount() const
{
    return static_cast<int>(SelectedRowsOf(m_wndList->selectionModel()).size());
}

bool CFileListView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && FindKey(watched, static_cast<const QKeyEvent*>(event)))
        return true;
    if (event->type() != QEvent::KeyPress || (watched != m_wndList && watched != m_wndIcons))
        return QWidget::eventFilter(watched, event);
    // Browsing from the keyboard: Enter does what a double-click does,
    // Backspace and Alt+Up go to the folder above.
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool bEnter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                        key->modifiers() == Qt::NoModifier;
    const bool bUp = (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) ||
                     (key->key() == Qt::Key_Up && key->modifiers() == Qt::AltModifier);
    if (bEnter) {
        const QModelIndex current = ActiveView()->currentIndex();
        if (current.isValid())
            OpenRow(current.row());
        return true;
    }
    if (bUp) {
        CLanternDoc* doc = GetDoc();
        if (doc && doc->m_pCurrentFolder && doc->m_pCurrentFolder->GetParent() && m_pFolderTreeView)
            m_pFolderTreeView->SelectFolder(doc->m_pCurrentFolder->GetParent());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CFileListView::OpenRow(int row)
{
    CLTDataItem* record = m_pModel->RecordAt(row);
    if (!record || !m_pFolderTreeView)
        return;
    if (ShowsResults()) {
        ShowInFolder(record);
        return;
    }
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
    if (!g_pImageEngine)
        return STATUS_FAIL;
    const auto slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : path.left(slash);
    const QString name = path.mid(slash + 1);
    const auto dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || !ImageKinds::IsImageSuffix(name.mid(dot + 1)))
        return STATUS_FAIL;
    CLanternDoc* doc = GetDoc();
    if (!doc)
        return STATUS_FAIL;
    // A file that cannot be read or is no image is refused before the open
    // image is let go.
    m_strOpenFailure.clear();
    if (const STATUS checked = CheckImageFile(path); checked < 0)
        return checked;

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
        if (r == vbe::kUnrecognized || r == vbe::kCorrupt)
            m_strOpenFailure = FormatResText(
                LoadResString(r == vbe::kCorrupt ? IDS_OPEN_DAMAGED : IDS_OPEN_NO_IMAGE), {path});
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
    // A damaged image opens with what could be read; the user hears once
    // what was left out.
    if (r >= 0 && g_pImageEngine->GetDamageCount() > 0)
        ShowCommandMessage(FormatResText(LoadResString(IDS_OPEN_DAMAGE),
                                         {QString::number(g_pImageEngine->GetDamageCount())}));
    return r;
}

STATUS CFileListView::CheckImageFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    int reason = 0;
    STATUS r = STATUS_FAIL;
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = IDS_OPEN_NOT_FOUND;
    } else if (const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC); fd < 0) {
        reason = errno == EACCES || errno == EPERM ? IDS_OPEN_DENIED : IDS_OPEN_DAMAGED;
    } else {
        ::close(fd);
        if (st.st_size == 0) {
            reason = IDS_OPEN_EMPTY;
        } else if (g_pImageEngine->HasSdk()) {
            r = g_pImageEngine->CanOpenImage(path);
            if (r == vbe::kUnrecognized)
                reason = IDS_OPEN_NO_IMAGE;
            else if (r == vbe::kCorrupt || r == vbe::kReadFault || r == vbe::kFileNotFound)
                reason = IDS_OPEN_DAMAGED;
            // An image that describes a disc says what in it is amiss: a
            // file it names that is not there, a track beyond its file.
            if (r == vbe::kCorrupt || r == vbe::kFileNotFound) {
                const QString why = g_pImageEngine->OpenFailureReason(path);
                if (!why.isEmpty()) {
                    m_strOpenFailure =
                        FormatResText(LoadResString(IDS_OPEN_UNREADABLE), {path, why});
                    return r;
                }
            }
        }
    }
    if (reason == 0)
        return STATUS_OK;
    m_strOpenFailure = FormatResText(LoadResString(reason), {path});
    return r < 0 ? r : STATUS_FAIL;
}

QString CFileListView::OpenFailureText() const
{
    const QString text = LoadResString(IDS_OPEN_FAILED);
    return m_strOpenFailure.isEmpty() ? text : text + QStringLiteral("\n\n") + m_strOpenFailure;
}

CCommandTarget::Handler CFileListView::CommandHandler(int nID)
{
    switch (nID) {
    case ID_IMAGE_OPEN:
        return [this] { OnImageOpen(); };
    case ID_FILE_VIEW:
        return [this] { OnFileView(); };
    case ID_EXTRACT:
        return [this] { OnExtract(); };
    case ID_BURN_IMAGE:
        return [this] { OnBurnImage(); };
    case ID_MOUNT_IMAGE:
        return [this] { OnMountImage(); };
    case ID_FIND:
        return [this] { OnFind(); };
    case ID_CHECKSUM:
        return [this] { OnChecksum(); };
    case ID_PROPERTIES:
        return [this] { OnProperties(); };
    case ID_VERIFY:
    case ID_VERIFY_WITH:
        return [this, nID] { OnVerify(nID == ID_VERIFY_WITH); };
    default:
        return {};
    }
}

bool CFileListView::OnUpdateCommand(CCmdUI& ui)
{
    if (ui.nID == ID_FILE_VIEW) {
        ui.Enable(SelectedCount() == 1);
        return true;
    }
    if (ui.nID == ID_FIND || ui.nID == ID_CHECKSUM || ui.nID == ID_VERIFY ||
        ui.nID == ID_VERIFY_WITH || ui.nID == ID_PROPERTIES) {
        // Only a whole tree is searched or checked.
        ui.Enable(!m_strImagePath.isEmpty() && g_pImageEngine && g_pImageEngine->HasImage() &&
                  !g_pImageEngine->IsLoading());
        return true;
    }
    return false;
}

void CFileListView::OnImageOpen()
{
    // The program's own kinds first, as they always stood; then the images
    // of other disc programs.
    const QString patterns = ImageKinds::Patterns(ImageKinds::OwnSuffixes());
    const QString shelf = ImageKinds::Patterns(ImageKinds::ShelfSuffixes());
    const QString filter = FormatResText(LoadResString(IDS_IMAGE_FILTER), {patterns, patterns}) +
                           QLatin1Char('|') +
                           FormatResText(LoadResString(IDS_SHELF_FILTER), {shelf, shelf});
    CFileDialogEX dlg(true, filter, this);
    dlg.setWindowTitle(LoadResString(IDS_OPEN_TITLE));
    const QString start = GetImagePath();
    if (QFileInfo(start).isDir())
        dlg.setDirectory(start);
    int result = QDialog::Rejected;
    {
        CModalDialogScope modal;
        result = dlg.exec();
    }
    if (result != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    const STATUS r = OpenImageFile(dlg.selectedFiles().constFirst());
    if (r < 0 && r != STATUS_CANCELLED)
        ShowCommandMessage(OpenFailureText());
}

void CFileListView::OnFileView()
{
    const QList<CLTDataItem*> records = SelectedRecords();
    if (records.isEmpty() || !g_pImageEngine)
        return;
    CLTDataItem* record = records.constFirst();
    // A link opens what it points to inside the image.
    if (record->IsSymlink()) {
        CLTDataItem* target = ResolveLink(record);
        if (!target) {
            ShowCommandMessage(
                FormatResText(LoadResString(IDS_LINK_OUTSIDE), {record->m_strDisplayName}));
            return;
        }
        record = target;
    }
    if (record->IsFolder() || record->m_nKind == KIND_ROOT) {
        if (m_pFolderTreeView)
            m_pFolderTreeView->SelectFolder(record);
        return;
    }
    if (!record->IsFile())
        return;

    QString tempFolder;
    if (!GetTempFolder(&tempFolder))
        return;
    const QString source = ImagePathOf(record);
    const QString tempFile = tempFolder + record->m_strFileName;

    // A copy made earlier is used again while it still has the time the
    // extraction gave it, that is the record's own.
    FIND_DATA existing;
    const FILETIME64 stored = CImageEngine::StoredWriteTime(record->m_ftModified);
    const bool bCopy = !FindEntry(tempFile, &existing) || existing.bDirectory || stored == 0 ||
                       existing.ftLastWriteTime != stored;
    STATUS r = STATUS_OK;
    if (bCopy) {
        if (!HasFreeSpace(tempFile, record->m_nSize)) {
            ShowCommandMessage(LoadResString(IDS_NO_ROOM_TO_VIEW));
            return;
        }
        if (m_pFrameHost)
            m_pFrameHost->ResetProgress();
        g_pImageEngine->SetBytesTotal(record->m_nSize);
        g_pImageEngine->SetCancel(false);
        if (m_pFrameHost)
            m_pFrameHost->SetViewingTempCopy(true);
        // The copy keeps the file's mode, writable for its owner so that a
        // later copy can replace it.
        CUnixFacts facts = record->m_unix;
        if (facts.nMode != 0)
            facts.nMode |= 0200u;
        g_pImageEngine->BeginExtraction();
        r = g_pImageEngine->ExtractFile(source, tempFile, record->m_ftModified, facts);
        if (m_pFrameHost)
            m_pFrameHost->SetViewingTempCopy(false);
        EndExtractCommand(m_pFrameHost, true);
    }
    if (r < 0)
        return; // the engine's own events told the user
    // The desktop's opener, without waiting for it; when it ends saying no
    // program takes the file, the user hears of it.
    auto* opener = new QProcess(this);
    const QString shown = record->m_strDisplayName;
    connect(opener, &QProcess::finished, this,
            [opener, shown](int code, QProcess::ExitStatus status) {
                opener->deleteLater();
                if (status == QProcess::NormalExit && code != 0)
                    ShowCommandMessage(FormatResText(LoadResString(IDS_NO_OPENER), {shown}));
            });
    connect(opener, &QProcess::errorOccurred, this, [opener, tempFile](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        opener->deleteLater();
        QDesktopServices::openUrl(QUrl::fromLocalFile(tempFile));
    });
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->start(QStringLiteral("xdg-open"), {tempFile});
    m_listTempFiles << tempFile;
}

void CFileListView::OnExtract()
{
    if (!g_pImageEngine)
        return;
    QString target;
    if (!ChooseExtractTarget(this, &target))
        return;
    g_pImageEngine->SetCancel(false);
    const QList<CLTDataItem*> records = SelectedRecords();
    if (!records.isEmpty()) {
        // Several names of one file count once.
        const std::uint64_t total = DataSizeOf(records);
        if (!HasFreeSpace(target, total)) {
            ShowCommandMessage(LoadResString(IDS_NO_ROOM_TO_EXTRACT));
            return;
        }
        g_pImageEngine->SetBytesTotal(total);
        if (m_pFrameHost)
            m_pFrameHost->ResetProgress();
        g_pImageEngine->BeginExtraction();

        COverwriteAnswers answers{m_bOverwriteAll, m_bSkipAll, m_bCancelled};
        STATUS r = STATUS_OK;
        for (CLTDataItem* record : records) {
            if (!record->IsFolder() && !record->IsFile())
                continue;
            const QString source = ImagePathOf(record);
            const QString destination = target + record->m_strFileName;
            FIND_DATA existing;
            if (FindEntry(destination, &existing)) {
                const CONFIRM_DESCRIPTION description{0, 0, record, destination, &existing};
                const OverwriteAnswer answer = ConfirmOverwrite(answers, description);
                if (answer == OverwriteAnswer::Skip) {
                    g_pImageEngine->SetBytesWritten(g_pImageEngine->GetBytesWritten() +
                                                    record->m_nSize);
                    continue;
                }
                if (answer == OverwriteAnswer::Cancel) {
                    r = STATUS_CANCELLED;
                    break;
                }
            }
            r = record->IsFolder() ? g_pImageEngine->ExtractFolder(source, target, record->m_unix)
                                   : g_pImageEngine->ExtractFile(
                                         source, destination, record->m_ftModified, record->m_unix);
            if (r < 0)
                break;
        }
        EndExtractCommand(m_pFrameHost, true);
        if (r >= 0)
            SetExtractPath(QDir::cleanPath(target));
    }
    m_bOverwriteAll = m_bSkipAll = m_bCancelled = false;
}

QMimeData* CFileListView::PrepareDragOut()
{
    const QList<CLTDataItem*> records = SelectedRecords();
    QString tempFolder;
    if (records.isEmpty() || !g_pImageEngine || !GetTempFolder(&tempFolder))
        return nullptr;
    const std::uint64_t total = DataSizeOf(records);
    if (!HasFreeSpace(tempFolder, total)) {
        ShowCommandMessage(LoadResString(IDS_NO_ROOM_TO_VIEW));
        return nullptr;
    }
    // Each drag gets a folder of its own, so two drags of equal names never
    // meet and nothing needs asking.
    QByteArray pattern = QFile::encodeName(tempFolder + QStringLiteral("drag-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return nullptr;
    const QString folder = QFile::decodeName(pattern) + QLatin1Char('/');
    m_listTempFolders << folder;

    g_pImageEngine->SetCancel(false);
    g_pImageEngine->SetBytesTotal(total);
    if (m_pFrameHost)
        m_pFrameHost->ResetProgress();
    g_pImageEngine->BeginExtraction();
    STATUS r = STATUS_OK;
    QList<QUrl> urls;
    for (const CLTDataItem* record : records) {
        if (!record->IsFolder() && !record->IsFile())
            continue;
        const QString destination = folder + record->m_strFileName;
        r = record->IsFolder()
                ? g_pImageEngine->ExtractFolder(ImagePathOf(record), folder, record->m_unix)
                : g_pImageEngine->ExtractFile(ImagePathOf(record), destination,
                                              record->m_ftModified, record->m_unix);
        if (r < 0)
            break;
        urls << QUrl::fromLocalFile(destination);
    }
    EndExtractCommand(m_pFrameHost, true);
    if (r < 0 || urls.isEmpty()) {
        QDir(folder).removeRecursively();
        m_listTempFolders.removeAll(folder);
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void CFileListView::StartDragOut()
{
    QMimeData* data = PrepareDragOut();
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QModelIndex current = ActiveView()->currentIndex();
    const QIcon icon =
        m_pModel->data(current.siblingAtColumn(0), Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(32));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
