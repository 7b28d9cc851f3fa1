#include "ResultListDlg.h"

#include "LangResources.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int IDS_COPY = 9364;
constexpr int IDS_CLOSE = 9365;

} // namespace

CResultListDlg::CResultListDlg(QWidget* parent, const QString& title, const QString& summary,
                               const QStringList& columns, const std::vector<QStringList>& rows)
    : QDialog(parent), m_pSummary(new QLabel(summary, this)), m_pList(new QTreeWidget(this))
{
    setWindowTitle(title);
    setObjectName(QStringLiteral("ResultList"));
    m_pSummary->setWordWrap(true);
    m_pSummary->setVisible(!summary.isEmpty());
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pList->setColumnCount(static_cast<int>(columns.size()));
    m_pList->setHeaderLabels(columns);
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setAllColumnsShowFocus(true);
    QList<QTreeWidgetItem*> items;
    for (const QStringList& row : rows)
        items << new QTreeWidgetItem(row);
    m_pList->addTopLevelItems(items);
    // Digests are long: each column as wide as its text.
    for (int i = 0; i < m_pList->columnCount(); ++i)
        m_pList->resizeColumnToContents(i);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton(LoadResString(IDS_COPY), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(LoadResString(IDS_CLOSE), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(copy, &QPushButton::clicked, this, &CResultListDlg::Copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSummary);
    layout->addWidget(m_pList, 1);
    layout->addWidget(buttons);
    resize(760, 420);
}

QString CResultListDlg::Summary() const
{
    return m_pSummary->text();
}

QString CResultListDlg::CopiedText() const
{
    QList<QTreeWidgetItem*> items = m_pList->selectedItems();
    if (items.isEmpty()) {
        for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
            items << m_pList->topLevelItem(i);
    }
    // In the list's order, whatever order they were selected in.
    std::sort(items.begin(), items.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return m_pList->indexOfTopLevelItem(a) < m_pList->indexOfTopLevelItem(b);
    });
    QString text;
    for (const QTreeWidgetItem* item : items) {
        QStringList cells;
        for (int i = 0; i < m_pList->columnCount(); ++i)
            cells << item->text(i);
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

void CResultListDlg::Copy()
{
    QApplication::clipboard()->setText(CopiedText());
}

void CResultListDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    QDialog::keyPressEvent(event);
}
