#include "MainFrame.h"

#include "AdtMessageBox.h"
#include "CommandView.h"
#include "EventPump.h"
#include "FileListView.h"
#include "FolderTreeView.h"
#include "ImageEngine.h"
#include "ImageKinds.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "LanternDoc.h"
#include "ModalDialogs.h"
#include "ProgressDlg.h"
#include "RecentImages.h"
#include "Scale.h"
#include "SkinMessages.h"
#include "SleepGuard.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "WindowEndpoint.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSessionManager>
#include <QSplitter>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int IDR_MAINFRAME = 128;
constexpr int IDR_VIEW_MODE = 642;
constexpr int IDS_PROGRESS_TITLE = 5023;
constexpr int IDS_EXTRACTING = 651;
constexpr int IDS_OPENING = 655;
constexpr int IDS_READING = 9348;
constexpr int IDS_NO_SLEEP_WHILE_EXTRACTING = 658;
constexpr int IDS_NO_SESSION_END_WHILE_EXTRACTING = 659;
constexpr int IDS_SLEEP_LOCK_REASON = 670;
constexpr int IDS_CANCELLING = 5109;
constexpr int IDS_VOLUME_UNSUITABLE = 662;
constexpr int IDS_VOLUME_UNSUITABLE_VIEW = 663;
constexpr int IDS_WRITE_FAILED = 664;
constexpr int IDS_READ_FAILED = 665;
constexpr int IDS_READ_FAILED_VIEW = 666;
constexpr int IDS_ACCESS_DENIED = 667;
constexpr int IDS_ACCESS_DENIED_VIEW = 668;
constexpr int kProgressTimerMs = 200;
// File > Open Recent: the entries, the line shown when the list is empty,
// Clear List, and the message for an image that is no longer there.
constexpr int ID_FILE_MRU_FILE1 = 0xE110;
constexpr int ID_RECENT_NONE = 9300;
constexpr int ID_RECENT_CLEAR = 9301;
constexpr int IDS_RECENT_MISSING = 9302;
constexpr int IDS_SPECIAL_LEFT_OUT = 9314;
constexpr int IDS_ENTRY_REFUSED = 9315;
constexpr int IDS_TARGET_PLAIN = 9316;
constexpr int IDS_MORE_NOTES = 9317;
constexpr int IDS_READ_FAILED_FILE = 9326;
constexpr int IDS_EXTRACT_COUNTS = 9327;
constexpr int IDS_EXTRACT_CANCELLED = 9328;
// The most notes of one extraction shown; the rest are counted.
constexpr int kMaxExtractNotes = 8;
// When the window is looked at again after it came back from a hand-off.
constexpr int kRestoreRecheckMs = 300;

QFont FrameFont(int pixels, QFont::Weight weight)
{
    QFont font(GetUIFontName(QStringLiteral("DejaVu Sans")));
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// The first character of a path, which stands where a drive letter would.
QString DriveOf(const QString& path)
{
    return path.left(1);
}

// Fills a menu from the language resources; every command goes to `route`.
void FillMenu(QMenu* menu, const std::vector<CResMenuItem>& items, CMainFrame* frame)
{
    for (const CResMenuItem& item : items) {
        switch (item.nKind) {
        case CResMenuItem::Separator:
            menu->addSeparator();
            break;
        case CResMenuItem::Popup:
            FillMenu(menu->addMenu(item.strText), item.children, frame);
            break;
        case CResMenuItem::Command: {
            const auto tab = item.strText.indexOf(QLatin1Char('\t'));
            QAction* action = menu->addAction(item.strText.left(tab));
            action->setData(item.nId);
            if (tab >= 0) {
                // "Enter" is the key a user calls so, whichever of the two
                // Enter keys it is (Qt names the main one Return).
                const QString keys = item.strText.mid(tab + 1);
                QList<QKeySequence> shortcuts{QKeySequence(keys)};
                if (keys.contains(QLatin1String("Enter")))
                    shortcuts << QKeySequence(
                        QString(keys).replace(QLatin1String("Enter"), QLatin1String("Return")));
                action->setShortcuts(shortcuts);
            }
            const int id = item.nId;
            QObject::connect(action, &QAction::triggered, frame,
                             [frame, id] { frame->RouteCommand(id); });
            break;
        }
        }
    }
    // Before a menu shows, each command asks the route for its state.
    QObject::connect(menu, &QMenu::aboutToShow, frame, [menu, frame] {
        for (QAction* action : menu->actions()) {
            if (!action->data().isValid())
                continue;
            const CCmdUI ui = frame->QueryCommand(action->data().toInt());
            action->setEnabled(ui.bEnabled);
            action->setCheckable(ui.bChecked);
            action->setChecked(ui.bChecked);
        }
    });
    // Shortcuts of disabled actions never fire: once the menu is gone its
    // items are enabled again, and the route decides when one is used.
    QObject::connect(menu, &QMenu::aboutToHide, frame, [menu] {
        for (QAction* action : menu->actions())
            if (action->data().isValid())
                action->setEnabled(true);
    });
}

} // namespace

