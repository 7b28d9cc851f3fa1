#include "MounterWnd.h"

#include "AdtMessageBox.h"
#include "FileDialogEX.h"
#include "LangResources.h"
#include "SkinControls.h"
#include "SkinMessages.h"
#include "SuiteNames.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QProcess>
#include <QTreeWidget>
#include <QUrl>

namespace {

const QString kButtonStrip = QStringLiteral("Image\\Common\\button\\btn.png");
const QColor kBackground(61, 63, 64);
const QColor kText(232, 232, 232);
constexpr int kMargin = 12;
constexpr int kGap = 8;

const QString kListStyle = QStringLiteral(
    "QTreeWidget { background: rgb(44, 46, 47); color: rgb(232, 232, 232);"
    "  border: 1px solid rgb(30, 31, 32); alternate-background-color: rgb(50, 52, 53); }"
    "QTreeWidget::item { padding: 3px 2px; }"
    "QTreeWidget::item:selected { background: rgb(120, 84, 20); color: white; }"
    "QHeaderView::section { background: rgb(52, 54, 55); color: rgb(200, 200, 200);"
    "  border: none; border-right: 1px solid rgb(36, 37, 38);"
    "  border-bottom: 1px solid rgb(36, 37, 38); padding: 4px 6px; }");

} // namespace

CMounterWnd::CMounterWnd(QWidget* pParent) : QWidget(pParent)
{
    setWindowTitle(LoadResString(IDS_FM_TITLE));
    setObjectName(MOUNTER_WINDOW_CLASS);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    palette.setColor(QPalette::WindowText, kText);
    setPalette(palette);
    setAutoFillBackground(true);
    setMinimumSize(480, 220);

    m_pClient = new CUDisksClient(this);

    m_pList = new QTreeWidget(this);
    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels(
        {LoadResString(IDS_FM_COLUMN_IMAGE), LoadResString(IDS_FM_COLUMN_FOLDER)});
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAlternatingRowColors(true);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setStyleSheet(kListStyle);
    m_pList->setFont(SkinControlFont(90));
    m_pList->header()->setStretchLastSection(true);
    m_pList->setColumnWidth(0, 200);
    connect(m_pList, &QTreeWidget::itemSelectionChanged, this, [this] { Refresh(); });
    connect(m_pList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        const int row = m_pList->indexOfTopLevelItem(item);
        if (row >= 0 && row < int(m_mounted.size()))
            OpenFolder(m_mounted[std::size_t(row)].strMountPath);
    });

    CSkinControlFactory factory;
    factory.CreateAlphaButton(kButtonStrip, LoadResString(IDS_FM_MOUNT), WS_CHILD | WS_VISIBLE,
                              QRect(0, 0, 136, 24), this, ID_FM_MOUNT, Qt::white, &m_pMount);
    factory.CreateAlphaButton(kButtonStrip, LoadResString(IDS_FM_UNMOUNT), WS_CHILD | WS_VISIBLE,
                              QRect(0, 0, 136, 24), this, ID_FM_UNMOUNT, Qt::white, &m_pUnmount);
    const QFont statusFont = SkinControlFont(90);
    factory.CreateTextLabel(QStringLiteral(" "),
                            WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE |
                                SS_WORDELLIPSIS,
                            QRect(0, 0, 10, 24), this, 0, kText, true, &statusFont, &m_pStatus);
    resize(640, 300);
    Refresh();
}

CMounterWnd::~CMounterWnd() = default;

bool CMounterWnd::Listen()
{
    const bool bListening = m_endpoint.Listen(
        MOUNTER_WINDOW_CLASS,
        [this](std::uint32_t message, std::uint64_t, const QByteArray& data) -> std::int64_t {
            switch (message) {
            case ENDPOINT_QUERY_STATE:
                return (isVisible() ? 1 : 0) | (isMinimized() ? 2 : 0);
            case ENDPOINT_RESTORE:
                if (isMinimized())
                    setWindowState(windowState() & ~Qt::WindowMinimized);
                return 1;
            case ENDPOINT_FOREGROUND:
                show();
                raise();
                activateWindow();
                return 1;
            case WM_COPYDATA_MSG:
                // Another start of the program, handing its image over.
                if (!data.isEmpty())
                    MountImage(QString::fromUtf8(data));
                return 1;
            }
            return 0;
        });
    m_endpoint.ListenForBroadcast(MOUNTER_BROADCAST_MESSAGE,
                                  [this](std::uint64_t, std::int64_t) { BringToFront(); });
    return bListening;
}

