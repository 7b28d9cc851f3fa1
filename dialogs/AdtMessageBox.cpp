#include "AdtMessageBox.h"

#include "LangResources.h"
#include "Scale.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"
#include "SkinText.h"
#include "SkinWindow.h"
#include "SystemVersion.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QString kFactoryBackground = QStringLiteral("Image\\Dialogs\\MessageBox\\bg_re_04.png");
const QString kButtonStrip = QStringLiteral("Image\\Common\\button\\btn.png");
const QString kCloseStrip = QStringLiteral("Image\\Dialogs\\BaseDialog\\btn_caption_close.png");
const QString kPiecePrefix = QStringLiteral("Image\\Dialogs\\MessageBox\\bg_message_");

constexpr int kIconLabelId = 1001;
constexpr int kTitleLabelId = 1002;
constexpr int kMaxIconPath = 260;

// The caption line: 400 x 20, centred, 6 pixels from the top.
QRect CaptionRect(int nClientWidth)
{
    return QRect((nClientWidth - 400) / 2, 6, 400, 20);
}

} // namespace

CAdtMessageBox::CAdtMessageBox(int nMessageId, unsigned nStyle, int nCaptionId, QWidget* pParent,
                               const QString& iconPath, bool bTopMost)
    : QDialog(pParent), m_strText(LoadResString(nMessageId)),
      m_strCaption(LoadResString(nCaptionId))
{
    Construct(nStyle, iconPath, bTopMost);
}

CAdtMessageBox::CAdtMessageBox(const QString& text, unsigned nStyle, int nCaptionId,
                               QWidget* pParent, const QString& iconPath, bool bTopMost)
    : QDialog(pParent), m_strText(text), m_strCaption(LoadResString(nCaptionId))
{
    Construct(nStyle, iconPath, bTopMost);
}

CAdtMessageBox::CAdtMessageBox(const QString& text, const QString& caption, unsigned nStyle,
                               QWidget* pParent, const QString& iconPath, bool bTopMost)
    : QDialog(pParent), m_strText(text), m_strCaption(caption)
{
    Construct(nStyle, iconPath, bTopMost);
}

// The buttons and labels are children and go with the window; leaving the
// scope lowers the count of open modal dialogs.
CAdtMessageBox::~CAdtMessageBox() = default;

void CAdtMessageBox::Construct(unsigned nStyle, const QString& iconPath, bool bTopMost)
{
    setObjectName(MESSAGE_BOX_CLASS_NAME);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setWindowTitle(m_strCaption);
    // The background image covers every pixel; nothing is erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    m_nStyle = nStyle;
    m_bTopMost = bTopMost;
    m_szIconPath = MessageBoxIconPath(nStyle, iconPath.left(kMaxIconPath));
    m_bVistaOrLater = !IsOsOlderThan(6);
}

void CAdtMessageBox::MakeFonts()
{
    const OsVersion os = GetOsVersion();
    const CLangResources* resources = GetLangResources();
    const bool chinese = resources && resources->LanguageCode() == u"CHS";
    m_fontCaption = SkinDialogFont(os.nMajor >= 6 && os.nMinor >= 2 && chinese ? 16 : 15);
    m_fontText = SkinDialogFont(12);
}

void CAdtMessageBox::InitDialog()
{
    if (m_bInitialised)
        return;
    m_bInitialised = true;
    m_pModalScope = std::make_unique<CModalDialogScope>();

    m_factory.SetBackground(kFactoryBackground);
    if (!m_szIconPath.isEmpty())
        m_factory.CreateImageLabelAt(m_szIconPath, QPoint(50, 60), this, kIconLabelId,
                                     &m_pIconCtrl);
    MakeFonts();
    m_factory.CreateTextLabel(m_strCaption, WS_CHILD | WS_VISIBLE | SS_CENTER, CaptionRect(width()),
                              this, kTitleLabelId, Qt::white, true, &m_fontCaption, &m_pTitleCtrl);

    SizeAndCompose();
    CreateButtons();
    if (m_bTopMost)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (m_pIconCtrl && m_sizeBox.height() == MB_MIN_HEIGHT)
        m_pIconCtrl->move(m_rectText.left() - 50, 104 - m_pIconCtrl->height() / 2);
    if (m_pTitleCtrl)
        m_pTitleCtrl->setGeometry(CaptionRect(width()));
}