CMainFrame::CMainFrame(CLanternDoc* pDoc) : m_pDoc(pDoc)
{
    setObjectName(LANTERN_WINDOW_CLASS);
    m_bVistaOrLater = !IsOsOlderThan(6);
    setAcceptDrops(true);
    // Without an owner: the frame is disabled while an operation runs, and
    // a box it owned would be disabled with it and could not be answered.
    m_fnWarn = [](const QString& text) {
        ShowSkinnedMessageBox(text, 0, IDS_MESSAGE_BOX_CAPTION, nullptr);
    };
}

CMainFrame::~CMainFrame()
{
    // The bar outlives this part of the frame: it must not ask it anything.
    if (m_pCommandView)
        m_pCommandView->SetTarget(nullptr);
    if (g_pImageEngine)
        g_pImageEngine->SetNotify(nullptr, nullptr);
    delete m_pProgressDlg;
}

bool CMainFrame::Create()
{
    // The caption and border pieces; a missing piece leaves that part
    // unpainted but the window works.
    CreateFrame();
    BuildMenuBar();

    // The progress dialog: created once, hidden, shown by the engine's events.
    m_pProgressDlg = new CProgressDlg(this, LoadResString(IDS_PROGRESS_TITLE), false, this);
    m_pProgressDlg->ShowCancelButton(true);
    m_pProgressDlg->SetRange(0, 100);
    m_pProgressDlg->SetPos(0);
    m_pProgressDlg->hide();
    if (g_pImageEngine)
        g_pImageEngine->SetNotify(&CMainFrame::ProgressCallback, this);

    m_fontCaption = FrameFont(19, QFont::Bold);
    m_fontMedium = FrameFont(IsOsOlderThan(6, 2) ? 15 : 16, QFont::Normal);
    SetCaptionFont(m_fontMedium);
    m_fontText = FrameFont(12, QFont::Normal);
    m_pProgressDlg->SetMeasureFont(m_fontText);

    // The client area: the command bar row above the tree and the list.
    m_wndOuterSplitter = new QSplitter(Qt::Vertical, this);
    m_pCommandView = new CLTCommandView(m_wndOuterSplitter);
    m_pCommandView->setFixedHeight(static_cast<int>(37 * GetImageScale()));
    m_pCommandView->SetTarget(this);
    static constexpr int kBarCommands[] = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                                           ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};
    m_pCommandView->CreateButtons(kBarCommands);
    m_wndInnerSplitter = new QSplitter(Qt::Horizontal, m_wndOuterSplitter);
    m_pTreeView = new CFolderTreeView(m_pDoc, m_wndInnerSplitter);
    m_pListView = new CFileListView(m_pDoc, m_wndInnerSplitter);
    m_wndInnerSplitter->setSizes({230, 570});
    m_wndInnerSplitter->setCollapsible(0, true);
    m_wndOuterSplitter->setStretchFactor(1, 1);
    m_wndOuterSplitter->setHandleWidth(0);
    setCentralWidget(m_wndOuterSplitter);
    m_pListView->SetFolderTreeView(m_pTreeView);
    m_pListView->SetFrameHost(this);
    m_pTreeView->SetFrameHost(this);
    m_pTreeView->Tree()->setFont(m_fontText);
    m_pListView->ListCtrl()->setFont(m_fontText);
    m_pListView->IconList()->setFont(m_fontText);
    m_pTreeView->OnInitialUpdate();
    m_pListView->OnInitialUpdate();
    m_pActiveView = m_pListView;
    m_pCommandView->OnInitialUpdate();
    // The bar's buttons follow the selections at once, not only at the next
    // idle pass.
    connect(m_pListView->ListCtrl()->selectionModel(), &QItemSelectionModel::selectionChanged,
            m_pCommandView, &CLTCommandView::UpdateButtons);
    connect(m_pTreeView->Tree(), &QTreeWidget::currentItemChanged, m_pCommandView,
            &CLTCommandView::UpdateButtons);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && m_pTreeView->isAncestorOf(now))
            m_pActiveView = m_pTreeView;
        else if (now && m_pListView->isAncestorOf(now))
            m_pActiveView = m_pListView;
    });

    const QSize minimum(static_cast<int>(450 * GetImageScale()),
                        static_cast<int>(350 * GetImageScale()));
    setMinimumSize(minimum);

    // Other instances find this window by its class name.
    m_pEndpoint = std::make_unique<CWindowEndpoint>();
    m_pEndpoint->Listen(LANTERN_WINDOW_CLASS,
                        [this](std::uint32_t message, std::uint64_t wParam,
                               const QByteArray& data) -> std::int64_t {
                            switch (message) {
                            case ENDPOINT_QUERY_STATE:
                                return (isVisible() ? 1 : 0) | (isMinimized() ? 2 : 0);
                            case ENDPOINT_RESTORE:
                                showNormal();
                                return 1;
                            case ENDPOINT_FOREGROUND: {
                                QWidget* popup = QApplication::activeModalWidget();
                                QWidget* target = popup ? popup : this;
                                target->raise();
                                target->activateWindow();
                                return 1;
                            }
                            case WM_COPYDATA_MSG:
                                return OnCopyData(wParam, data);
                            default:
                                return 0;
                            }
                        });

    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!OnQueryEndSession())
            manager.cancel();
    });
    // Sleep and shutdown notices come from the login manager where a system
    // bus exists.
    m_pSleepGuard = new CSleepGuard(this);
    connect(m_pSleepGuard, &CSleepGuard::SleepComing, this, &CMainFrame::OnPrepareForSleep);
    connect(m_pSleepGuard, &CSleepGuard::ShutdownComing, this, &CMainFrame::OnPrepareForShutdown);
    return true;
}

