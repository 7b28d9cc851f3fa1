#include "SkinControls.h"

#include "ApProgressCtrl.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "Scale.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"
#include "SkinText.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QToolTip>
#include <algorithm>

namespace {

// The button font's size may be given in points by this string (at most 9).
constexpr int IDS_BUTTON_FONT_POINTS = 8040;
constexpr int kBaseTenths = 90;

// The face when the resources name none: the desktop's sans-serif family.
const QString kDefaultFace = QStringLiteral("Sans Serif");

const QColor kDisabledButtonText(0x64, 0x64, 0x64);
const QColor kDisabledLabelText(0xD6, 0xD6, 0xD6);

QColor SystemTextColour()
{
    return QPalette().color(QPalette::WindowText);
}

unsigned StaticTextFlags(unsigned nStyle)
{
    switch (nStyle & SS_TYPEMASK) {
    case SS_CENTER:
        return TF_CENTER | TF_WORDBREAK;
    case SS_RIGHT:
        return TF_RIGHT | TF_WORDBREAK;
    case SS_LEFTNOWORDWRAP:
        return 0;
    default:
        return TF_WORDBREAK;
    }
}

void PlaceChild(QWidget* pChild, unsigned nStyle, const QRect& rect, QWidget* pParent)
{
    pChild->setParent(pParent);
    pChild->setGeometry(rect);
    pChild->setVisible(nStyle & WS_VISIBLE);
}

} // namespace

QFont SkinControlFont(int nTenthsOfPoint)
{
    QFont font(GetUIFontName(kDefaultFace));
    // Tenths of a point at 96 pixels per inch, so the height in pixels is the
    // same on every display.
    font.setPixelSize(std::max(1, qRound(nTenthsOfPoint / 10.0 * 96.0 / 72.0 * GetImageScale())));
    font.setWeight(QFont::Normal);
    return font;
}

QFont SkinDialogFont(int nPixels)
{
    QFont font(GetUIFontName(kDefaultFace));
    font.setPixelSize(std::max(1, nPixels));
    font.setWeight(QFont::Normal);
    return font;
}

QRect ScaleRect(const QRect& rect, double scale)
{
    const int left = int(rect.left() * scale);
    const int top = int(rect.top() * scale);
    const int right = int((rect.left() + rect.width()) * scale);
    const int bottom = int((rect.top() + rect.height()) * scale);
    return QRect(left, top, right - left, bottom - top);
}

// ---- CAlphaButton -------------------------------------------------------------

CAlphaButton::CAlphaButton(QWidget* pParent) : QAbstractButton(pParent)
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    for (int i = 0; i < 3; ++i)
        m_clrText[i] = SystemTextColour();
    m_clrText[STATE_DISABLED] = kDisabledButtonText;
    int tenths = kBaseTenths;
    bool ok = false;
    const int points = LoadResString(IDS_BUTTON_FONT_POINTS).trimmed().toInt(&ok);
    if (ok && points > 0)
        tenths = std::min(points * 10, kBaseTenths);
    m_font = SkinControlFont(tenths);
}

CAlphaButton::~CAlphaButton() = default;

bool CAlphaButton::LoadStateImages(const QString& path, bool bRelative, bool bEightFrames)
{
    m_imgStrip = bRelative ? LoadSkinImage(path) : QImage(path);
    if (!m_imgStrip.isNull())
        m_imgStrip = m_imgStrip.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize frame = StripFrameSize(m_imgStrip.size(), bEightFrames ? 8 : 4);
    m_nFrameWidth = frame.width();
    m_nFrameHeight = frame.height();
    m_bCheckFrames = bEightFrames;
    return true;
}

bool CAlphaButton::Create(const QString& caption, unsigned nStyle, const QRect& rect,
                          QWidget* pParent, int nId)
{
    m_nId = nId;
    setText(caption);
    PlaceChild(this, nStyle, ScaleRect(rect, GetDpiScale(false)), pParent);
    return true;
}