void CMounterWnd::BringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

QString CMounterWnd::StatusText() const
{
    return m_pStatus->Text();
}

bool CMounterWnd::event(QEvent* event)
{
    if (event->type() == CPostedMessage::EventType()) {
        const auto* message = static_cast<CPostedMessage*>(event);
        if (message->Message() == WM_COMMAND && message->CommandId() == ID_FM_MOUNT)
            ChooseAndMount();
        else if (message->Message() == WM_COMMAND && message->CommandId() == ID_FM_UNMOUNT)
            UnmountSelected();
        return true;
    }
    return QWidget::event(event);
}

void CMounterWnd::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int buttonsTop = height() - kMargin - 24;
    m_pList->setGeometry(kMargin, kMargin, width() - 2 * kMargin, buttonsTop - kGap - kMargin);
    m_pMount->setGeometry(kMargin, buttonsTop, 136, 24);
    m_pUnmount->setGeometry(kMargin + 136 + kGap, buttonsTop, 136, 24);
    const int statusLeft = kMargin + 2 * (136 + kGap) + kGap;
    m_pStatus->setGeometry(statusLeft, buttonsTop, width() - kMargin - statusLeft, 24);
}

void CMounterWnd::ChooseAndMount()
{
    if (IsBusy())
        return;
    CFileDialogEX dialog(true, LoadResString(IDS_FM_CHOOSE_FILTER), this);
    dialog.setWindowTitle(LoadResString(IDS_FM_CHOOSE_TITLE));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    MountImage(dialog.selectedFiles().front());
}

void CMounterWnd::MountImage(const QString& imagePath)
{
    ++m_nBusy;
    m_strActivity =
        FormatResText(LoadResString(IDS_FM_MOUNTING), {QFileInfo(imagePath).fileName()});
    Refresh();
    m_pClient->Mount(imagePath, [this](const CUDisksOutcome& outcome) { OnMounted(outcome); });
}

void CMounterWnd::OnMounted(const CUDisksOutcome& outcome)
{
    if (outcome.nKind == CUDisksOutcome::Done) {
        m_mounted.push_back(outcome.mounted);
        auto* item = new QTreeWidgetItem(m_pList, {QFileInfo(outcome.mounted.strImage).fileName(),
                                                   outcome.mounted.strMountPath});
        item->setToolTip(0, outcome.mounted.strImage);
        item->setToolTip(1, outcome.mounted.strMountPath);
        m_pList->setCurrentItem(item);
        m_strActivity.clear();
        Refresh();
        OpenFolder(outcome.mounted.strMountPath);
    } else {
        m_strActivity.clear();
        Refresh();
        ShowFailure(outcome, IDS_FM_MOUNT_REFUSED, outcome.mounted.strImage);
    }
    EndOperation();
}

void CMounterWnd::UnmountSelected()
{
    const int row = m_pList->indexOfTopLevelItem(m_pList->currentItem());
    if (IsBusy() || row < 0 || row >= int(m_mounted.size()))
        return;
    ++m_nBusy;
    const CMountedImage image = m_mounted[std::size_t(row)];
    m_strActivity =
        FormatResText(LoadResString(IDS_FM_UNMOUNTING), {QFileInfo(image.strImage).fileName()});
    Refresh();
    m_pClient->Unmount(image, [this](const CUDisksOutcome& outcome) { OnUnmounted(outcome); });
}