void CMainFrame::BuildMenuBar()
{
    const CLangResources* res = GetLangResources();
    const CResMenu* menu = res ? res->Menu(IDR_MAINFRAME) : nullptr;
    if (!menu)
        return;
    for (const CResMenuItem& popup : menu->items) {
        if (popup.nKind == CResMenuItem::Popup)
            FillMenu(menuBar()->addMenu(popup.strText), popup.children, this);
    }
    // Open Recent is the popup that holds the empty-list line; its entries
    // are made each time it opens.
    const std::function<QMenu*(QMenu*)> find = [&](QMenu* m) -> QMenu* {
        for (QAction* action : m->actions()) {
            if (action->data().toInt() == ID_RECENT_NONE)
                return m;
            if (action->menu())
                if (QMenu* found = find(action->menu()))
                    return found;
        }
        return nullptr;
    };
    for (QAction* action : menuBar()->actions()) {
        if (action->menu() && (m_pRecentMenu = find(action->menu())))
            break;
    }
    if (m_pRecentMenu)
        connect(m_pRecentMenu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentMenu);
}

void CMainFrame::FillRecentMenu()
{
    if (!m_pRecentMenu)
        return;
    QAction* none = nullptr;
    for (QAction* action : m_pRecentMenu->actions()) {
        const int id = action->data().toInt();
        if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + RECENT_IMAGES_MAX)
            delete action;
        else if (id == ID_RECENT_NONE)
            none = action;
    }
    const QStringList paths = LoadRecentImages();
    const bool bCanOpen = QueryCommand(ID_FILE_MRU_FILE1).bEnabled;
    for (int i = 0; i < paths.size(); ++i) {
        // The number is the access key; a "&" in the path is shown as one.
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        QString text = paths[i];
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = new QAction(number + QLatin1Char(' ') + text, m_pRecentMenu);
        const int id = ID_FILE_MRU_FILE1 + i;
        action->setData(id);
        action->setEnabled(bCanOpen);
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
        m_pRecentMenu->insertAction(none, action);
    }
    if (none)
        none->setVisible(paths.isEmpty());
}