void CAlphaButton::SetButtonTextColor(const QColor& colour)
{
    for (int i = 0; i < 3; ++i)
        m_clrText[i] = colour;
    update();
}

void CAlphaButton::SetTooltipText(const QString& text, bool bActive)
{
    if (text.isNull())
        return;
    m_strTooltip = text;
    m_bTooltipActive = bActive;
}

void CAlphaButton::SetTooltipFromString(int nStringId, bool bActive)
{
    const QString text = LoadResString(nStringId);
    if (!text.isEmpty())
        SetTooltipText(text.section(QLatin1Char('\n'), 0, 0), bActive);
}

int CAlphaButton::CurrentFrame() const
{
    if (m_bCheckFrames && isChecked())
        return m_nState + 4;
    return m_nState;
}

void CAlphaButton::SetTakesFocus(bool bTakes)
{
    setFocusPolicy(bTakes ? Qt::TabFocus : Qt::NoFocus);
}

void CAlphaButton::Click()
{
    PostMessageTo(parentWidget(), WM_COMMAND,
                  std::uintptr_t(unsigned(m_nId) & 0xFFFF) | (std::uintptr_t(BN_CLICKED) << 16), 0,
                  this);
}

bool CAlphaButton::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        // The access key: at once, without the animated press of a Qt button;
        // a key that two buttons share only moves the focus between them.
        const auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (focusPolicy() != Qt::NoFocus)
            setFocus(Qt::ShortcutFocusReason);
        if (!shortcut->isAmbiguous() && isEnabled())
            Click();
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QRect tool = rect().adjusted(1, 1, -1, -1);
        if (m_bTooltipActive && !m_strTooltip.isEmpty() && tool.contains(help->pos()))
            QToolTip::showText(help->globalPos(), m_strTooltip, this, tool);
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractButton::event(event);
}

void CAlphaButton::SetState(int nState)
{
    m_nState = nState;
}

void CAlphaButton::Repaint()
{
    // The button draws nothing under itself: the parent's background shows
    // through where the strip is transparent.
    if (m_bUpdateParentNow)
        repaint();
    else
        update();
}

void CAlphaButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!rect().contains(event->position().toPoint())) {
        SetState(STATE_NORMAL);
        Repaint();
    } else if (m_nState == STATE_NORMAL) {
        SetState(STATE_HOVER);
        Repaint();
    }
    event->accept();
}

void CAlphaButton::leaveEvent(QEvent*)
{
    if (m_nState != STATE_DISABLED) {
        SetState(STATE_NORMAL);
        Repaint();
    }
}

void CAlphaButton::mousePressEvent(QMouseEvent* event)
{
    // No default handling: a click gives no focus.
    if (event->button() == Qt::LeftButton) {
        SetState(STATE_PRESSED);
        Repaint();
    }
    event->accept();
}

void CAlphaButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return; // the right button's release is swallowed
    const bool clicked = m_nState == STATE_PRESSED && rect().contains(event->position().toPoint());
    if (m_nState == STATE_PRESSED)
        SetState(m_bCheckFrames ? STATE_HOVER : STATE_NORMAL);
    Repaint();
    if (clicked)
        Click();
}

void CAlphaButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        SetState(isEnabled() ? STATE_NORMAL : STATE_DISABLED);
        Repaint();
    }
    QAbstractButton::changeEvent(event);
}

// Keys reach the button only when it takes the focus; whatever it does not
// use goes on to its parent.
void CAlphaButton::keyPressEvent(QKeyEvent* event)
{
    const bool bPlain = !(event->modifiers() & ~Qt::KeypadModifier);
    if (!bPlain || !isEnabled() || focusPolicy() == Qt::NoFocus) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) {
            m_bFocusCue = true;
            SetState(STATE_PRESSED);
            Repaint();
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Click();
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}

void CAlphaButton::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Space || event->isAutoRepeat() || m_nState != STATE_PRESSED) {
        event->ignore();
        return;
    }
    SetState(STATE_NORMAL);
    Repaint();
    Click();
    event->accept();
}

