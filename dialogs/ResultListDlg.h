#pragma once

// The window that shows what Checksum and Verify found: a line that sums it
// up above a list of rows, whose cells can be selected and copied (Ctrl+C or
// the Copy button copies the selected rows, or all of them, one line per
// row with tabs between the cells).

#include <QDialog>
#include <QStringList>
#include <vector>

class QLabel;
class QTreeWidget;

class CResultListDlg : public QDialog
{
    Q_OBJECT
public:
    CResultListDlg(QWidget* parent, const QString& title, const QString& summary,
                   const QStringList& columns, const std::vector<QStringList>& rows);

    QTreeWidget* List() const { return m_pList; }
    QString Summary() const;
    // What Copy puts on the clipboard.
    QString CopiedText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Copy();

    QLabel* m_pSummary;
    QTreeWidget* m_pList;
};