bool CMainFrame::OpenRecentImage(int index)
{
    const QStringList paths = LoadRecentImages();
    if (index < 0 || index >= paths.size())
        return false;
    const QString path = paths[index];
    if (!QFileInfo(path).isFile()) {
        RemoveRecentImage(path);
        Warn(FormatResText(LoadResString(IDS_RECENT_MISSING), {path}));
        return false;
    }
    const STATUS r = OpenImageFromFrame(path);
    if (r < 0 && r != STATUS_CANCELLED)
        Warn(m_pListView->OpenFailureText());
    return r >= 0;
}

void CMainFrame::ShowViewModeMenu()
{
    const CLangResources* res = GetLangResources();
    const CResMenu* menu = res ? res->Menu(IDR_VIEW_MODE) : nullptr;
    if (!menu || menu->items.empty() || menu->items[0].nKind != CResMenuItem::Popup)
        return;
    QMenu popup(this);
    FillMenu(&popup, menu->items[0].children, this);
    popup.exec(QCursor::pos());
}

STATUS CMainFrame::OpenImageFromFrame(const QString& path)
{
    return m_pListView ? m_pListView->OpenImageFile(path) : STATUS_FAIL;
}

CCommandTarget* CMainFrame::CommandTargetFor(int nID)
{
    if (m_pActiveView == m_pTreeView && m_pTreeView->HasHandler(nID))
        return m_pTreeView;
    if (m_pActiveView == m_pListView && m_pListView->HasHandler(nID))
        return m_pListView;
    return HasHandler(nID) ? this : nullptr;
}

void CMainFrame::RouteCommand(int nID)
{
    // A command never runs while its rule disables it: a shortcut comes
    // here whatever state its menu item showed last.
    if (!QueryCommand(nID).bEnabled)
        return;
    CCommandTarget* target = CommandTargetFor(nID);
    if (!target)
        return;
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const bool bExit = nID == ID_APP_EXIT;
    target->OnCommand(nID);
    if (bExit)
        return;
    // A message without an owner, or another program's run, may leave no
    // window active: the window and its pane take the focus back.
    if (isVisible() && !QApplication::activeWindow()) {
        activateWindow();
        if (focus && isAncestorOf(focus))
            focus->setFocus(Qt::OtherFocusReason);
    }
}

CCmdUI CMainFrame::QueryCommand(int nID)
{
    CCmdUI ui;
    ui.nID = nID;
    if (m_pActiveView == m_pTreeView && m_pTreeView->OnUpdateCommand(ui))
        return ui;
    // View's rule lives in the list, and asks it only while the list is the
    // active view: from the tree there is nothing to view.
    if (m_pActiveView == m_pListView && m_pListView->OnUpdateCommand(ui))
        return ui;
    if (OnUpdateCommand(ui))
        return ui;
    // Without a rule of its own a command is enabled where the route has a
    // handler for it.
    ui.bEnabled = CommandTargetFor(nID) != nullptr;
    return ui;
}