void CAlphaButton::focusInEvent(QFocusEvent* event)
{
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        m_bFocusCue = true;
        break;
    default:
        break; // a focus given by the program shows no frame until a key is used
    }
    update();
    QAbstractButton::focusInEvent(event);
}

void CAlphaButton::focusOutEvent(QFocusEvent* event)
{
    // Another window or a menu taking the focus for a while keeps the frame
    // for when it comes back.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        m_bFocusCue = false;
    // Space let go elsewhere clicks nothing.
    if (m_nState == STATE_PRESSED)
        SetState(STATE_NORMAL);
    update();
    QAbstractButton::focusOutEvent(event);
}

void CAlphaButton::LayOutText()
{
    const QString caption = text();
    const QFontMetrics metrics(m_font);
    const int lineWidth =
        MeasureSkinText(m_font, caption, 0, TF_SINGLELINE | TF_ACCESS_KEY).width();
    const int lineHeight = metrics.height();
    const int wrapped =
        MeasureSkinText(m_font, caption, m_nWidth - m_ptText.x(), TF_WORDBREAK | TF_ACCESS_KEY)
            .height();
    const ButtonTextLayout layout =
        LayOutButtonText(QSize(m_nWidth, m_nHeight), m_ptText, lineWidth, lineHeight,
                         caption.contains(QLatin1Char('\n')), wrapped, m_bCenterText, m_bFitText);
    m_ptText = layout.ptText;
    m_nTextFormat |= layout.nAddFormat;
    m_bLayoutDone = true;
}

