#pragma once

// The program's one top-level window: a command bar row above a split pane
// of folder tree and file list. It owns the progress dialog, turns the
// engine's events into progress and warnings, keeps its placement between
// runs, takes image paths from a second instance and routes commands.

#include "CommandIds.h"
#include "EngineTypes.h"
#include "FrameHost.h"
#include "GXTFrameWnd.h"

#include <QBasicTimer>
#include <QFont>
#include <QPointer>
#include <QStringList>
#include <memory>

class CFileListView;
class CLTCommandView;
class CFolderTreeView;
class CLanternDoc;
class CProgressDlg;
class CSleepGuard;
class CWindowEndpoint;
class QMenu;
class QSplitter;

// The window class other instances look for.
inline const QString LANTERN_WINDOW_CLASS = QStringLiteral("Vantrel Lantern");

class CMainFrame : public CGXTFrameWnd,
                   public CCommandTarget,
                   public IFrameHost,
                   public ICommandRouter
{
    Q_OBJECT
public:
    explicit CMainFrame(CLanternDoc* pDoc);
    ~CMainFrame() override;

    // Creates the panes, the menu bar, the progress dialog and the fonts,
    // registers with the engine and starts answering other instances.
    bool Create();

    STATUS OpenImageFromFrame(const QString& path);

    // The engine's notification callback; the frame is the context.
    static void ProgressCallback(std::uint32_t nCode, const char16_t* pszParam, void* pContext);

    // Runs a command along the route: the view with the focus, the frame,
    // the application.
    void RouteCommand(int nID) override;
    // The command's state along the same route; a command nobody decides is
    // enabled when someone on the route handles it.
    CCmdUI QueryCommand(int nID) override;
    Handler CommandHandler(int nID) override;
    // The first target on the route that has a handler for the command.
    CCommandTarget* CommandTargetFor(int nID);
    bool OnUpdateCommand(CCmdUI& ui) override;

    // The copy-data handler: a path handed over by another instance.
    std::int64_t OnCopyData(std::uint64_t wParam, const QByteArray& data);

    // IFrameHost
    void SetFrameTitle(const QString& title) override;
    void ResetProgress() override;
    void SendProgressEvent(std::uint32_t nCode, const QString* pParam) override;
    void SetViewingTempCopy(bool bViewing) override { m_bViewingTempCopy = bViewing; }
    void HideForHandOff() override;
    void RestoreAfterHandOff() override;

    // An image file dropped from a file manager (.iso, .adi, .rdf or an
    // image of another disc program, in any case): its path, or empty when the drop is not one
    // image.
    static QString DroppedImagePath(const class QMimeData* pData);

    CLTCommandView* CommandView() const { return m_pCommandView; }
    CFolderTreeView* TreeView() const { return m_pTreeView; }
    // The tree or the list, whichever had the focus last (the list at first).
    QWidget* ActiveView() const { return m_pActiveView; }
    CFileListView* ListView() const { return m_pListView; }
    CProgressDlg* ProgressDialog() const { return m_pProgressDlg; }
    const QFont& TextFont() const { return m_fontText; }

    // Set while the View command extracts a copy of one file to open it.
    bool m_bViewingTempCopy = false;
    // What the running extraction left out or wrote otherwise than the
    // image holds it, told once when it ends.
    QStringList m_listExtractNotes;
    QString m_strExtracting;        // the file the extraction works on
    bool m_bExtractionRuns = false; // an extraction, not a copy to view
    void TellExtractionEnd();
    int m_nMoreExtractNotes = 0;

    // The message boxes of the engine's failures go through this, so tests
    // can see them; it shows the skinned message box by default.
    std::function<void(const QString& text)> m_fnWarn;

    // File > Open Recent: opens entry `index` (0 = the most recent); an
    // image that is no longer there leaves the list with a message.
    bool OpenRecentImage(int index);
    QMenu* RecentMenu() const { return m_pRecentMenu; }

    // The session manager asks whether the session may end; false refuses.
    bool OnQueryEndSession();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private slots:
    // The login manager's notices that the machine is about to sleep, or to
    // shut down or restart.
    void OnPrepareForSleep();
    void OnPrepareForShutdown();

private:
    void OnProgressEvent(std::uint32_t nCode, const QString& param);
    void BuildMenuBar();
    void FillRecentMenu();
    void ShowViewModeMenu();
    void SavePlacement();
    void Warn(const QString& text);
    void BringToFront();
    // Cancels a running extraction before sleep or shutdown; older systems
    // refuse with the given message instead.
    void GuardAgainstPowerChange(int nOlderSystemMessage);

    CLanternDoc* m_pDoc;
    QFont m_fontCaption;
    QFont m_fontMedium;
    QFont m_fontText;
    QSplitter* m_wndOuterSplitter = nullptr;
    QSplitter* m_wndInnerSplitter = nullptr;
    CLTCommandView* m_pCommandView = nullptr;
    CFolderTreeView* m_pTreeView = nullptr;
    CFileListView* m_pListView = nullptr;
    CProgressDlg* m_pProgressDlg = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    // Holds sleep and shutdown back while an extraction runs.
    CSleepGuard* m_pSleepGuard = nullptr;
    bool m_bVistaOrLater = true;
    QBasicTimer m_extractTimer; // timer 1
    QBasicTimer m_openTimer;    // timer 2
    std::unique_ptr<CWindowEndpoint> m_pEndpoint;
    // The window's state before a hand-off hid it, given back after.
    Qt::WindowStates m_handOffState = Qt::WindowNoState;
    // The pane that last had the keyboard focus: commands go to it first.
    QWidget* m_pActiveView = nullptr;
    // Where the focus was when an operation disabled the window, given back
    // when it ends.
    QPointer<QWidget> m_pFocusBeforeOperation;
};