CCommandTarget::Handler CMainFrame::CommandHandler(int nID)
{
    if (nID >= ID_FILE_MRU_FILE1 && nID < ID_FILE_MRU_FILE1 + RECENT_IMAGES_MAX)
        return [this, nID] { OpenRecentImage(nID - ID_FILE_MRU_FILE1); };
    switch (nID) {
    case ID_RECENT_CLEAR:
        return [this] { ClearRecentImages(); };
    case ID_PROPERTIES:
        // Of the folder chosen in the tree when the tree was used last.
        if (m_pListView && m_pActiveView == m_pTreeView)
            return [this] { m_pListView->ShowProperties(m_pTreeView->GetSelectedRecord()); };
        return m_pListView ? m_pListView->CommandHandler(nID) : Handler();
    case ID_IMAGE_OPEN:
    case ID_BURN_IMAGE:
    case ID_MOUNT_IMAGE:
    case ID_FIND:
    case ID_CHECKSUM:
    case ID_VERIFY:
    case ID_VERIFY_WITH:
        return m_pListView ? m_pListView->CommandHandler(nID) : Handler();
    case ID_VIEW_MODE:
        return [this] { ShowViewModeMenu(); };
    case ID_VIEW_LARGEICON:
        return [this] { m_pListView->SetViewStyle(LVS_ICON); };
    case ID_VIEW_SMALLICON:
        return [this] { m_pListView->SetViewStyle(LVS_SMALLICON); };
    case ID_VIEW_LIST:
        return [this] { m_pListView->SetViewStyle(LVS_LIST); };
    case ID_VIEW_DETAILS:
        return [this] { m_pListView->SetViewStyle(LVS_REPORT); };
    case ID_APP_EXIT:
        return [this] { close(); };
    default:
        return {};
    }
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui)
{
    if (!m_pListView)
        return false;
    if (ui.nID >= ID_FILE_MRU_FILE1 && ui.nID < ID_FILE_MRU_FILE1 + RECENT_IMAGES_MAX) {
        // As Open: not while an image loads or files are extracted.
        ui.Enable(!g_pImageEngine ||
                  (!g_pImageEngine->IsLoading() && !g_pImageEngine->IsExtracting()));
        return true;
    }
    switch (ui.nID) {
    case ID_RECENT_NONE:
        ui.Enable(false);
        return true;
    case ID_RECENT_CLEAR:
        ui.Enable(!LoadRecentImages().isEmpty());
        return true;
    case ID_VIEW_LARGEICON:
    case ID_VIEW_SMALLICON:
    case ID_VIEW_LIST:
    case ID_VIEW_DETAILS: {
        const unsigned style = ui.nID == ID_VIEW_LARGEICON   ? LVS_ICON
                               : ui.nID == ID_VIEW_SMALLICON ? LVS_SMALLICON
                               : ui.nID == ID_VIEW_LIST      ? LVS_LIST
                                                             : LVS_REPORT;
        ui.Enable(true);
        ui.SetCheck(m_pListView->GetViewStyle() == style);
        return true;
    }
    case ID_BURN_IMAGE:
    case ID_MOUNT_IMAGE:
        ui.Enable(!m_pListView->GetOpenImagePath().isEmpty());
        return true;
    case ID_FIND:
    case ID_PROPERTIES:
    case ID_CHECKSUM:
    case ID_VERIFY:
    case ID_VERIFY_WITH:
        return m_pListView->OnUpdateCommand(ui);
    case ID_EXTRACT:
        // The pane the user worked in last decides, as it decides where the
        // command goes.
        if (m_pActiveView == m_pTreeView) {
            const CLTDataItem* record = m_pTreeView->GetSelectedRecord();
            ui.Enable(record && record->m_nKind != KIND_ROOT);
        } else {
            ui.Enable(m_pListView->SelectedCount() > 0);
        }
        return true;
    case ID_VIEW_MODE:
        ui.Enable(true);
        return true;
    default:
        return false;
    }
}

std::int64_t CMainFrame::OnCopyData(std::uint64_t wParam, const QByteArray& data)
{
    if (wParam != 1025 || data.isEmpty())
        return 0;
    if (g_pImageEngine && (g_pImageEngine->IsLoading() || g_pImageEngine->IsExtracting()))
        return 0;
    if (GetOpenModalDialogCount() > 0)
        return 0;
    // UTF-16 with its terminating NUL.
    QString path =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
    const auto nul = path.indexOf(QChar(0));
    if (nul >= 0)
        path.truncate(nul);
    if (path.isEmpty())
        return 0;
    const STATUS r = OpenImageFromFrame(path);
    if (r < 0 && r != STATUS_CANCELLED)
        Warn(m_pListView->OpenFailureText());
    return 0;
}

void CMainFrame::SetFrameTitle(const QString& title)
{
    setWindowTitle(title);
    // The list view names the image in the title once it has opened it,
    // however it was chosen: that image heads File > Open Recent.
    const QString open = m_pListView ? m_pListView->GetOpenImagePath() : QString();
    if (!open.isEmpty() && title.endsWith(QStringLiteral(" [%1]").arg(open)))
        AddRecentImage(open);
}