void CAlphaButton::paintEvent(QPaintEvent*)
{
    m_nWidth = width();
    m_nHeight = height();
    QPainter painter(this);
    const QSize frame(m_nFrameWidth, m_nFrameHeight);
    if (!m_imgStrip.isNull() && !frame.isEmpty()) {
        if (m_bCheckFrames)
            painter.drawImage(QPoint(0, 0), m_imgStrip, StripFrameRect(frame, CurrentFrame()));
        else
            painter.drawImage(rect(), m_imgStrip, StripFrameRect(frame, m_nState));
    }
    const int shift = m_nState == STATE_PRESSED ? 2 : 0;
    const QString caption = text();
    if (!caption.isEmpty()) {
        if (!m_bLayoutDone)
            LayOutText();
        painter.setPen(m_clrText[m_nState]);
        const QRect area(QPoint(m_ptText.x(), m_ptText.y() + shift),
                         QSize(m_nWidth - m_ptText.x(), m_nHeight - m_ptText.y()));
        DrawSkinText(painter, m_font, area, caption, m_nTextFormat | TF_ACCESS_KEY);
    }
    if (!icon().isNull()) {
        const int side = int(16 * GetImageScale());
        icon().paint(&painter, QRect(4, (m_nHeight - side) / 2 + shift, side, side));
    }
    if (m_bFocusCue && hasFocus()) {
        // A dotted frame inside the button's edge, in the caption's colour.
        QPen pen(m_clrText[m_nState], 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

// ---- CGStatic -------------------------------------------------------------------

CGStatic::CGStatic(QWidget* pParent) : QWidget(pParent)
{
    for (int i = 0; i < 3; ++i)
        m_clrText[i] = Qt::black;
    m_clrText[STATE_DISABLED] = kDisabledLabelText;
    m_clrFill = QPalette().color(QPalette::Window);
    m_font = SkinControlFont(kBaseTenths);
}

bool CGStatic::Create(const QString& text, unsigned nStyle, const QRect& rect, QWidget* pParent,
                      int nId)
{
    m_strText = text;
    m_nStyle = nStyle | SS_NOTIFY;
    m_nId = nId;
    m_rectCreate = rect;
    PlaceChild(this, nStyle, rect, pParent);
    return true;
}

void CGStatic::SetImage(const QImage& image)
{
    m_imgImage =
        image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_nImageWidth = m_imgImage.width();
    m_nImageHeight = m_imgImage.height();
    update();
}

void CGStatic::SetOverlayBitmap(const QImage& overlay)
{
    m_bDrawImage = true;
    m_imgOverlay = overlay;
    update();
}

void CGStatic::SetTextColors(const QColor& normal, const QColor& hover, const QColor& pressed,
                             const QColor& disabled)
{
    m_clrText[STATE_NORMAL] = normal;
    m_clrText[STATE_HOVER] = hover;
    m_clrText[STATE_PRESSED] = pressed;
    m_clrText[STATE_DISABLED] = disabled;
    update();
}

void CGStatic::SetText(const QString& text)
{
    m_strText = text;
    update();
}

void CGStatic::SetLabelFont(const QFont& font)
{
    m_font = font;
    update();
}

void CGStatic::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        m_nState = isEnabled() ? STATE_NORMAL : STATE_DISABLED;
        update();
    }
    QWidget::changeEvent(event);
}

QImage CGStatic::Render() const
{
    const int w = width();
    const int h = height();
    QImage buffer(std::max(1, w), std::max(1, h), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    QPainter p(&buffer);
    const bool haveBackground = !m_imgBackground.isNull();

    auto copyBackground = [&] {
        if (!haveBackground)
            return;
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), m_imgBackground, QRect(pos(), size()));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    };
    auto copy = [&](const QRect& target, const QImage& image, const QRect& source) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(target, image, source);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    };
    auto fillWithEdge = [&] {
        p.fillRect(rect(), m_clrFill);
        p.setPen(m_clrFill.darker(160));
        p.drawLine(0, 0, w - 1, 0);
        p.drawLine(0, 0, 0, h - 1);
        p.setPen(m_clrFill.lighter(140));
        p.drawLine(1, h - 1, w - 1, h - 1);
        p.drawLine(w - 1, 1, w - 1, h - 1);
    };
    auto drawOverlay = [&] {
        if (!m_imgOverlay.isNull())
            copy(m_imgOverlay.rect(), m_imgOverlay, m_imgOverlay.rect());
    };

    copyBackground();
    if (!m_imgImage.isNull()) {
        const int iw = m_nImageWidth;
        const int ih = m_nImageHeight;
        if (m_bDrawImage) {
            if (m_bThreePart && iw >= 10) {
                copy(QRect(0, 0, 5, ih), m_imgImage, QRect(0, 0, 5, ih));
                for (int x = 5; x < w - 5; x += 5) {
                    const int slice = std::min(5, w - 5 - x);
                    copy(QRect(x, 0, slice, ih), m_imgImage, QRect(5, 0, slice, ih));
                }
                copy(QRect(w - 5, 0, 5, ih), m_imgImage, QRect(iw - 5, 0, 5, ih));
            } else if (haveBackground) {
                if (w > iw) {
                    const int left = iw / 2;
                    const int right = iw - left;
                    p.drawImage(QRect(0, 0, left, h), m_imgImage, QRect(0, 0, left, ih));
                    for (int x = left; x < w - right; x += 5) {
                        const int slice = std::min({5, w - right - x, right});
                        p.drawImage(QRect(x, 0, slice, h), m_imgImage, QRect(left, 0, slice, ih));
                    }
                    p.drawImage(QRect(w - right, 0, right, h), m_imgImage,
                                QRect(left, 0, right, ih));
                } else {
                    p.drawImage(rect(), m_imgImage);
                }
            } else {
                copy(QRect(0, 0, iw, ih), m_imgImage, m_imgImage.rect());
            }
            drawOverlay();
        } else {
            fillWithEdge();
        }
    } else if (m_bDrawImage) {
        drawOverlay();
    } else {
        fillWithEdge();
    }

    if (!m_strText.isEmpty()) {
        QRect area = rect();
        if (m_rectText.left() >= 1)
            area.setLeft(m_rectText.left());
        if (m_rectText.top() >= 1)
            area.setTop(m_rectText.top());
        if (m_rectText.right() >= 1)
            area.setRight(m_rectText.right());
        if (m_rectText.bottom() >= 1)
            area.setBottom(m_rectText.bottom());
        unsigned flags = TF_WORDBREAK;
        if ((m_nStyle & SS_TYPEMASK) == SS_CENTER)
            flags |= TF_CENTER;
        else if ((m_nStyle & SS_TYPEMASK) == SS_RIGHT)
            flags |= TF_RIGHT;
        if (m_nStyle & SS_CENTERIMAGE)
            flags |= TF_VCENTER | TF_SINGLELINE;
        p.setPen(m_clrText[m_nState]);
        DrawSkinText(p, m_font, area, m_strText, flags);
    }
    p.end();
    return buffer;
}

void CGStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), Render());
}

// ---- CAlphaStatic -------------------------------------------------------------

CAlphaStatic::CAlphaStatic(QWidget* pParent) : QWidget(pParent)
{
    m_clrText = SystemTextColour();
    m_brushBackground = QBrush(QPalette().color(QPalette::Button));
    m_font = SkinControlFont(kBaseTenths);
}

bool CAlphaStatic::Create(const QString& text, unsigned nStyle, const QRect& rect, QWidget* pParent,
                          int nId)
{
    m_strText = text;
    m_nStyle = nStyle;
    m_nId = nId;
    PlaceChild(this, nStyle, rect, pParent);
    return true;
}

void CAlphaStatic::SetTextColor(const QColor& colour)
{
    m_clrText = colour;
    update();
}

void CAlphaStatic::SetTransparent(bool bTransparent)
{
    m_bTransparent = bTransparent;
    update();
}

void CAlphaStatic::SetLabelFont(const QFont& font)
{
    m_font = font;
    update();
}

void CAlphaStatic::SetText(const QString& text)
{
    m_strText = text;
    update();
}

void CAlphaStatic::SetMargin(int nMargin)
{
    m_nMargin = nMargin;
    update();
}

void CAlphaStatic::SetBackgroundBrush(const QBrush& brush)
{
    m_brushBackground = brush;
    update();
}

void CAlphaStatic::SetAlternativeBrush(const QBrush& brush)
{
    m_brushAlternative = brush;
    update();
}

void CAlphaStatic::PaintText(QPainter& painter)
{
    QRect area = rect().adjusted(m_nMargin, m_nMargin, -m_nMargin, -m_nMargin);
    const unsigned flags = StaticTextFlags(m_nStyle);
    if (m_nStyle & SS_CENTERIMAGE) {
        const int textHeight = MeasureSkinText(m_font, m_strText, area.width(), flags).height();
        area.moveTop(area.top() + (area.height() - textHeight) / 2);
    }
    painter.setPen(m_clrText);
    DrawSkinText(painter, m_font, area, m_strText, flags);
}

void CAlphaStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_bTransparent) {
        PaintText(painter);
        return;
    }
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter inner(&buffer);
    inner.fillRect(rect(), m_brushAlternative.style() != Qt::NoBrush ? m_brushAlternative
                                                                     : m_brushBackground);
    PaintText(inner);
    inner.end();
    painter.drawImage(QPoint(0, 0), buffer);
}

// ---- CSkinControlFactory --------------------------------------------------------

