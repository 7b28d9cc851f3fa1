#include "FileDialogEX.h"

#include "ModalDialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QStyle>

namespace {

// "*.iso" as "*.[iI][sS][oO]": the same pattern in any case.
QString AnyCasePattern(const QString& pattern)
{
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

} // namespace

CFileDialogEX::CFileDialogEX(bool bOpen, const QString& filter, QWidget* pParent)
    : QFileDialog(pParent)
{
    setAcceptMode(bOpen ? AcceptOpen : AcceptSave);
    setFileMode(bOpen ? ExistingFile : AnyFile);
    // The patterns that really filter sit in a last pair of parentheses that
    // the dialog hides, so the user sees the description as written.
    setOption(HideNameFilterDetails, true);
    setNameFilters(QtFilters(filter));
}

QStringList CFileDialogEX::QtFilters(const QString& classic)
{
    const QStringList parts = classic.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << AnyCasePattern(p.trimmed());
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

int CFileDialogEX::DroppedWidthFor(const QComboBox* pCombo)
{
    const QFontMetrics metrics(pCombo->view()->font());
    int widest = 0;
    for (int i = 0; i < pCombo->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(pCombo->itemText(i)));
    const QStyle* style = pCombo->style();
    return widest + metrics.averageCharWidth() +
           style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pCombo) +
           2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, pCombo);
}

void CFileDialogEX::showEvent(QShowEvent* event)
{
    QFileDialog::showEvent(event);
    WidenFileTypeBox();
}

void CFileDialogEX::WidenFileTypeBox()
{
    // Only Qt's own dialog has the box; the desktop's dialog has its own.
    auto* combo = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (!combo)
        return;
    combo->view()->setMinimumWidth(DroppedWidthFor(combo));
}

QString BrowseForFolder(QWidget* pOwner, const QString& title, const QString& start)
{
    QFileDialog dlg(pOwner, title);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    const QFileInfo startInfo(start);
    if (startInfo.isDir())
        dlg.setDirectory(startInfo.absoluteFilePath());
    CModalDialogScope modal;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().constFirst();
}
