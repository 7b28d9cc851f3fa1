#pragma once

// The rows of the file list: row i is child i of the current folder, always;
// every cell text is made when it is asked for.

#include <QAbstractTableModel>

class CLTDataItem;

class CFileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CFileListModel(QObject* parent = nullptr);

    // Shows the children of `pFolder` (null: no rows).
    void SetFolder(CLTDataItem* pFolder);
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
};