SKINRESULT CSkinControlFactory::SetBackground(const QString& relativePath)
{
    const QImage image = LoadSkinImage(relativePath);
    QImage composed;
    if (!image.isNull()) {
        composed = QImage(image.size(), QImage::Format_ARGB32_Premultiplied);
        composed.fill(Qt::white);
        QPainter p(&composed);
        p.drawImage(QPoint(0, 0), image);
    }
    m_imgBackground = composed;
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::CreateAlphaButton(const QString& stripPath, const QString& caption,
                                                  unsigned nStyle, const QRect& rect,
                                                  QWidget* pParent, int nId,
                                                  const QColor& textColour, CAlphaButton** ppButton)
{
    if (!ppButton || *ppButton || stripPath.isEmpty())
        return SKIN_E_INVALIDARG;
    auto* button = new CAlphaButton;
    const SKINRESULT result =
        InitAlphaButton(stripPath, caption, nStyle, rect, pParent, nId, textColour, button);
    if (result != SKIN_OK) {
        delete button;
        return result;
    }
    *ppButton = button;
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::InitAlphaButton(const QString& stripPath, const QString& caption,
                                                unsigned nStyle, const QRect& rect,
                                                QWidget* pParent, int nId, const QColor& textColour,
                                                CAlphaButton* pButton)
{
    if (!pButton || stripPath.isEmpty())
        return SKIN_E_INVALIDARG;
    pButton->LoadStateImages(stripPath, true, false);
    pButton->Create(caption, nStyle, rect, pParent, nId);
    pButton->SetTooltipFromString(nId, true);
    pButton->SetButtonTextColor(textColour);
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::CreateImageLabel(const QString& imagePath, const QRect& rect,
                                                 QWidget* pParent, int nId, CGStatic** ppLabel)
{
    if (!ppLabel || *ppLabel)
        return SKIN_E_INVALIDARG;
    auto* label = new CGStatic;
    if (!imagePath.isNull())
        label->SetImage(LoadSkinImage(imagePath));
    label->Create(QString(), WS_CHILD | WS_VISIBLE, rect, pParent, nId);
    label->SetTextColors(Qt::white, Qt::black, Qt::black, kDisabledLabelText);
    if (!m_imgBackground.isNull())
        label->SetBackground(m_imgBackground);
    *ppLabel = label;
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::CreateImageLabelAt(const QString& imagePath, const QPoint& point,
                                                   QWidget* pParent, int nId, CGStatic** ppLabel)
{
    if (!ppLabel || *ppLabel || imagePath.isNull())
        return SKIN_E_INVALIDARG;
    auto* label = new CGStatic;
    label->SetImage(LoadSkinImage(imagePath));
    label->Create(QString(), WS_CHILD | WS_VISIBLE, QRect(point, label->ImageSize()), pParent, nId);
    if (!m_imgBackground.isNull())
        label->SetBackground(m_imgBackground);
    *ppLabel = label;
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::CreateTextLabel(const QString& text, unsigned nStyle,
                                                const QRect& rect, QWidget* pParent, int nId,
                                                const QColor& textColour, bool bTransparent,
                                                const QFont* pFont, CAlphaStatic** ppLabel)
{
    if (!ppLabel || *ppLabel || text.isNull())
        return SKIN_E_INVALIDARG;
    auto* label = new CAlphaStatic;
    InitTextLabel(text, nStyle, rect, pParent, nId, textColour, bTransparent, pFont, label);
    *ppLabel = label;
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::InitTextLabel(const QString& text, unsigned nStyle,
                                              const QRect& rect, QWidget* pParent, int nId,
                                              const QColor& textColour, bool bTransparent,
                                              const QFont* pFont, CAlphaStatic* pLabel)
{
    if (!pLabel || text.isNull())
        return SKIN_E_INVALIDARG;
    pLabel->Create(text, nStyle, rect, pParent, nId);
    pLabel->SetTextColor(textColour);
    pLabel->SetTransparent(bTransparent);
    if (pFont)
        pLabel->SetLabelFont(*pFont);
    return SKIN_OK;
}

SKINRESULT CSkinControlFactory::CreateProgressBar(const QRect& rect, QWidget* pParent,
                                                  CApProgressCtrl** ppBar,
                                                  const QString& backgroundPath,
                                                  const QString& unitPath)
{
    if (!ppBar || *ppBar)
        return SKIN_E_INVALIDARG;
    auto* bar = new CApProgressCtrl;
    if (!bar->Initialise(rect, pParent, backgroundPath, unitPath)) {
        delete bar;
        return SKIN_E_FAIL;
    }
    *ppBar = bar;
    return SKIN_OK;
}