void CAdtMessageBox::SizeAndCompose()
{
    const QSize oneLine = MeasureSkinText(m_fontText, m_strText, 0, TF_SINGLELINE);
    const MessageBoxGeometry geometry = ComputeMessageBoxGeometry(oneLine, [this](int width) {
        return MeasureSkinText(m_fontText, m_strText, width, TF_WORDBREAK);
    });
    m_sizeBox = geometry.sizeBox;
    m_rectText = geometry.rectText;

    static const char* const rows[3] = {"top", "mid", "bot"};
    static const char* const columns[3] = {"left", "mid", "right"};
    MessageBoxPieces pieces;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            pieces.piece[row][column] =
                LoadSkinImage(kPiecePrefix + QLatin1String(columns[column]) + QLatin1Char('_') +
                              QLatin1String(rows[row]) + QStringLiteral(".png"));
    m_imgBackground = ComposeMessageBoxBackground(m_sizeBox, pieces);
    {
        QPainter painter(&m_imgBackground);
        painter.setPen(Qt::white);
        DrawSkinText(painter, m_fontText, m_rectText, m_strText, TF_WORDBREAK);
    }

    m_region = KeyColourWindowRegion(m_imgBackground, SKIN_KEY_COLOUR);
    setFixedSize(m_sizeBox);
    setMask(m_region);
    move(0, 0);
    CentreOverOwner(this);
}

void CAdtMessageBox::CreateButtons()
{
    const std::vector<int> ids = MessageBoxButtons(m_nStyle);
    const int count = int(ids.size());
    for (int i = 0; i < count; ++i) {
        const int id = ids[count - 1 - i];
        CAlphaButton* button = nullptr;
        m_factory.CreateAlphaButton(kButtonStrip, LoadResString(id), WS_CHILD | WS_VISIBLE,
                                    MessageBoxButtonRect(m_sizeBox, i), this, id, Qt::white,
                                    &button);
        m_pButtons.push_back(button);
    }
    m_nButtonCount = unsigned(count);
    if (MessageBoxHasCloseButton(m_nStyle)) {
        m_factory.CreateAlphaButton(kCloseStrip, QString(), WS_CHILD | WS_VISIBLE,
                                    QRect(m_sizeBox.width() - 30, 5, 20, 20), this, ID_MB_CLOSE,
                                    Qt::white, &m_pCloseButton);
        m_pCloseButton->SetTooltipText(LoadResString(IDS_MB_CLOSE_TIP), true);
    }
}

std::vector<CAlphaButton*> CAdtMessageBox::Buttons() const
{
    return std::vector<CAlphaButton*>(m_pButtons.rbegin(), m_pButtons.rend());
}

int CAdtMessageBox::DoModal()
{
    InitDialog();
    return exec();
}

void CAdtMessageBox::reject()
{
    done(IDCANCEL);
}

bool CAdtMessageBox::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_COMMAND) {
            if (const int result = MessageBoxResult(message->CommandId()))
                done(result);
        }
        return true;
    }
    return QDialog::event(event);
}

void CAdtMessageBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_imgBackground);
}

void CAdtMessageBox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        done(IDOK);
        return;
    case Qt::Key_Escape:
        done(IDCANCEL);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

// The whole surface outside the buttons moves the box.
void CAdtMessageBox::mousePressEvent(QMouseEvent* event)
{
    if (!m_drag.Press(this, event))
        QDialog::mousePressEvent(event);
}

void CAdtMessageBox::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_drag.Move(this, event))
        QDialog::mouseMoveEvent(event);
}

void CAdtMessageBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_drag.Release(event))
        QDialog::mouseReleaseEvent(event);
}

int ShowSkinnedMessageBox(int nMessageId, unsigned nStyle, int nCaptionId, QWidget* pParent,
                          const QString& iconPath, bool bTopMost)
{
    CAdtMessageBox box(nMessageId, nStyle, nCaptionId, pParent, iconPath, bTopMost);
    return box.DoModal();
}

int ShowSkinnedMessageBox(const QString& text, unsigned nStyle, int nCaptionId, QWidget* pParent,
                          const QString& iconPath, bool bTopMost)
{
    CAdtMessageBox box(text, nStyle, nCaptionId, pParent, iconPath, bTopMost);
    return box.DoModal();
}