void CMainFrame::HideForHandOff()
{
    m_handOffState = windowState() & ~Qt::WindowMinimized;
    showMinimized();
    hide();
    setEnabled(false);
    // The caller may block without serving events: let the display know now.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CMainFrame::RestoreAfterHandOff()
{
    setEnabled(true);
    // Shown as it was, never left iconic: some window managers keep the
    // minimized state of a window that was hidden while minimized.
    setWindowState(m_handOffState & ~Qt::WindowMinimized);
    if (m_handOffState & Qt::WindowMaximized)
        showMaximized();
    else
        showNormal();
    raise();
    activateWindow();
    // The window manager may map the window after this returns: ask once
    // more when it has.
    QTimer::singleShot(kRestoreRecheckMs, this, [this] {
        if (!isVisible())
            return;
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
}

void CMainFrame::ResetProgress()
{
    if (m_pProgressDlg)
        m_pProgressDlg->SetPos(0);
}

void CMainFrame::SendProgressEvent(std::uint32_t nCode, const QString* pParam)
{
    OnProgressEvent(nCode, pParam ? *pParam : QString());
}

void CMainFrame::ProgressCallback(std::uint32_t nCode, const char16_t* pszParam, void* pContext)
{
    auto* frame = static_cast<CMainFrame*>(pContext);
    if (!frame || nCode < 0x8001 || nCode > NOTIFY_READ_END)
        return;
    frame->OnProgressEvent(nCode, pszParam ? QString::fromUtf16(pszParam) : QString());
}

void CMainFrame::OnProgressEvent(std::uint32_t nCode, const QString& param)
{
    switch (nCode) {
    case NOTIFY_EXTRACT_BEGIN:
    case NOTIFY_READ_BEGIN:
    case NOTIFY_OPEN_BEGIN: {
        const int text = nCode == NOTIFY_EXTRACT_BEGIN ? IDS_EXTRACTING
                         : nCode == NOTIFY_READ_BEGIN  ? IDS_READING
                                                       : IDS_OPENING;
        // Paths inside the image are shown with the separator of this system.
        QString shown = param;
        if (nCode == NOTIFY_READ_BEGIN)
            shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (nCode == NOTIFY_EXTRACT_BEGIN) {
            shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
            m_strExtracting = shown;
            m_bExtractionRuns = m_bExtractionRuns || !m_bViewingTempCopy;
            // Sleep and shutdown wait for the extraction (taken once, at the
            // first file).
            if (m_pSleepGuard && !m_pSleepGuard->IsHeld())
                m_pSleepGuard->Acquire(LoadResString(IDS_SLEEP_LOCK_REASON));
        }
        m_pProgressDlg->SetText(FormatResText(LoadResString(text), {shown}));
        if (isEnabled())
            m_pFocusBeforeOperation = QApplication::focusWidget();
        setEnabled(false);
        m_pProgressDlg->setEnabled(true);
        const QPoint centred = frameGeometry().center() - m_pProgressDlg->rect().center();
        if (m_pProgressDlg->pos() != centred)
            m_pProgressDlg->move(centred);
        // This comes for every file of an extraction. The first one shows the
        // dialog and paints it at once; after that the new name is painted
        // as often as the engine's pump serves events (a paint per file cost
        // more than extracting a small file).
        if (!m_pProgressDlg->isVisible()) {
            m_pProgressDlg->show();
            m_pProgressDlg->raise();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        } else {
            ServeWaitingEvents(QEventLoop::ExcludeUserInputEvents);
        }
        // The poll runs every 200 ms from the first file on: started again
        // for every file, it never fired while small files followed each
        // other faster than that, and the bar stood still.
        QBasicTimer& poll = nCode == NOTIFY_OPEN_BEGIN ? m_openTimer : m_extractTimer;
        if (!poll.isActive())
            poll.start(kProgressTimerMs, this);
        break;
    }
    case NOTIFY_SPECIAL_LEFT_OUT:
    case NOTIFY_ENTRY_REFUSED:
    case NOTIFY_TARGET_PLAIN: {
        if (m_listExtractNotes.size() >= kMaxExtractNotes) {
            ++m_nMoreExtractNotes;
            break;
        }
        const int text = nCode == NOTIFY_SPECIAL_LEFT_OUT ? IDS_SPECIAL_LEFT_OUT
                         : nCode == NOTIFY_ENTRY_REFUSED  ? IDS_ENTRY_REFUSED
                                                          : IDS_TARGET_PLAIN;
        QString shown = param;
        shown.replace(QLatin1Char('\\'), QLatin1Char('/'));
        m_listExtractNotes << FormatResText(LoadResString(text), {shown});
        break;
    }
    case NOTIFY_EXTRACT_END:
    case NOTIFY_READ_END:
    case NOTIFY_OPEN_END:
        (nCode == NOTIFY_OPEN_END ? m_openTimer : m_extractTimer).stop();
        // The partial file of a cancelled extraction is gone by now: a
        // waiting sleep or shutdown may go on.
        if (nCode == NOTIFY_EXTRACT_END && m_pSleepGuard)
            m_pSleepGuard->Release();
        m_pProgressDlg->hide();
        setEnabled(true);
        raise();
        activateWindow();
        if (m_pFocusBeforeOperation && isAncestorOf(m_pFocusBeforeOperation))
            m_pFocusBeforeOperation->setFocus(Qt::OtherFocusReason);
        m_pFocusBeforeOperation = nullptr;
        if (nCode == NOTIFY_EXTRACT_END)
            TellExtractionEnd();
        break;
    case NOTIFY_CANCELLING:
        m_pProgressDlg->SetText(LoadResString(IDS_CANCELLING));
        break;
    case NOTIFY_VOLUME_UNSUITABLE: {
        const QString name = param.mid(param.lastIndexOf(QLatin1Char('/')) + 1);
        Warn(m_bViewingTempCopy
                 ? FormatResText(LoadResString(IDS_VOLUME_UNSUITABLE_VIEW), {DriveOf(param)})
                 : FormatResText(LoadResString(IDS_VOLUME_UNSUITABLE), {name, DriveOf(param)}));
        break;
    }
    case NOTIFY_WRITE_FAILED:
        Warn(FormatResText(LoadResString(IDS_WRITE_FAILED), {param}));
        break;
    case NOTIFY_READ_FAILED:
        // The file that could not be read, beneath the message.
        Warn(LoadResString(m_bViewingTempCopy ? IDS_READ_FAILED_VIEW : IDS_READ_FAILED) +
             (m_strExtracting.isEmpty()
                  ? QString()
                  : QStringLiteral("\n\n") +
                        FormatResText(LoadResString(IDS_READ_FAILED_FILE), {m_strExtracting})));
        break;
    case NOTIFY_ACCESS_DENIED:
        Warn(FormatResText(
            LoadResString(m_bViewingTempCopy ? IDS_ACCESS_DENIED_VIEW : IDS_ACCESS_DENIED),
            {param}));
        break;
    default:
        break;
    }
}

// What an extraction did, told when it ends where it kept existing files,
// left something out or was cancelled after writing; a plain complete one
// needs no word.
void CMainFrame::TellExtractionEnd()
{
    const bool bRan = m_bExtractionRuns;
    m_bExtractionRuns = false;
    m_strExtracting.clear();
    QStringList notes = m_listExtractNotes;
    m_listExtractNotes.clear();
    if (m_nMoreExtractNotes > 0)
        notes << FormatResText(LoadResString(IDS_MORE_NOTES),
                               {QString::number(m_nMoreExtractNotes)});
    m_nMoreExtractNotes = 0;
    if (!g_pImageEngine)
        return;
    const CImageEngine::ExtractSummary& done = g_pImageEngine->GetExtractSummary();
    const bool bCancelled = g_pImageEngine->IsCancelled();
    // A cancel before anything was written gets no message, as any cancelled
    // command; once files are on disk the user learns how far it went.
    const unsigned nWritten = done.nFiles + done.nHardLinks + done.nLinks;
    if (bRan && (done.nSkipped > 0 || !notes.isEmpty() || (bCancelled && nWritten > 0))) {
        const QString counts = FormatResText(
            LoadResString(IDS_EXTRACT_COUNTS),
            {QString::number(done.nFiles + done.nHardLinks), QString::number(done.nLinks),
             QString::number(done.nSkipped), QString::number(done.nLeftOut + done.nRefused)});
        notes.prepend(bCancelled ? LoadResString(IDS_EXTRACT_CANCELLED) + QLatin1Char(' ') + counts
                                 : counts);
    }
    if (!notes.isEmpty())
        Warn(notes.join(QStringLiteral("\n\n")));
}

void CMainFrame::Warn(const QString& text)
{
    if (m_fnWarn)
        m_fnWarn(text);
}

void CMainFrame::timerEvent(QTimerEvent* event)
{
    int percent = 0;
    if (event->timerId() == m_extractTimer.timerId() && g_pImageEngine) {
        g_pImageEngine->GetProgress(PROGRESS_EXTRACT, &percent);
        m_pProgressDlg->SetPos(percent);
    } else if (event->timerId() == m_openTimer.timerId() && g_pImageEngine) {
        g_pImageEngine->GetProgress(PROGRESS_LOAD, &percent);
        m_pProgressDlg->SetPos(percent);
    }
    CGXTFrameWnd::timerEvent(event);
}

bool CMainFrame::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_PROGRESS_CANCEL_MSG && g_pImageEngine)
            g_pImageEngine->SetCancel(message->WParam() != 0);
        return true;
    }
    return CGXTFrameWnd::event(event);
}

