#include "FileListModel.h"

#include "Format.h"
#include "IconProvider.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "TreeSearch.h"

namespace {

constexpr int IDS_COLUMN_FIRST = 5013;
constexpr int IDS_LINK_TOOLTIP = 9318;
constexpr int IDS_COLUMN_FOLDER = 9345;

} // namespace

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CFileListModel::SetFolder(CLTDataItem* pFolder)
{
    beginResetModel();
    m_pFolder = pFolder;
    m_nRows = pFolder ? pFolder->GetChildCount() : 0;
    m_bResults = false;
    m_results.clear();
    endResetModel();
}

void CFileListModel::SetResults(std::vector<CLTDataItem*> results)
{
    beginResetModel();
    m_results = std::move(results);
    m_bResults = true;
    m_nRows = static_cast<int>(m_results.size());
    endResetModel();
}

CLTDataItem* CFileListModel::RecordAt(int row) const
{
    if (m_bResults)
        return row >= 0 && row < m_nRows ? m_results[static_cast<std::size_t>(row)] : nullptr;
    if (!m_pFolder || row < 0 || row >= m_pFolder->GetChildCount())
        return nullptr;
    return m_pFolder->GetChildAt(row);
}

void CFileListModel::RowsReordered()
{
    emit layoutAboutToBeChanged();
    emit layoutChanged();
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    // The count of the last refresh: the loader may add children meanwhile,
    // and the views learn of them at the next refresh.
    return parent.isValid() || (!m_pFolder && !m_bResults) ? 0 : m_nRows;
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : SORT_COLUMN_COUNT + (m_bResults ? 1 : 0);
}

QString CFileListModel::SizeText(const CLTDataItem* pRecord)
{
    const QString size = FormatSizeInKB(pRecord->m_nSize);
    return pRecord->IsFolder() ? QLatin1Char('<') + size + QLatin1Char('>') : size;
}

QString CFileListModel::DateText(const CLTDataItem* pRecord)
{
    // Empty for a missing time.
    return FormatFileTime(pRecord->m_ftModified);
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    const CLTDataItem* record = RecordAt(index.row());
    if (!record)
        return {};
    switch (role) {
    case Qt::ToolTipRole:
        // A link's name tells where it points.
        if (record->IsSymlink() && index.column() == SORT_COLUMN_NAME)
            return FormatResText(LoadResString(IDS_LINK_TOOLTIP),
                                 {record->m_strDisplayName, record->m_strLinkTarget});
        [[fallthrough]];
    case Qt::DisplayRole: // the tooltip: the full text of the cell under the mouse
        switch (index.column()) {
        case SORT_COLUMN_NAME:
            return record->m_strDisplayName.ToString();
        case SORT_COLUMN_SIZE:
            return SizeText(record);
        case SORT_COLUMN_TYPE:
            return record->m_strTypeName.ToString();
        case SORT_COLUMN_MODIFIED:
            return DateText(record);
        case kFolderColumn:
            return FolderOf(record);
        default:
            return {};
        }
    case Qt::DecorationRole:
        return index.column() == SORT_COLUMN_NAME ? IconForIndex(record->m_nIconIndex) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == SORT_COLUMN_SIZE ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return LoadResString(section == kFolderColumn ? IDS_COLUMN_FOLDER
                                                      : IDS_COLUMN_FIRST + section);
    if (role == Qt::TextAlignmentRole)
        return section == SORT_COLUMN_SIZE ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                           : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
