#include "ImageHandOff.h"

#include "ExtractSupport.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "FrameHost.h"
#include "ImageEngine.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "NamedMutex.h"
#include "ProgramRun.h"
#include "StoredSettings.h"
#include "SuiteNames.h"
#include "WindowEndpoint.h"

#include <AdtMessageBox.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <memory>

namespace {

constexpr int IDS_APP_TITLE = 102;
// How long the viewer waits for the burner to let go of the image.
constexpr qint64 kHandBackMs = 2000;
constexpr int IDS_MOUNTER_MISSING = 138;
constexpr int IDS_BURNER_MISSING = 652;
constexpr int IDS_BURNER_RUNNING = 653;
constexpr int IDS_REOPEN_FAILED = 656;
constexpr int IDS_IMAGE_GONE = 669;
constexpr int IDS_IMAGE_UNREADABLE = 7055;
constexpr int IDS_HANDOFF_CONTAINER = 9333;

} // namespace

bool IsBurnerIdle()
{
    CNamedMutex::Result result;
    const auto mutex = CNamedMutex::Create(BURNER_MUTEX_NAME, &result);
    return result == CNamedMutex::Result::Created;
}

bool HandOffToRunningMountProgram(IFrameHost* pFrameHost)
{
    CNamedMutex::Result result;
    auto mutex = CNamedMutex::Create(MOUNTER_MUTEX_NAME, &result);
    if (result == CNamedMutex::Result::Created)
        return false;
    if (result == CNamedMutex::Result::Failed)
        return true;
    // Running, but without a window to hand over to: a new copy is started.
    if (!CWindowEndpoint::Exists(MOUNTER_WINDOW_CLASS))
        return false;
    std::int64_t state = 0;
    if (CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_QUERY_STATE, 0, {}, &state, 5000) &&
        (state & 2))
        CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_RESTORE, 0, {}, nullptr, 5000);
    CWindowEndpoint::Send(MOUNTER_WINDOW_CLASS, ENDPOINT_FOREGROUND, 0, {}, nullptr, 5000);
    CWindowEndpoint::Broadcast(MOUNTER_BROADCAST_MESSAGE, 0, 0);
    if (pFrameHost)
        pFrameHost->HideForHandOff();
    CNamedMutex::WaitUntilFree(MOUNTER_MUTEX_NAME);
    if (pFrameHost)
        pFrameHost->RestoreAfterHandOff();
    return true;
}

bool CFileListView::CheckImageForHandOff()
{
    const QString suffix = QFileInfo(m_strImagePath).suffix();
    const bool bChecked = suffix.compare(QStringLiteral("iso"), Qt::CaseInsensitive) == 0 ||
                          suffix.compare(QStringLiteral("adi"), Qt::CaseInsensitive) == 0;
    if (bChecked && !QFileInfo::exists(m_strImagePath)) {
        ShowCommandMessage(FormatResText(LoadResString(IDS_IMAGE_GONE), {m_strImagePath}));
        return false;
    }
    if (!g_pImageEngine || g_pImageEngine->CanOpenImage(m_strImagePath) < 0) {
        ShowCommandMessage(FormatResText(LoadResString(IDS_IMAGE_UNREADABLE), {m_strImagePath}));
        DropShownImage();
        return false;
    }
    // The burner and the virtual drive take the image file as it is: a
    // description of tracks (a cue sheet, NRG, ...) would be written or
    // mounted as if it were the disc.
    auto facts = std::make_unique<VbeImageFacts>();
    if (g_pImageEngine->ReadImageFacts(m_strImagePath, facts.get()) >= 0 &&
        facts->container[0] != 0) {
        ShowCommandMessage(FormatResText(LoadResString(IDS_HANDOFF_CONTAINER), {m_strImagePath}));
        return false;
    }
    return true;
}

void CFileListView::DropShownImage()
{
    GetDoc()->ResetTree();
    GetDoc()->UpdateAllViews(nullptr, HINT_IMAGE_RELOADED);
    if (m_pFrameHost)
        m_pFrameHost->SetFrameTitle(LoadResString(IDS_APP_TITLE));
}

void CFileListView::OnBurnImage()
{
    if (!CheckImageForHandOff())
        return;
    QString burner;
    if (!GetSuiteProgramPath(SUITE_PROGRAM_BURNER, &burner)) {
        ShowCommandMessage(LoadResString(IDS_BURNER_MISSING));
        return;
    }
    if (!IsBurnerIdle()) {
        ShowSkinnedMessageBox(LoadResString(IDS_BURNER_RUNNING), MB_ICONINFORMATION);
        return;
    }
    // The burner reads the image file itself; it must not be held open here.
    CLTDataItem* folder = GetDoc() ? GetDoc()->m_pCurrentFolder : nullptr;
    g_pImageEngine->ReleaseSdk();
    CProgramRun burn;
    QString error;
    if (!burn.Start(burner, {m_strImagePath}, &error))
        ShowCommandMessage(error);
    if (m_pFrameHost)
        m_pFrameHost->HideForHandOff();
    burn.Wait();
    if (m_pFrameHost)
        m_pFrameHost->RestoreAfterHandOff();

    // The burner's process may end a moment before it lets go of its
    // lock and the image: wait for both, within a bound.
    QElapsedTimer waited;
    waited.start();
    while (!IsBurnerIdle() && waited.elapsed() < kHandBackMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(20);
    }
    g_pImageEngine->ConfigureSdk();
    if (m_pFrameHost)
        m_pFrameHost->ResetProgress();
    STATUS r = g_pImageEngine->ReattachImage();
    while (r < 0 && r != STATUS_CANCELLED && waited.elapsed() < kHandBackMs) {
        QThread::msleep(100);
        r = g_pImageEngine->ReattachImage();
    }
    if (m_pFrameHost)
        m_pFrameHost->SendProgressEvent(NOTIFY_OPEN_END, nullptr);
    if (r < 0) {
        // The tree stays as loaded when the reopen works; otherwise the
        // image is dropped.
        DropShownImage();
        m_strImagePath.clear();
        if (r != STATUS_CANCELLED)
            ShowCommandMessage(LoadResString(IDS_REOPEN_FAILED));
    } else if (folder && m_pFolderTreeView && GetDoc()->m_pCurrentFolder != folder) {
        // Back in the folder the user was in.
        m_pFolderTreeView->SelectFolder(folder);
    }
}

void CFileListView::OnMountImage()
{
    if (!CheckImageForHandOff())
        return;
    QString mounter;
    if (!GetSuiteProgramPath(SUITE_PROGRAM_VIRTUAL_DRIVE, &mounter)) {
        ShowCommandMessage(
            FormatResText(LoadResString(IDS_MOUNTER_MISSING), {SUITE_PROGRAM_VIRTUAL_DRIVE}));
        return;
    }
    if (HandOffToRunningMountProgram(m_pFrameHost))
        return;
    // The image session stays open: the mounter reads the file beside us.
    CProgramRun mount;
    QString error;
    if (!mount.Start(mounter, {m_strImagePath, MOUNTER_INTEROP_SWITCH}, &error))
        ShowCommandMessage(error);
    if (!m_pFrameHost)
        return;
    m_pFrameHost->HideForHandOff();
    mount.WaitServingEvents();
    m_pFrameHost->RestoreAfterHandOff();
}
