#include "BurnerWindow.h"

#include "AdtMessageBox.h"
#include "ApProgressCtrl.h"
#include "BurnerTexts.h"
#include "LangResources.h"
#include "SkinControls.h"
#include "SkinMessages.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <cmath>
#include <libburn/libburn.h>

namespace {
constexpr int kWidth = 600;
constexpr int kHeight = 392;
constexpr int kLeft = 24;
constexpr int kValueLeft = 136;
constexpr int kValueWidth = kWidth - kValueLeft - kLeft;
const QColor kBackground(61, 63, 64);
const QColor kText(236, 236, 236);
const QColor kDimText(176, 180, 182);
const QColor kAmber(255, 196, 84);
const QColor kGood(150, 214, 120);
const QColor kBad(255, 138, 112);
const QString kButtonStrip = QStringLiteral("Image\\Common\\button\\btn.png");
const QString kBarBackground = QStringLiteral("Image\\Common\\progressCtrl\\progress_bg_438.png");
const QString kBarUnit = QStringLiteral("Image\\Common\\progressCtrl\\progress_unit_438.png");
// The bytes per second of "1x" writing, as libburn counts them (k = 1000).
constexpr double kOneX[] = {0, 176400, 1385000, 4496000};
constexpr int kDvdOneX = 1385; // kB/s
constexpr qint64 kRateWindowMs = 3000;

QString Number(double value, int decimals)
{
    return QLocale::system().toString(value, 'f', decimals);
}

QString Colour(const QColor& c)
{
    return c.name();
}

double OneX(MediumKind kind)
{
    switch (kind) {
    case MediumKind::CD:
        return kOneX[1];
    case MediumKind::DVD:
    case MediumKind::File:
        return kOneX[2];
    case MediumKind::BD:
        return kOneX[3];
    default:
        return 0;
    }
}

QString KindText(MediumKind kind, const QString& profile)
{
    int id = IDS_KIND_OTHER;
    switch (kind) {
    case MediumKind::CD:
        id = IDS_KIND_CD;
        break;
    case MediumKind::DVD:
        id = IDS_KIND_DVD;
        break;
    case MediumKind::BD:
        id = IDS_KIND_BD;
        break;
    case MediumKind::File:
        return LoadResString(IDS_KIND_FILE);
    default:
        break;
    }
    const QString kind_ = LoadResString(id);
    return profile.isEmpty() || profile == kind_ ? kind_
                                                 : QStringLiteral("%1 (%2)").arg(kind_, profile);
}

QString Duration(qint64 seconds)
{
    return seconds >= 3600 ? QStringLiteral("%1:%2:%3")
                                 .arg(seconds / 3600)
                                 .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                           : QStringLiteral("%1:%2")
                                 .arg(seconds / 60)
                                 .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

QString FormatBurnSize(qint64 nBytes)
{
    const double kb = 1024.0, mb = kb * 1024, gb = mb * 1024;
    if (nBytes >= gb)
        return FormatResText(LoadResString(IDS_SIZE_GB), {Number(nBytes / gb, 2)});
    if (nBytes >= mb)
        return FormatResText(LoadResString(IDS_SIZE_MB), {Number(nBytes / mb, 1)});
    if (nBytes >= kb)
        return FormatResText(LoadResString(IDS_SIZE_KB), {Number(nBytes / kb, 1)});
    return FormatResText(LoadResString(IDS_SIZE_BYTES), {QString::number(nBytes)});
}

CBurnerWindow::CBurnerWindow(const QString& image, const QString& extraDrive, qint64 nStdioCapacity,
                             QWidget* pParent)
    : QWidget(pParent), m_strImage(image), m_nImageSize(QFileInfo(image).size())
{
    setWindowTitle(LoadResString(IDS_BURNER_TITLE));
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    palette.setColor(QPalette::WindowText, kText);
    palette.setColor(QPalette::Text, kText);
    palette.setColor(QPalette::Base, kBackground.darker(130));
    palette.setColor(QPalette::Button, kBackground.lighter(115));
    palette.setColor(QPalette::ButtonText, kText);
    palette.setColor(QPalette::Highlight, kAmber.darker(160));
    palette.setColor(QPalette::HighlightedText, kText);
    setPalette(palette);
    BuildControls();

    QString error;
    m_devices.SetStdioCapacity(nStdioCapacity);
    if (!InitBurnLibrary())
        error = LoadResString(IDS_MSG_NO_LIBRARY);
    m_devices.Scan(extraDrive, &error);
    if (!error.isEmpty() && !extraDrive.isEmpty())
        error = FormatResText(LoadResString(IDS_BURNER_DRIVE_ERROR), {extraDrive, error});
    for (const DriveEntry& drive : m_devices.Drives())
        m_pDrives->addItem(drive.bStdio
                               ? drive.strAddress
                               : QStringLiteral("%1  (%2)").arg(drive.strName, drive.strAddress));
    const bool bNone = m_devices.Drives().isEmpty();
    m_pDrives->setVisible(!bNone);
    m_pDriveMessage->setVisible(bNone || !error.isEmpty());
    m_pDriveMessage->setText(bNone ? QStringList{LoadResString(IDS_BURNER_NO_DRIVE), error}
                                         .join(QLatin1Char('\n'))
                                         .trimmed()
                                   : error);
    if (!bNone)
        SelectDrive(0);
    else
        ShowMedium();
    connect(m_pDrives, &QComboBox::activated, this, [this](int index) { SelectDrive(index); });
    connect(&m_poll, &QTimer::timeout, this, [this] { PollJob(); });
    m_poll.setInterval(100);
    SetBusy(false);
}

CBurnerWindow::~CBurnerWindow()
{
    m_job.StopAndWait();
}

void CBurnerWindow::BuildControls()
{
    const QFont font = SkinDialogFont(13);
    setFont(font);
    auto label = [&](int id, int y) {
        auto* l = new QLabel(LoadResString(id), this);
        l->setGeometry(kLeft, y, kValueLeft - kLeft - 8, 24);
        l->setStyleSheet(QStringLiteral("color: %1;").arg(Colour(kDimText)));
        return l;
    };
    auto value = [&](int y, int h) {
        auto* l = new QLabel(this);
        l->setGeometry(kValueLeft, y, kValueWidth, h);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };
    const QString comboStyle =
        QStringLiteral(
            "QComboBox { color: %1; background: %2; border: 1px solid %3; border-radius: 3px;"
            " padding: 2px 8px; }"
            "QComboBox:disabled { color: %4; }"
            "QComboBox QAbstractItemView { color: %1; background: %2;"
            " selection-background-color: %5; }")
            .arg(Colour(kText), Colour(kBackground.darker(125)), Colour(kBackground.lighter(160)),
                 Colour(kDimText), Colour(kAmber.darker(170)));
    const QString checkStyle =
        QStringLiteral("QCheckBox { color: %1; spacing: 8px; } QCheckBox:disabled { color: %2; }")
            .arg(Colour(kText), Colour(kDimText));

    label(IDS_BURNER_IMAGE, 20);
    m_pImage = value(20, 24);
    const QString name = QFileInfo(m_strImage).fileName();
    m_pImage->setText(
        FormatResText(LoadResString(IDS_BURNER_IMAGE_LINE),
                      {fontMetrics().elidedText(name, Qt::ElideMiddle, kValueWidth - 120),
                       FormatBurnSize(m_nImageSize)}));
    m_pImage->setToolTip(QDir::toNativeSeparators(m_strImage));

    label(IDS_BURNER_DRIVE, 56);
    m_pDrives = new QComboBox(this);
    m_pDrives->setGeometry(kValueLeft, 55, kValueWidth, 28);
    m_pDrives->setStyleSheet(comboStyle);
    m_pDriveMessage = value(53, 46);
    m_pDriveMessage->setStyleSheet(QStringLiteral("color: %1;").arg(Colour(kAmber)));

    label(IDS_BURNER_MEDIUM, 104);
    m_pMedium = value(104, 24);
    m_pFit = value(128, 22);

    label(IDS_BURNER_SPEED, 162);
    m_pSpeeds = new QComboBox(this);
    m_pSpeeds->setGeometry(kValueLeft, 160, 220, 28);
    m_pSpeeds->setStyleSheet(comboStyle);

    m_pVerify = new QCheckBox(LoadResString(IDS_BURNER_VERIFY), this);
    m_pVerify->setGeometry(kValueLeft, 198, kValueWidth, 24);
    m_pVerify->setChecked(true);
    m_pVerify->setStyleSheet(checkStyle);
    m_pEject = new QCheckBox(LoadResString(IDS_BURNER_EJECT), this);
    m_pEject->setGeometry(kValueLeft, 224, kValueWidth, 24);
    m_pEject->setChecked(true);
    m_pEject->setStyleSheet(checkStyle);

    CSkinControlFactory factory;
    factory.CreateProgressBar(QRect((kWidth - 438) / 2, 266, 438, 28), this, &m_pProgress,
                              kBarBackground, kBarUnit);
    m_pStatus = new QLabel(this);
    m_pStatus->setGeometry(kLeft, 298, kWidth - 2 * kLeft, 40);
    m_pStatus->setAlignment(Qt::AlignCenter);
    m_pStatus->setWordWrap(true);

    const int y = kHeight - 24 - 16;
    factory.CreateAlphaButton(kButtonStrip, LoadResString(IDS_BURNER_BURN), WS_CHILD | WS_VISIBLE,
                              QRect(kWidth - kLeft - 2 * 136 - 12, y, 136, 24), this,
                              IDC_BURNER_BURN, kText, &m_pBurn);
    factory.CreateAlphaButton(kButtonStrip, LoadResString(IDS_BURNER_CANCEL), WS_CHILD | WS_VISIBLE,
                              QRect(kWidth - kLeft - 136, y, 136, 24), this, IDC_BURNER_CANCEL,
                              kText, &m_pCancel);
}

QString CBurnerWindow::StatusText() const
{
    return m_pStatus->text();
}
QString CBurnerWindow::MediumText() const
{
    return m_pMedium->text() + QLatin1Char('\n') + m_pFit->text();
}
QString CBurnerWindow::DriveMessage() const
{
    return m_pDriveMessage->isVisible() ? m_pDriveMessage->text() : QString();
}

void CBurnerWindow::SelectDrive(int index)
{
    QString error;
    if (!m_devices.Select(index, &error) && !error.isEmpty()) {
        m_pDriveMessage->setText(
            FormatResText(LoadResString(IDS_BURNER_DRIVE_ERROR),
                          {m_devices.Drives().value(index).strAddress, error}));
        m_pDriveMessage->show();
    }
    ShowMedium();
}

void CBurnerWindow::ShowMedium()
{
    m_medium = m_devices.Medium();
    const MediumInfo& m = m_medium;
    QString text;
    bool bWritable = false;
    if (!m_devices.Drive())
        text = LoadResString(m_devices.Selected() < 0 ? IDS_MEDIUM_NO_DRIVE : IDS_MEDIUM_EJECTED);
    else if (m.kind == MediumKind::None)
        text = LoadResString(IDS_MEDIUM_NONE);
    else if (m.nStatus == burn::BURN_DISC_BLANK || m.nStatus == burn::BURN_DISC_APPENDABLE) {
        text =
            FormatResText(LoadResString(m.nStatus == burn::BURN_DISC_BLANK ? IDS_MEDIUM_BLANK
                                                                           : IDS_MEDIUM_APPENDABLE),
                          {KindText(m.kind, m.strProfile), FormatBurnSize(m.nFreeBytes)});
        bWritable = true;
    } else if (m.nStatus == burn::BURN_DISC_FULL)
        text = FormatResText(LoadResString(m.bErasable ? IDS_MEDIUM_REWRITABLE : IDS_MEDIUM_FULL),
                             {KindText(m.kind, m.strProfile)});
    else
        text = LoadResString(IDS_MEDIUM_UNUSABLE);
    m_pMedium->setText(text);

    const bool bFits = (m_nImageSize + 2047) / 2048 * 2048 <= m.nFreeBytes;
    m_pFit->setText(bWritable ? LoadResString(bFits ? IDS_MEDIUM_FITS : IDS_MEDIUM_TOO_SMALL)
                              : QString());
    m_pFit->setStyleSheet(QStringLiteral("color: %1;").arg(Colour(bFits ? kGood : kBad)));

    const QVariant chosen = m_pSpeeds->currentData();
    m_pSpeeds->clear();
    m_pSpeeds->addItem(LoadResString(IDS_BURNER_SPEED_MAX), 0);
    QList<int> speeds = m.writeSpeeds;
    // libburn keeps a file that stands for a drive to a chosen pace; it is
    // offered the speeds of a DVD writer.
    if (speeds.isEmpty() && m.kind == MediumKind::File)
        speeds = {16 * kDvdOneX, 8 * kDvdOneX, 4 * kDvdOneX, 2 * kDvdOneX, kDvdOneX};
    for (int kbps : speeds)
        m_pSpeeds->addItem(SpeedText(kbps * 1000.0), kbps);
    m_pSpeeds->setCurrentIndex(std::max(0, m_pSpeeds->findData(chosen)));
    m_pSpeeds->setEnabled(m_pSpeeds->count() > 1 && !IsBusy());
}

QString CBurnerWindow::SpeedText(double bytesPerSecond) const
{
    const double oneX = OneX(m_medium.kind);
    if (oneX <= 0 || m_medium.kind == MediumKind::File) {
        if (oneX > 0 && m_medium.kind == MediumKind::File && !IsBusy()) {
            // The chooser of a file drive names DVD speeds with their pace.
            const double x = bytesPerSecond / oneX;
            return QStringLiteral("%1  (%2)")
                .arg(
                    FormatResText(LoadResString(IDS_SPEED_TIMES), {Number(x, x < 10 ? 1 : 0)}),
                    FormatResText(LoadResString(IDS_SPEED_MBS), {Number(bytesPerSecond / 1e6, 1)}));
        }
        return FormatResText(LoadResString(IDS_SPEED_MBS), {Number(bytesPerSecond / 1e6, 1)});
    }
    const double x = bytesPerSecond / oneX;
    return FormatResText(LoadResString(IDS_SPEED_TIMES), {Number(x, x < 10 ? 1 : 0)});
}

bool CBurnerWindow::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_COMMAND && message->CommandId() == IDC_BURNER_BURN)
            Burn();
        else if (message->Message() == WM_COMMAND && message->CommandId() == IDC_BURNER_CANCEL)
            CancelOrClose();
        else if (message->Message() == WM_PROGRESS_WENT_BACK)
            update();
        return true;
    }
    return QWidget::event(event);
}

