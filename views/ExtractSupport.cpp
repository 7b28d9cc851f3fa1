#include "ExtractSupport.h"

#include "AdtMessageBox.h"
#include "ConfirmFile.h"
#include "FileDialogEX.h"
#include "FrameHost.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "StoredSettings.h"
#include "VolumeCheck.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int IDS_TARGET_ON_DISC = 650;
constexpr int IDS_TARGET_NOT_WRITABLE = 7427;
constexpr int IDS_CHOOSE_EXTRACT_FOLDER = 11481;
// The overwrite question's answers beyond replace (1006) and skip (1005).
constexpr int ANSWER_REPLACE_ALL = 3; // IDABORT
constexpr int ANSWER_SKIP_ALL = 5;    // IDIGNORE
constexpr int ANSWER_CANCEL = 2;      // IDCANCEL

} // namespace

namespace {

OverwriteAnswer AskOverwrite(COverwriteAnswers answers, const CONFIRM_DESCRIPTION& description)
{
    if (answers.bOverwriteAll)
        return OverwriteAnswer::Overwrite;
    if (answers.bSkipAll)
        return OverwriteAnswer::Skip;
    // Without an owner: the main window is disabled while an extraction
    // runs, and a question owned by it could not be answered.
    CConfirmFile dlg(nullptr);
    dlg.m_pDescription = &description;
    switch (dlg.DoModal()) {
    case IDC_CONFIRM_REPLACE:
        return OverwriteAnswer::Overwrite;
    case IDC_CONFIRM_SKIP:
        return OverwriteAnswer::Skip;
    case ANSWER_REPLACE_ALL:
        answers.bOverwriteAll = true;
        return OverwriteAnswer::Overwrite;
    case ANSWER_SKIP_ALL:
        answers.bSkipAll = true;
        return OverwriteAnswer::Skip;
    case ANSWER_CANCEL:
        answers.bCancelled = true;
        return OverwriteAnswer::Cancel;
    default:
        return OverwriteAnswer::Overwrite;
    }
}

} // namespace

OverwriteAnswer ConfirmOverwrite(COverwriteAnswers answers, const CONFIRM_DESCRIPTION& description)
{
    const OverwriteAnswer answer = AskOverwrite(answers, description);
    // What the user kept is told in the extraction's summary.
    if (answer == OverwriteAnswer::Skip && g_pImageEngine)
        g_pImageEngine->NoteSkipped();
    return answer;
}

QString RememberedExtractFolder()
{
    return GetExtractPath();
}

bool ChooseExtractTarget(QWidget* pOwner, QString* pTarget)
{
    QString start = GetExtractPath();
    if (!start.endsWith(QLatin1Char('/')))
        start += QLatin1Char('/');
    const QString chosen = BrowseForFolder(pOwner, LoadResString(IDS_CHOOSE_EXTRACT_FOLDER), start);
    if (chosen.isEmpty())
        return false;
    QString target = QDir::cleanPath(chosen);
    if (!target.endsWith(QLatin1Char('/')))
        target += QLatin1Char('/');
    const DriveType drive = GetDriveType(target);
    if (drive == DRIVE_UNKNOWN || drive == DRIVE_CDROM) {
        ShowCommandMessage(LoadResString(IDS_TARGET_ON_DISC));
        return false;
    }
    if (!IsFolderWritable(target)) {
        ShowCommandMessage(FormatResText(LoadResString(IDS_TARGET_NOT_WRITABLE), {target}));
        return false;
    }
    *pTarget = target;
    return true;
}

void EndExtractCommand(IFrameHost* pFrameHost, bool bResetPercent)
{
    if (g_pImageEngine) {
        g_pImageEngine->EndExtraction();
        g_pImageEngine->SetBytesWritten(0);
        g_pImageEngine->SetBytesTotal(0);
        if (bResetPercent)
            g_pImageEngine->SetExtractPercent(0);
    }
    if (pFrameHost)
        pFrameHost->SendProgressEvent(NOTIFY_EXTRACT_END, nullptr);
}

void ShowCommandMessage(const QString& text)
{
    ShowSkinnedMessageBox(text, 0, IDS_MESSAGE_BOX_CAPTION, nullptr);
}

QString ImagePathOf(const CLTDataItem* pRecord)
{
    QString path = pRecord->m_strFolderPath + pRecord->m_strFileName;
    qsizetype lead = 0;
    while (lead < path.size() && path[lead] == QLatin1Char('\\'))
        ++lead;
    return path.mid(lead);
}
