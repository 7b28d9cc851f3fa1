#include "ProgressDlg.h"

#include "ApProgressCtrl.h"
#include "LangResources.h"
#include "Scale.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"
#include "SkinWindow.h"
#include "TextFit.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

const QString kCancelStrip = QStringLiteral("Image\\Common\\button\\btn.png");
const QString kCloseStrip = QStringLiteral("Image\\Dialogs\\BaseDialog\\btn_caption_close.png");
const QString kBarBackground = QStringLiteral("Image\\Common\\progressCtrl\\progress_bg_438.png");
const QString kBarUnit = QStringLiteral("Image\\Common\\progressCtrl\\progress_unit_438.png");
constexpr int IDC_CLOSE = 2;

} // namespace

CProgressDlg::CProgressDlg(QWidget* pParent, const QString& title, bool bScaleWithDpi,
                           QObject* pNotifyWnd)
    : QDialog(pParent, Qt::Dialog | Qt::FramelessWindowHint), m_pNotifyWnd(pNotifyWnd),
      m_strTitle(title), m_bScaleWithDpi(bScaleWithDpi)
{
    setModal(false);
    setAttribute(Qt::WA_TranslucentBackground, false);
    InitDialog();
}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::InitDialog()
{
    // The caption and text fonts keep 15 and 12 pixels at any resolution.
    m_fontTitle = SkinDialogFont(15);
    m_fontText = SkinDialogFont(12);
    m_fontMeasure = m_fontText;

    // The background over pure blue; the blue runs at the edges are cut
    // out of the window.
    const QImage background = LoadSkinImage(PROGRESS_BACKGROUND);
    m_sizeBackground = background.isNull() ? QSize(468, 160) : background.size();
    m_imgBackground = ComposeOnKeyColour(background, m_sizeBackground);
    m_region = KeyColourWindowRegion(m_imgBackground, SKIN_KEY_COLOUR);
    QSize size = m_sizeBackground;
    const double scale = m_bScaleWithDpi ? GetDpiScale() : 1.0;
    if (m_bScaleWithDpi)
        size = QSize(int(size.width() * scale), int(size.height() * scale));
    setFixedSize(size);
    if (!m_region.isEmpty())
        setMask(m_region);

    const int W = width();
    const int H = height();
    m_factory.CreateTextLabel(QStringLiteral(""),
                              SS_CENTER | SS_WORDELLIPSIS | WS_CHILD | WS_VISIBLE,
                              QRect(QPoint(15, 39), QPoint(452, 78)), this, 0, Qt::white, true,
                              &m_fontText, &m_pTextStatic);
    m_factory.CreateTextLabel(m_strTitle, SS_CENTER | WS_CHILD | WS_VISIBLE,
                              QRect((W - 200) / 2, 7, 200, 20), this, 0, Qt::white, true,
                              &m_fontTitle, &m_pTitleStatic);
    m_factory.CreateAlphaButton(kCancelStrip, LoadResString(IDS_PROGRESS_CANCEL),
                                WS_CHILD | WS_VISIBLE,
                                QRect(QPoint(W - 146, H - 34), QPoint(W - 11, H - 11)), this,
                                IDC_PROGRESS_CANCEL, Qt::white, &m_pCancelButton);
    m_factory.CreateAlphaButton(kCloseStrip, QString(), WS_CHILD | WS_VISIBLE,
                                QRect(QPoint(W - 30, 5), QPoint(W - 11, 24)), this, IDC_CLOSE,
                                Qt::white, &m_pCloseButton);
    QRect bar(QPoint(15, 82), QPoint(452, 109));
    if (m_bScaleWithDpi)
        bar = ScaleRect(bar, scale);
    m_factory.CreateProgressBar(bar, this, &m_pProgressBar, kBarBackground, kBarUnit);
    if (m_pProgressBar)
        m_pProgressBar->SetPos(0);

    if (parentWidget())
        CentreOverOwner(this);
}

void CProgressDlg::SetRange(int nLower, int nUpper, int nStep)
{
    m_nLower = nLower;
    m_nUpper = nUpper;
    m_nStep = nStep;
}

int CProgressDlg::PercentOf(int nPos, int nLower, int nUpper)
{
    if (nUpper <= nLower)
        return 0;
    return static_cast<int>(static_cast<double>(nPos - nLower) * 100.0 / (nUpper - nLower) + 0.5);
}

bool CProgressDlg::SetPos(int nPos)
{
    m_nPos = nPos;
    const int percent = PercentOf(nPos, m_nLower, m_nUpper);
    if (percent != m_nPercent) {
        m_nPercent = percent;
        if (m_pProgressBar) {
            m_pProgressBar->SetPos(percent);
            m_pProgressBar->repaint();
            ++m_nRepaints;
        }
    }
    return true;
}

void CProgressDlg::SetText(const QString& text)
{
    if (text == m_strText || !m_pTextStatic)
        return;
    m_strText = text;
    // Shortening a text to its width lays it out; a name per file would
    // cost more than extracting a small file, and only the last one of
    // those that come between two passes of the event loop is ever seen.
    if (!m_bTextPending) {
        m_bTextPending = true;
        QMetaObject::invokeMethod(this, &CProgressDlg::ShowLatestText, Qt::QueuedConnection);
    }
}

QString CProgressDlg::FittedText() const
{
    return m_strText.isEmpty() || !m_pTextStatic
               ? m_strText
               : FitTextToWidth(m_strText, m_pTextStatic->width(), &m_fontMeasure);
}

void CProgressDlg::ShowLatestText()
{
    if (!m_bTextPending || !m_pTextStatic)
        return;
    m_bTextPending = false;
    m_pTextStatic->SetText(FittedText());
}

QString CProgressDlg::ShownText() const
{
    if (!m_pTextStatic)
        return QString();
    return m_bTextPending ? FittedText() : m_pTextStatic->Text();
}

void CProgressDlg::ShowCancelButton(bool bShow)
{
    if (m_pCancelButton)
        m_pCancelButton->setVisible(bShow);
}

void CProgressDlg::RequestCancel()
{
    m_bCancelRequested = true;
    if (m_pNotifyWnd)
        PostMessageTo(m_pNotifyWnd, WM_PROGRESS_CANCEL_MSG, 1, 0, this);
}

void CProgressDlg::reject()
{
    // Escape and the window system's close: a cancel request, never a close.
    RequestCancel();
}

bool CProgressDlg::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_COMMAND &&
            (message->CommandId() == IDC_PROGRESS_CANCEL || message->CommandId() == IDC_CLOSE))
            RequestCancel();
        return true;
    }
    return QDialog::event(event);
}

void CProgressDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(rect(), m_imgBackground);
}

// Every point of the dialog outside its controls drags it.
void CProgressDlg::mousePressEvent(QMouseEvent* event)
{
    if (!m_drag.Press(this, event))
        QDialog::mousePressEvent(event);
}

void CProgressDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_drag.Move(this, event))
        QDialog::mouseMoveEvent(event);
}

void CProgressDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_drag.Release(event))
        QDialog::mouseReleaseEvent(event);
}