void CBurnerWindow::Burn()
{
    if (IsBusy())
        return;
    // A disc inserted or swapped since the drive was chosen is seen now.
    m_devices.Refresh();
    ShowMedium();
    const MediumInfo& m = m_medium;
    if (!m_devices.Drive() || m.kind == MediumKind::None) {
        ShowSkinnedMessageBox(IDS_MSG_NO_MEDIUM, MB_OK | MB_ICONWARNING, IDS_MESSAGE_BOX_CAPTION,
                              this);
        return;
    }
    bool bBlank = false;
    if (m.nStatus == burn::BURN_DISC_APPENDABLE && !m.bErasable) {
        // An image is a whole disc with its file system at block 0; written
        // as a further session it would point at the wrong blocks.
        ShowSkinnedMessageBox(IDS_MSG_APPENDABLE_WRITE_ONCE, MB_OK | MB_ICONWARNING,
                              IDS_MESSAGE_BOX_CAPTION, this);
        return;
    }
    if (m.nStatus == burn::BURN_DISC_FULL ||
        (m.nStatus == burn::BURN_DISC_APPENDABLE && m.bErasable)) {
        // An image is a whole disc: a used disc is blanked first, if it can be.
        if (!m.bErasable) {
            ShowSkinnedMessageBox(IDS_MSG_NOT_ERASABLE, MB_OK | MB_ICONWARNING,
                                  IDS_MESSAGE_BOX_CAPTION, this);
            return;
        }
        if (ShowSkinnedMessageBox(IDS_MSG_ASK_BLANK, MB_YESNO | MB_ICONQUESTION,
                                  IDS_MESSAGE_BOX_CAPTION, this) != IDYES)
            return;
        bBlank = true;
    } else if (m.nStatus != burn::BURN_DISC_BLANK && m.nStatus != burn::BURN_DISC_APPENDABLE) {
        ShowSkinnedMessageBox(IDS_MSG_NOT_WRITABLE, MB_OK | MB_ICONWARNING, IDS_MESSAGE_BOX_CAPTION,
                              this);
        return;
    }
    const qint64 nNeeded = (m_nImageSize + 2047) / 2048 * 2048;
    if (!bBlank && nNeeded > m.nFreeBytes) {
        ShowSkinnedMessageBox(
            FormatResText(LoadResString(IDS_MSG_TOO_LARGE),
                          {FormatBurnSize(m_nImageSize), FormatBurnSize(m.nFreeBytes)}),
            MB_OK | MB_ICONERROR, IDS_MESSAGE_BOX_CAPTION, this);
        return;
    }
    CBurnJob::Options options;
    options.strImage = m_strImage;
    options.nImageSize = m_nImageSize;
    options.nSpeed = m_pSpeeds->currentData().toInt();
    options.bVerify = m_pVerify->isChecked();
    options.bBlankFirst = bBlank;
    options.bStdio = m_devices.SelectedIsStdio();
    options.nCapacity = m_devices.SelectedIsStdio() ? m.nFreeBytes : 0;
    QString error;
    if (!m_job.Start(m_devices.Drive(), options, &error)) {
        EndJob(CBurnJob::Outcome::Failed);
        ShowSkinnedMessageBox(
            FormatResText(LoadResString(IDS_MSG_FAILED),
                          {LoadResString(IDS_STATE_FAILED),
                           error.isEmpty() ? LoadResString(IDS_MSG_NO_REASON) : error}),
            MB_OK | MB_ICONERROR, IDS_MESSAGE_BOX_CAPTION, this);
        return;
    }
    m_clock.start();
    m_samples.clear();
    m_lastPhase = CBurnJob::Phase::Idle;
    m_pProgress->SetPos(0);
    m_pStatus->setText(LoadResString(IDS_STATE_STARTING));
    SetBusy(true);
    m_poll.start();
}

