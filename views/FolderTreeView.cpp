#include "FolderTreeView.h"

#include "ConfirmFile.h"
#include "ExtractSupport.h"
#include "FrameHost.h"
#include "IconProvider.h"
#include "ImageEngine.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "StoredSettings.h"
#include "UnixTree.h"
#include "VolumeCheck.h"

#include <QDir>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <vector>

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kExpandedOnceRole = Qt::UserRole + 1;

} // namespace

CLTTreeCtrl::CLTTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("FolderTree%1").arg(IDC_FOLDER_TREE));
    setHeaderHidden(true);
    setColumnCount(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::NoContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
}

void CLTTreeCtrl::ExpandOnly(QTreeWidgetItem* item)
{
    if (!item)
        return;
    QSet<QTreeWidgetItem*> path;
    for (QTreeWidgetItem* p = item; p; p = p->parent())
        path.insert(p);
    QList<QTreeWidgetItem*> expanded;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->isExpanded() && !path.contains(*it))
            expanded << *it;
    }
    // Deepest first, so no collapse hides an item still to be collapsed.
    for (auto it = expanded.crbegin(); it != expanded.crend(); ++it)
        (*it)->setExpanded(false);
    item->setExpanded(true);
}

void CLTTreeCtrl::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    QTreeWidget::drawBranches(painter, rect, index);
    // Dotted lines join each item to its parent and to its next sibling;
    // an item with an expand button leaves the button's square free.
    const int step = indentation();
    int depth = 0;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        ++depth;
    const int midY = rect.top() + rect.height() / 2;
    const int gap = model()->hasChildren(index) ? 5 : 0;
    painter->save();
    painter->setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
    QModelIndex current = index;
    for (int level = depth; level >= 0 && current.isValid(); --level) {
        const int x = rect.left() + level * step + step / 2;
        const bool bLast = !current.sibling(current.row() + 1, 0).isValid();
        if (current == index) {
            const bool bTop = !index.parent().isValid() && index.row() == 0;
            if (!bTop)
                painter->drawLine(x, rect.top(), x, midY - gap);
            if (!bLast)
                painter->drawLine(x, midY + gap, x, rect.bottom());
            painter->drawLine(x + gap, midY, x + step / 2, midY);
        } else if (!bLast) {
            painter->drawLine(x, rect.top(), x, rect.bottom());
        }
        current = current.parent();
    }
    painter->restore();
}

CLTDataItem* CLTTreeCtrl::RecordOf(const QTreeWidgetItem* item)
{
    return item ? reinterpret_cast<CLTDataItem*>(item->data(0, kRecordRole).value<quintptr>())
                : nullptr;
}

void CLTTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        setFocus(Qt::MouseFocusReason);
}

CFolderTreeView::CFolderTreeView(CLanternDoc* pDoc, QWidget* parent)
    : QWidget(parent), m_wndTree(new CLTTreeCtrl(this))
{
    if (pDoc)
        pDoc->AddView(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(5, 0, 0, 0);
    layout->addWidget(m_wndTree);
    m_rootIcon = ResourceIcon(IDI_DISC);
    connect(m_wndTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!m_bSelectingByProgram)
            m_wndTree->ExpandOnly(current);
        OnSelectionChanged(current);
    });
    connect(m_wndTree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { InsertSubfolders(item); });
}

void CFolderTreeView::OnInitialUpdate()
{
    FillTree();
}

void CFolderTreeView::OnUpdate(CViewBase*, std::intptr_t lHint)
{
    if (lHint == HINT_IMAGE_RELOADED)
        FillTree();
}

QTreeWidgetItem* CFolderTreeView::InsertItem(CLTDataItem* pRecord, QTreeWidgetItem* parent)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, pRecord->m_strDisplayName);
    item->setData(0, kRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(pRecord)));
    item->setToolTip(0, pRecord->m_strDisplayName);
    if (pRecord->m_nKind == KIND_ROOT)
        item->setIcon(0, m_rootIcon);
    else
        item->setIcon(0, IconForIndex(pRecord->m_nIconIndex));
    item->setChildIndicatorPolicy(pRecord->m_nFolderCount != 0
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (!parent) {
        m_wndTree->addTopLevelItem(item);
        return item;
    }
    // Sorted among its siblings as the list sorts names: without regard to
    // case, names that differ only in case by their exact text.
    const auto before = [](const QString& a, const QString& b) {
        const int c = CompareNoCase(a, b);
        return c != 0 ? c < 0 : a < b;
    };
    int at = 0;
    while (at < parent->childCount() && !before(item->text(0), parent->child(at)->text(0)))
        ++at;
    parent->insertChild(at, item);
    return item;
}

void CFolderTreeView::InsertSubfolders(QTreeWidgetItem* item)
{
    if (!item || item->data(0, kExpandedOnceRole).toBool())
        return;
    item->setData(0, kExpandedOnceRole, true);
    CLTDataItem* record = CLTTreeCtrl::RecordOf(item);
    if (!record)
        return;
    for (CLTDataItem* child : record->m_children) {
        if (child->IsFolder())
            InsertItem(child, item);
    }
    // Open and closed folders show their own icons.
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* c = item->child(i);
        const CLTDataItem* r = CLTTreeCtrl::RecordOf(c);
        if (r && r->m_nOpenIconIndex != r->m_nIconIndex) {
            QIcon icon = IconForIndex(r->m_nIconIndex);
            icon.addPixmap(IconForIndex(r->m_nOpenIconIndex).pixmap(16), QIcon::Selected);
            c->setIcon(0, icon);
        }
    }
}

