// The file list's Checksum and Verify: digests of files read from the image
// with the progress window and Cancel, and the check of the image's files
// against a checksum list.

#include "Checksums.h"
#include "ExtractSupport.h"
#include "FileDialogEX.h"
#include "FileListView.h"
#include "FrameHost.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "ModalDialogs.h"
#include "ResultListDlg.h"

#include <QFileInfo>
#include <algorithm>

namespace {

constexpr int IDS_CHECKSUM_TITLE = 9347;
constexpr int IDS_VERIFY_TITLE = 9349;
constexpr int IDS_OUTCOME_FIRST = 9350; // Match, Differs, Missing, NotListed, Unreadable
constexpr int IDS_VERIFY_SUMMARY = 9355;
constexpr int IDS_CHOOSE_LIST = 9357;
constexpr int IDS_LIST_FILTER = 9358;
constexpr int IDS_COLUMN_PATH = 9359;
constexpr int IDS_COLUMN_RESULT = 9360;
constexpr int IDS_COLUMN_EXPECTED = 9361;
constexpr int IDS_COLUMN_FOUND = 9362;
constexpr int IDS_NO_LIST_READ = 9363;
constexpr int IDS_CHECKSUM_SUMMARY = 9366;
constexpr int IDS_UNREADABLE_CELL = 9354;

const std::vector<DigestKind> kShownDigests = {DigestKind::Crc32, DigestKind::Md5, DigestKind::Sha1,
                                               DigestKind::Sha256};

// Starts a command that reads: progress from 0 of `total` bytes, no cancel
// left from before.
void BeginReading(IFrameHost* host, std::uint64_t total)
{
    g_pImageEngine->SetCancel(false);
    g_pImageEngine->SetBytesWritten(0);
    g_pImageEngine->SetBytesTotal(total);
    g_pImageEngine->SetExtractPercent(0);
    if (host)
        host->ResetProgress();
}

void EndReading(IFrameHost* host)
{
    g_pImageEngine->SetBytesWritten(0);
    g_pImageEngine->SetBytesTotal(0);
    g_pImageEngine->SetExtractPercent(0);
    if (host)
        host->SendProgressEvent(NOTIFY_READ_END, nullptr);
}

void ShowResults(QWidget* owner, int title, const QString& summary, const QStringList& columns,
                 const std::vector<QStringList>& rows)
{
    CResultListDlg dlg(owner, LoadResString(title), summary, columns, rows);
    CModalDialogScope modal;
    dlg.exec();
}

} // namespace

void CFileListView::OnChecksum()
{
    if (!g_pImageEngine || !g_pImageEngine->HasImage())
        return;
    std::vector<const CLTDataItem*> selection;
    for (const CLTDataItem* record : SelectedRecords())
        selection.push_back(record);
    const std::vector<const CLTDataItem*> files = FilesOf(selection);
    std::uint64_t total = 0;
    for (const CLTDataItem* file : files)
        total += file->m_nSize;
    if (selection.empty())
        total = static_cast<std::uint64_t>(QFileInfo(m_strImagePath).size());
    BeginReading(m_pFrameHost, total);

    CDigestSet digests(kShownDigests);
    std::vector<QStringList> rows;
    bool bCancelled = false;
    const auto addRow = [&](const QString& path, ReadOutcome read) {
        QStringList row{path};
        if (read == ReadOutcome::Done) {
            for (const QString& hash : digests.Finish())
                row << hash;
        } else {
            digests.Finish();
            row << LoadResString(IDS_UNREADABLE_CELL);
        }
        rows.push_back(row);
    };
    const CVerifyIo io = EngineVerifyIo(*g_pImageEngine);
    if (selection.empty()) {
        // Nothing selected: the image file itself.
        if (m_pFrameHost)
            m_pFrameHost->SendProgressEvent(NOTIFY_READ_BEGIN, &m_strImagePath);
        const ReadOutcome read = DigestDiskFile(m_strImagePath, digests, io.diskCancelled);
        bCancelled = read == ReadOutcome::Cancelled;
        addRow(QFileInfo(m_strImagePath).fileName(), read);
    }
    for (const CLTDataItem* file : files) {
        const ReadOutcome read =
            io.readImageFile(file, [&](const char* data, std::size_t n) { digests.Add(data, n); });
        if (read == ReadOutcome::Cancelled) {
            bCancelled = true;
            break;
        }
        addRow(QLatin1Char('/') + SlashPathOf(file), read);
    }
    EndReading(m_pFrameHost);
    // A cancelled command shows nothing, as any cancelled command.
    if (bCancelled)
        return;
    QStringList columns{LoadResString(IDS_COLUMN_PATH)};
    for (DigestKind kind : kShownDigests)
        columns << DigestName(kind);
    ShowResults(this, IDS_CHECKSUM_TITLE,
                FormatResText(LoadResString(IDS_CHECKSUM_SUMMARY), {QString::number(rows.size())}),
                columns, rows);
}