void CBurnerWindow::CancelOrClose()
{
    if (!IsBusy()) {
        close();
        return;
    }
    m_job.Cancel();
    m_pCancel->setEnabled(false);
    m_pStatus->setText(LoadResString(IDS_STATE_CANCELLING));
}

void CBurnerWindow::closeEvent(QCloseEvent* event)
{
    if (!IsBusy()) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_bCloseWhenIdle || ShowSkinnedMessageBox(IDS_MSG_ASK_STOP, MB_YESNO | MB_ICONQUESTION,
                                                  IDS_MESSAGE_BOX_CAPTION, this) != IDYES)
        return;
    // The window goes once the drive is idle again.
    m_bCloseWhenIdle = true;
    if (IsBusy())
        CancelOrClose();
    else
        close();
}

void CBurnerWindow::keyPressEvent(QKeyEvent* event)
{
    // Esc is the Cancel button: it closes an idle window and stops a burn.
    if (event->key() == Qt::Key_Escape && m_pCancel->isEnabled()) {
        CancelOrClose();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CBurnerWindow::PollJob()
{
    const CBurnJob::Outcome outcome = m_job.Poll();
    if (outcome != CBurnJob::Outcome::Running) {
        EndJob(outcome);
        return;
    }
    const CBurnJob::Phase phase = m_job.CurrentPhase();
    if (phase != m_lastPhase) {
        m_samples.clear();
        m_lastPhase = phase;
    }
    const qint64 done = m_job.Done(), total = std::max<qint64>(1, m_job.Total());
    const int percent = int(done * 100 / total);
    m_pProgress->SetPos(percent);
    const qint64 now = m_clock.elapsed();
    m_samples.emplace_back(now, done);
    while (m_samples.size() > 2 && now - m_samples.front().first > kRateWindowMs)
        m_samples.pop_front();
    double rate = 0;
    if (m_samples.size() > 1 && now > m_samples.front().first)
        rate = double(done - m_samples.front().second) * 1000.0 /
               double(now - m_samples.front().first);
    const QString left = rate > 0 ? Duration(qint64(std::ceil(double(total - done) / rate)))
                                  : LoadResString(IDS_UNKNOWN);
    if (m_bCloseWhenIdle || !m_pCancel->isEnabled())
        return; // "Cancelling..." stays
    switch (phase) {
    case CBurnJob::Phase::Blanking:
        m_pStatus->setText(
            FormatResText(LoadResString(IDS_STATE_BLANKING), {QString::number(percent)}));
        break;
    case CBurnJob::Phase::Writing:
        m_pStatus->setText(
            FormatResText(LoadResString(IDS_STATE_WRITING),
                          {QString::number(percent),
                           rate > 0 ? SpeedText(rate) : LoadResString(IDS_UNKNOWN), left}));
        break;
    case CBurnJob::Phase::Closing:
        m_pStatus->setText(LoadResString(IDS_STATE_CLOSING));
        break;
    case CBurnJob::Phase::Verifying:
        m_pStatus->setText(
            FormatResText(LoadResString(IDS_STATE_VERIFYING), {QString::number(percent), left}));
        break;
    case CBurnJob::Phase::Starting:
        m_pStatus->setText(LoadResString(IDS_STATE_STARTING));
        break;
    case CBurnJob::Phase::Idle:
        break;
    }
}

void CBurnerWindow::EndJob(CBurnJob::Outcome outcome)
{
    m_poll.stop();
    QString status;
    QString failure;
    switch (outcome) {
    case CBurnJob::Outcome::Done:
        status = LoadResString(m_pVerify->isChecked() ? IDS_STATE_DONE_VERIFIED : IDS_STATE_DONE);
        m_pProgress->SetPos(100);
        break;
    case CBurnJob::Outcome::Cancelled:
        status = LoadResString(IDS_STATE_CANCELLED);
        m_pProgress->SetPos(0);
        break;
    case CBurnJob::Outcome::Mismatch:
        status = FormatResText(
            LoadResString(m_job.MismatchWasReadError() ? IDS_STATE_UNREADABLE : IDS_STATE_MISMATCH),
            {QString::number(m_job.MismatchOffset())});
        failure = status;
        break;
    case CBurnJob::Outcome::Failed:
    case CBurnJob::Outcome::Running:
        status = LoadResString(m_lastPhase == CBurnJob::Phase::Blanking ? IDS_STATE_BLANK_FAILED
                                                                        : IDS_STATE_FAILED);
        failure =
            FormatResText(LoadResString(IDS_MSG_FAILED),
                          {status, m_job.ErrorText().isEmpty() ? LoadResString(IDS_MSG_NO_REASON)
                                                               : m_job.ErrorText()});
        break;
    }
    m_pStatus->setText(status);
    m_bBurnEnded = true;
    if (outcome == CBurnJob::Outcome::Done && m_pEject->isChecked() && !m_devices.SelectedIsStdio())
        m_devices.ReleaseSelected(true);
    else
        m_devices.Refresh();
    ShowMedium();
    SetBusy(false);
    if (m_bCloseWhenIdle) {
        close();
        return;
    }
    if (!failure.isEmpty() && outcome != CBurnJob::Outcome::Running)
        ShowSkinnedMessageBox(failure, MB_OK | MB_ICONERROR, IDS_MESSAGE_BOX_CAPTION, this);
}

void CBurnerWindow::SetBusy(bool bBusy)
{
    const bool bDrive = m_devices.Drive() != nullptr;
    m_pBurn->setEnabled(!bBusy && bDrive);
    m_pCancel->setEnabled(true);
    m_pCancel->setText(
        LoadResString(!bBusy && m_bBurnEnded ? IDS_BURNER_CLOSE : IDS_BURNER_CANCEL));
    m_pDrives->setEnabled(!bBusy);
    m_pSpeeds->setEnabled(!bBusy && m_pSpeeds->count() > 1);
    m_pVerify->setEnabled(!bBusy);
    m_pEject->setEnabled(!bBusy);
    // Without a drive nothing is ready; the drive message says why.
    if (!bBusy && bDrive && m_pStatus->text().isEmpty())
        m_pStatus->setText(LoadResString(IDS_STATE_READY));
}