void CFolderTreeView::FillTree()
{
    m_wndTree->blockSignals(true);
    m_wndTree->clear();
    m_wndTree->blockSignals(false);
    CLanternDoc* doc = GetDoc();
    if (!doc || !doc->m_pRootItem)
        return;
    QTreeWidgetItem* root = InsertItem(doc->m_pRootItem, nullptr);
    if (doc->m_pRootItem->m_nFolderCount != 0)
        root->setExpanded(true);
    m_bSelectingByProgram = true;
    m_wndTree->setCurrentItem(root);
    m_bSelectingByProgram = false;
    // Selecting the same item again still makes it the current folder.
    if (doc->m_pCurrentFolder != doc->m_pRootItem)
        OnSelectionChanged(root);
}

void CFolderTreeView::OnSelectionChanged(QTreeWidgetItem* current)
{
    CLTDataItem* record = CLTTreeCtrl::RecordOf(current);
    CLanternDoc* doc = GetDoc();
    if (!record || !doc)
        return;
    doc->m_pCurrentFolder = record;
    doc->UpdateAllViews(this, HINT_FOLDER_CHANGED);
}

CLTDataItem* CFolderTreeView::GetSelectedRecord() const
{
    return CLTTreeCtrl::RecordOf(m_wndTree->currentItem());
}

QTreeWidgetItem* CFolderTreeView::FindItemOf(const CLTDataItem* pRecord) const
{
    if (m_wndTree->topLevelItemCount() == 0)
        return nullptr;
    QTreeWidgetItem* top = m_wndTree->topLevelItem(0);
    if (CLTTreeCtrl::RecordOf(top) == pRecord)
        return top;
    QTreeWidgetItemIterator it(m_wndTree);
    for (; *it; ++it) {
        if (CLTTreeCtrl::RecordOf(*it) == pRecord)
            return *it;
    }
    return nullptr;
}

int CFolderTreeView::OnSelectChildFolder(int wParam, CLTDataItem* pChild)
{
    CLanternDoc* doc = GetDoc();
    if (wParam != 2 || !doc || !doc->m_pCurrentFolder || !pChild)
        return 0;
    QTreeWidgetItem* parent = FindItemOf(doc->m_pCurrentFolder);
    if (!parent)
        return 0;
    parent->setExpanded(true);
    InsertSubfolders(parent); // in case it was expanded before it had items
    QTreeWidgetItem* found = nullptr;
    for (int i = 0; i < parent->childCount() && !found; ++i) {
        if (CLTTreeCtrl::RecordOf(parent->child(i)) == pChild)
            found = parent->child(i);
    }
    if (!found)
        return 0;
    parent->setSelected(false);
    m_wndTree->ExpandOnly(parent);
    m_bSelectingByProgram = true;
    m_wndTree->setCurrentItem(found);
    m_bSelectingByProgram = false;
    m_wndTree->scrollToItem(found);
    if (CLTTreeCtrl::RecordOf(found)->m_nFolderCount != 0)
        found->setExpanded(true);
    return 0;
}

bool CFolderTreeView::SelectFolder(CLTDataItem* pFolder)
{
    std::vector<CLTDataItem*> chain;
    for (CLTDataItem* at = pFolder; at; at = at->GetParent())
        chain.push_back(at);
    QTreeWidgetItem* item = m_wndTree->topLevelItem(0);
    if (!pFolder || !item || CLTTreeCtrl::RecordOf(item) != chain.back())
        return false;
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
        InsertSubfolders(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (CLTTreeCtrl::RecordOf(item->child(i)) == *it)
                next = item->child(i);
        if (!next)
            return false;
        item->setExpanded(true);
        item = next;
    }
    m_wndTree->setCurrentItem(item);
    m_wndTree->scrollToItem(item);
    return true;
}

CCommandTarget::Handler CFolderTreeView::CommandHandler(int nID)
{
    if (nID != ID_EXTRACT)
        return {};
    return [this] { OnExtract(); };
}

void CFolderTreeView::OnExtract()
{
    constexpr int IDS_NO_ROOM_TO_EXTRACT = 11330;
    CLTDataItem* record = GetSelectedRecord();
    if (!g_pImageEngine || !record)
        return;
    QString target;
    if (!ChooseExtractTarget(this, &target))
        return;
    g_pImageEngine->SetCancel(false);
    // Several names of one file count once.
    const std::uint64_t total = DataSizeOf({record});
    if (!HasFreeSpace(target, total)) {
        ShowCommandMessage(LoadResString(IDS_NO_ROOM_TO_EXTRACT));
        return;
    }
    g_pImageEngine->SetBytesTotal(total);
    if (m_pFrameHost)
        m_pFrameHost->ResetProgress();
    g_pImageEngine->BeginExtraction();

    STATUS r = STATUS_OK;
    if (record->IsFolder() && record->m_nKind != KIND_ROOT) {
        const QString destination = target + record->m_strFileName;
        FIND_DATA existing;
        bool bCopy = true;
        if (FindEntry(destination, &existing)) {
            const CONFIRM_DESCRIPTION description{0, 0, record, destination, &existing};
            const OverwriteAnswer answer =
                ConfirmOverwrite({m_bOverwriteAll, m_bSkipAll, m_bCancelled}, description);
            bCopy = answer == OverwriteAnswer::Overwrite;
            if (answer == OverwriteAnswer::Cancel)
                r = STATUS_CANCELLED;
        }
        if (bCopy)
            r = g_pImageEngine->ExtractFolder(ImagePathOf(record), target, record->m_unix);
    }
    // The tree leaves the percentage as it stands.
    EndExtractCommand(m_pFrameHost, false);
    if (r >= 0)
        SetExtractPath(QDir::cleanPath(target));
    m_bOverwriteAll = m_bSkipAll = m_bCancelled = false;
}