bool CMainFrame::OnQueryEndSession()
{
    if (!g_pImageEngine || !g_pImageEngine->IsExtracting())
        return true;
    // A session that ends during an extraction cancels it; the partial file
    // is removed and the session goes on.
    if (m_bVistaOrLater) {
        g_pImageEngine->SetCancel(true);
        return true;
    }
    // Older systems refuse instead, and say why.
    BringToFront();
    Warn(LoadResString(IDS_NO_SESSION_END_WHILE_EXTRACTING));
    return false;
}

void CMainFrame::OnPrepareForSleep()
{
    GuardAgainstPowerChange(IDS_NO_SLEEP_WHILE_EXTRACTING);
}

void CMainFrame::OnPrepareForShutdown()
{
    GuardAgainstPowerChange(IDS_NO_SESSION_END_WHILE_EXTRACTING);
}

void CMainFrame::GuardAgainstPowerChange(int nOlderSystemMessage)
{
    if (!g_pImageEngine || !g_pImageEngine->IsExtracting())
        return;
    // Sleeping or shutting down in the middle of an extraction would leave a
    // half-written file: cancel it, which removes the partial file before
    // the lock that holds the machine back is released.
    if (m_bVistaOrLater) {
        g_pImageEngine->SetCancel(true);
        return;
    }
    // Older systems refuse and let the extraction go on; the lock holds the
    // machine back for as long as the login manager allows.
    BringToFront();
    Warn(LoadResString(nOlderSystemMessage));
}