void CFileListView::OnVerify(bool bChooseList)
{
    CLanternDoc* doc = GetDoc();
    if (!g_pImageEngine || !g_pImageEngine->HasImage() || !doc || !doc->m_pRootItem)
        return;
    QString listFile;
    if (bChooseList || FindChecksumLists(doc->m_pRootItem).empty()) {
        const QString patterns =
            QStringLiteral("*SUMS;*sum.txt;*.sha512;*.sha256;*.sha1;*.md5;*.txt");
        CFileDialogEX dlg(true, FormatResText(LoadResString(IDS_LIST_FILTER), {patterns, patterns}),
                          this);
        dlg.setWindowTitle(LoadResString(IDS_CHOOSE_LIST));
        dlg.setDirectory(QFileInfo(m_strImagePath).absolutePath());
        int result = QDialog::Rejected;
        {
            CModalDialogScope modal;
            result = dlg.exec();
        }
        if (result != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return;
        listFile = dlg.selectedFiles().constFirst();
    }

    BeginReading(m_pFrameHost, listFile.isEmpty()
                                   ? doc->m_pRootItem->m_nSize
                                   : static_cast<std::uint64_t>(QFileInfo(m_strImagePath).size()));
    if (!listFile.isEmpty() && m_pFrameHost)
        m_pFrameHost->SendProgressEvent(NOTIFY_READ_BEGIN, &m_strImagePath);
    const CVerifyIo io = EngineVerifyIo(*g_pImageEngine);
    CVerifyResult result = listFile.isEmpty()
                               ? VerifyImageLists(doc->m_pRootItem, io)
                               : VerifyWithList(listFile, m_strImagePath, doc->m_pRootItem, io);
    EndReading(m_pFrameHost);
    if (result.bCancelled)
        return;
    if (!result.strError.isEmpty()) {
        ShowCommandMessage(FormatResText(LoadResString(IDS_NO_LIST_READ), {listFile}));
        return;
    }
    // What needs the user's eye first: differing, missing, unreadable.
    const auto rank = [](VerifyOutcome o) {
        switch (o) {
        case VerifyOutcome::Differs:
            return 0;
        case VerifyOutcome::Missing:
            return 1;
        case VerifyOutcome::Unreadable:
            return 2;
        case VerifyOutcome::Match:
            return 3;
        default:
            return 4;
        }
    };
    std::stable_sort(result.rows.begin(), result.rows.end(),
                     [&](const CVerifyRow& a, const CVerifyRow& b) {
                         return rank(a.outcome) < rank(b.outcome);
                     });
    std::vector<QStringList> rows;
    for (const CVerifyRow& row : result.rows) {
        rows.push_back({LoadResString(IDS_OUTCOME_FIRST + static_cast<int>(row.outcome)),
                        row.bImageFile ? row.strPath : QLatin1Char('/') + row.strPath,
                        row.strExpected.isEmpty()
                            ? QString()
                            : DigestName(row.kind) + QLatin1Char(' ') + row.strExpected,
                        row.strActual});
    }
    const CVerifySummary summary = Summarize(result.rows);
    QStringList lists = result.lists;
    for (QString& list : lists)
        list = QFileInfo(list).isAbsolute() ? list : QLatin1Char('/') + list;
    const QString text = FormatResText(LoadResString(IDS_VERIFY_SUMMARY),
                                       {QString::number(summary.Count(VerifyOutcome::Match)),
                                        QString::number(summary.Count(VerifyOutcome::Differs)),
                                        QString::number(summary.Count(VerifyOutcome::Missing)),
                                        QString::number(summary.Count(VerifyOutcome::Unreadable)),
                                        QString::number(summary.Count(VerifyOutcome::NotListed)),
                                        lists.join(QLatin1String(", "))});
    ShowResults(this, IDS_VERIFY_TITLE, text,
                {LoadResString(IDS_COLUMN_RESULT), LoadResString(IDS_COLUMN_PATH),
                 LoadResString(IDS_COLUMN_EXPECTED), LoadResString(IDS_COLUMN_FOUND)},
                rows);
}
