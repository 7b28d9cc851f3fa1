#pragma once

// The rows of the file list: row i is child i of the current folder, or,
// while a search's results are shown, result i, with a Folder column; every
// cell text is made when it is asked for.

#include <QAbstractTableModel>
#include <vector>

class CLTDataItem;

class CFileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CFileListModel(QObject* parent = nullptr);

    // Shows the children of `pFolder` (null: no rows).
    void SetFolder(CLTDataItem* pFolder);
    // Shows found records instead, each with its folder.
    void SetResults(std::vector<CLTDataItem*> results);
    bool ShowsResults() const { return m_bResults; }
    std::vector<CLTDataItem*>& Results() { return m_results; }
    // The results' column of folders, after the folder's own columns.
    static constexpr int kFolderColumn = 4;
    CLTDataItem* Folder() const { return m_pFolder; }
    CLTDataItem* RecordAt(int row) const;

    // Tells the views that the rows changed order in place: selected row
    // positions stay selected, whatever records now lie there.
    void RowsReordered();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The texts of the size and date columns.
    static QString SizeText(const CLTDataItem* pRecord);
    static QString DateText(const CLTDataItem* pRecord);

private:
    CLTDataItem* m_pFolder = nullptr;
    int m_nRows = 0;
    bool m_bResults = false;
    std::vector<CLTDataItem*> m_results;
};