void CMounterWnd::OnUnmounted(const CUDisksOutcome& outcome)
{
    m_strActivity.clear();
    if (outcome.nKind == CUDisksOutcome::Done) {
        for (std::size_t i = 0; i < m_mounted.size(); ++i) {
            if (m_mounted[i].strLoop == outcome.mounted.strLoop) {
                m_mounted.erase(m_mounted.begin() + std::ptrdiff_t(i));
                delete m_pList->takeTopLevelItem(int(i));
                break;
            }
        }
        Refresh();
    } else {
        Refresh();
        ShowFailure(outcome, IDS_FM_UNMOUNT_REFUSED, outcome.mounted.strImage);
    }
    EndOperation();
}

void CMounterWnd::EndOperation()
{
    --m_nBusy;
    Refresh();
    emit Idle();
    if (IsBusy())
        return;
    if (m_bCloseWhenIdle || (m_bEndWhenUnmounted && m_mounted.empty()))
        close();
}

void CMounterWnd::ShowFailure(const CUDisksOutcome& outcome, int nRefusedId, const QString& image)
{
    const QString name = QFileInfo(image).fileName();
    switch (outcome.nKind) {
    case CUDisksOutcome::Done:
        return;
    case CUDisksOutcome::NoBus:
        ShowError(LoadResString(IDS_FM_NO_BUS));
        return;
    case CUDisksOutcome::NoService:
        ShowError(LoadResString(IDS_FM_NO_SERVICE));
        return;
    case CUDisksOutcome::CannotOpen:
        ShowError(FormatResText(LoadResString(IDS_FM_CANNOT_OPEN), {image, outcome.strError}));
        return;
    case CUDisksOutcome::NoFileSystem:
        ShowError(FormatResText(LoadResString(IDS_FM_NO_FILE_SYSTEM), {name}));
        return;
    case CUDisksOutcome::Refused:
        ShowError(FormatResText(LoadResString(nRefusedId), {name, outcome.strError}));
        return;
    }
}

void CMounterWnd::ShowError(const QString& text)
{
    CAdtMessageBox box(text, LoadResString(IDS_FM_TITLE), MB_OK | MB_ICONERROR, this,
                       MESSAGE_BOX_DEFAULT_ICON, false);
    box.DoModal();
}

void CMounterWnd::OpenFolder(const QString& path)
{
    // Without a desktop session (a bare X server, no portal) Qt finds no way
    // to open a folder; xdg-open still picks the user's file manager.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

void CMounterWnd::Refresh()
{
    const bool bIdle = !IsBusy();
    m_pMount->setEnabled(bIdle);
    m_pUnmount->setEnabled(bIdle && m_pList->currentItem() != nullptr &&
                           m_pList->currentItem()->isSelected());
    QString status = m_strActivity;
    if (status.isEmpty())
        status = m_mounted.empty() ? LoadResString(IDS_FM_NOTHING_MOUNTED)
                                   : FormatResText(LoadResString(IDS_FM_MOUNTED_COUNT),
                                                   {QString::number(m_mounted.size())});
    // Started by the viewer, which stays hidden until this window closes.
    if (m_bEndWhenUnmounted && m_strActivity.isEmpty())
        status += QStringLiteral("  ") + LoadResString(IDS_FM_VIEWER_RETURNS);
    m_pStatus->SetText(status);
}

void CMounterWnd::closeEvent(QCloseEvent* event)
{
    if (IsBusy()) {
        // A mount or unmount is under way; close once it has ended.
        m_bCloseWhenIdle = true;
        event->ignore();
        return;
    }
    QStringList failures;
    for (std::size_t i = m_mounted.size(); i-- > 0;) {
        const CUDisksOutcome outcome = m_pClient->UnmountNow(m_mounted[i]);
        if (outcome.nKind == CUDisksOutcome::Done) {
            m_mounted.erase(m_mounted.begin() + std::ptrdiff_t(i));
            delete m_pList->takeTopLevelItem(int(i));
        } else {
            failures.prepend(QFileInfo(m_mounted[i].strImage).fileName() + QStringLiteral(": ") +
                             outcome.strError);
        }
    }
    Refresh();
    if (!failures.isEmpty()) {
        m_bCloseWhenIdle = false;
        ShowError(
            FormatResText(LoadResString(IDS_FM_STILL_MOUNTED), {failures.join(QLatin1Char('\n'))}));
        event->ignore();
        return;
    }
    event->accept();
}