void CMainFrame::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void CMainFrame::SavePlacement()
{
    const QRect restored = normalGeometry();
    WindowPlacement placement;
    placement.nLeft = restored.x();
    placement.nTop = restored.y();
    placement.nWidth = restored.width();
    placement.nHeight = restored.height();
    placement.bMaximized = isMaximized() ? 1 : 0;
    WriteWindowPlacement(placement);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    SavePlacement();
    CGXTFrameWnd::closeEvent(event);
}

QString CMainFrame::DroppedImagePath(const QMimeData* pData)
{
    if (!pData || !pData->hasUrls() || pData->urls().size() != 1)
        return {};
    const QUrl url = pData->urls().constFirst();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (!ImageKinds::IsImageSuffix(suffix))
        return {};
    return path;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    const bool bBusy =
        g_pImageEngine && (g_pImageEngine->IsLoading() || g_pImageEngine->IsExtracting());
    if (!bBusy && GetOpenModalDialogCount() == 0 && !DroppedImagePath(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QString path = DroppedImagePath(event->mimeData());
    if (path.isEmpty() || !isEnabled())
        return;
    event->acceptProposedAction();
    const STATUS r = OpenImageFromFrame(path);
    if (r < 0 && r != STATUS_CANCELLED)
        Warn(m_pListView->OpenFailureText());
}
