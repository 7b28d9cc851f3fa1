#pragma once

// The owner-painted controls of the dialogs and the command bar:
//
//   CAlphaButton   a push button drawn from a strip of state images with
//                  alpha; a click is posted to its parent as a WM_COMMAND
//                  (SkinMessages.h) after the mouse button is released on it,
//                  or when its access key ("&" in the caption) is pressed
//   CGStatic       an image label that copies its parent's background image
//                  under itself and blends its image over it
//   CAlphaStatic   a text label, transparent on request
//
// and CSkinControlFactory, which creates them with the skin's conventions:
// image paths relative to the program folder, tooltips from string
// resources, and the background image that image labels copy.
//
// Controls get their parent as Qt parent, which deletes them with itself.

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <cstdint>

class CApProgressCtrl;

// Window and static styles the factory and controls understand (the values
// are the classic ones, so style words from callers read the same).
inline constexpr unsigned WS_CHILD = 0x40000000;
inline constexpr unsigned WS_VISIBLE = 0x10000000;
inline constexpr unsigned SS_LEFT = 0x0;
inline constexpr unsigned SS_CENTER = 0x1;
inline constexpr unsigned SS_RIGHT = 0x2;
inline constexpr unsigned SS_LEFTNOWORDWRAP = 0xC;
inline constexpr unsigned SS_TYPEMASK = 0x1F;
inline constexpr unsigned SS_NOTIFY = 0x100;
inline constexpr unsigned SS_CENTERIMAGE = 0x200;
inline constexpr unsigned SS_WORDELLIPSIS = 0xC000;

// Results of the factory.
using SKINRESULT = std::int32_t;
inline constexpr SKINRESULT SKIN_OK = 0;
inline constexpr SKINRESULT SKIN_E_FAIL = static_cast<SKINRESULT>(0x80004005u);
inline constexpr SKINRESULT SKIN_E_INVALIDARG = static_cast<SKINRESULT>(0x80070057u);

// Button and label states, also the frame index in a state strip.
enum SkinState
{
    STATE_NORMAL = 0,
    STATE_HOVER = 1,
    STATE_PRESSED = 2,
    STATE_DISABLED = 3
};

// The font of the skinned buttons and labels: the user-interface face at
// `nTenthsOfPoint` (90 = 9 points), which is 12 pixels high at image scale
// 1.0 whatever the display's resolution, times the image scale.
QFont SkinControlFont(int nTenthsOfPoint);
// The dialogs' caption and text fonts: the user-interface face at a fixed
// height in pixels (the same on every display), normal weight.
QFont SkinDialogFont(int nPixels);

// A rectangle with every coordinate multiplied by `scale` and truncated.
QRect ScaleRect(const QRect& rect, double scale);

class CAlphaButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit CAlphaButton(QWidget* pParent = nullptr);
    ~CAlphaButton() override;

    // The state strip: joined to the program folder when `bRelative`, four or
    // (with `bEightFrames`) eight frames. A missing file leaves the button
    // without pictures. Always true.
    bool LoadStateImages(const QString& path, bool bRelative, bool bEightFrames = false);

    // Makes the button a child of `pParent` at `rect` (scaled by the display
    // scale) with command ID `nId`; shown when `nStyle` has WS_VISIBLE.
    bool Create(const QString& caption, unsigned nStyle, const QRect& rect, QWidget* pParent,
                int nId);

    // Text colour of the normal, hover and pressed states.
    void SetButtonTextColor(const QColor& colour);
    // The tooltip over the button (shrunk by a pixel each side); a null text
    // does nothing.
    void SetTooltipText(const QString& text, bool bActive);
    // The first line of string `nStringId`, when that string is not empty.
    void SetTooltipFromString(int nStringId, bool bActive);

    // Lets the button take the keyboard focus by Tab and by its access key
    // (never by a click, so the mouse works as before). With the focus, Space
    // (pressed, then clicked when let go), Return and Enter click it; after
    // the focus came by the keyboard a dotted frame shows where it is.
    void SetTakesFocus(bool bTakes);
    // Posts the click to the parent, as a release of the mouse on it does.
    void Click();

    int Id() const { return m_nId; }
    int State() const { return m_nState; }
    QSize FrameSize() const { return QSize(m_nFrameWidth, m_nFrameHeight); }
    // The font the caption is drawn in.
    const QFont& ButtonFont() const { return m_font; }
    bool HasEightFrames() const { return m_bCheckFrames; }
    QString TooltipText() const { return m_strTooltip; }
    bool IsTooltipActive() const { return m_bTooltipActive; }
    // The text layout, valid after the first paint with a caption.
    QPoint TextOrigin() const { return m_ptText; }
    unsigned TextFormat() const { return m_nTextFormat; }
    bool IsLayoutDone() const { return m_bLayoutDone; }
    // The frame of the strip drawn in the current state (for an eight-frame
    // strip, the checked look adds four).
    int CurrentFrame() const;

    // When set (the default), a state change repaints at once rather than at
    // the next paint cycle.
    void SetUpdateParentNow(bool bNow) { m_bUpdateParentNow = bNow; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SetState(int nState);
    void Repaint();
    void LayOutText();

    QImage m_imgStrip;
    QColor m_clrText[4];
    int m_nState = STATE_NORMAL;
    QString m_strTooltip;
    bool m_bTooltipActive = false;
    bool m_bCheckFrames = false;
    QPoint m_ptText{0, 0};
    bool m_bCenterText = true;
    bool m_bFitText = true;
    QFont m_font;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bUpdateParentNow = true;
    bool m_bLayoutDone = false;
    unsigned m_nTextFormat = 0;
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    int m_nId = 0;
    // The focus came by the keyboard: the focus frame is drawn.
    bool m_bFocusCue = false;
};

class CGStatic : public QWidget
{
    Q_OBJECT
public:
    explicit CGStatic(QWidget* pParent = nullptr);

    bool Create(const QString& text, unsigned nStyle, const QRect& rect, QWidget* pParent, int nId);

    void SetImage(const QImage& image);
    // The parent's background image, copied under the label at its position.
    void SetBackground(const QImage& background) { m_imgBackground = background; }
    // Shows `overlay` over the whole label and repaints.
    void SetOverlayBitmap(const QImage& overlay);
    void SetFillColor(const QColor& colour) { m_clrFill = colour; }
    void SetTextColors(const QColor& normal, const QColor& hover, const QColor& pressed,
                       const QColor& disabled);
    void SetText(const QString& text);
    void SetLabelFont(const QFont& font);
    // Stretches the image by repeating its columns 5 to 9 between 5-pixel caps.
    void SetThreePartStretch(bool bOn) { m_bThreePart = bOn; }
    // Draw the text in this rectangle instead of the client rectangle; a side
    // below 1 keeps the client rectangle's.
    void SetTextRect(const QRect& rect) { m_rectText = rect; }

    int Id() const { return m_nId; }
    int State() const { return m_nState; }
    QString Text() const { return m_strText; }
    QSize ImageSize() const { return QSize(m_nImageWidth, m_nImageHeight); }
    const QImage& Image() const { return m_imgImage; }
    const QImage& Overlay() const { return m_imgOverlay; }
    QColor TextColor(int nState) const { return m_clrText[nState]; }

    // The label as it paints itself (for tests and screenshots).
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    int m_nId = 0;
    QRect m_rectCreate;
    QImage m_imgImage;
    QImage m_imgOverlay;
    bool m_bThreePart = false;
    QImage m_imgBackground;
    QColor m_clrFill;
    bool m_bDrawImage = true;
    QColor m_clrText[4];
    int m_nState = STATE_NORMAL;
    QRect m_rectText{QPoint(-1, -1), QPoint(-1, -1)};
    QFont m_font;
    QString m_strText;
    unsigned m_nStyle = 0;
};

class CAlphaStatic : public QWidget
{
    Q_OBJECT
public:
    explicit CAlphaStatic(QWidget* pParent = nullptr);

    bool Create(const QString& text, unsigned nStyle, const QRect& rect, QWidget* pParent, int nId);

    void SetTextColor(const QColor& colour);
    void SetTransparent(bool bTransparent);
    void SetLabelFont(const QFont& font);
    void SetText(const QString& text);
    void SetMargin(int nMargin);
    void SetBackgroundBrush(const QBrush& brush);
    void SetAlternativeBrush(const QBrush& brush);

    int Id() const { return m_nId; }
    QString Text() const { return m_strText; }
    QColor TextColor() const { return m_clrText; }
    bool IsTransparent() const { return m_bTransparent; }
    const QFont& LabelFont() const { return m_font; }
    unsigned Style() const { return m_nStyle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintText(QPainter& painter);

    QColor m_clrText;
    QBrush m_brushBackground;
    QBrush m_brushAlternative;
    QFont m_font;
    bool m_bTransparent = false;
    int m_nMargin = 0;
    QString m_strText;
    unsigned m_nStyle = 0;
    int m_nId = 0;
};

class CSkinControlFactory
{
public:
    CSkinControlFactory() = default;
    CSkinControlFactory(const CSkinControlFactory&) = delete;
    CSkinControlFactory& operator=(const CSkinControlFactory&) = delete;

    // Loads the background that image labels copy under themselves.
    SKINRESULT SetBackground(const QString& relativePath);
    const QImage& Background() const { return m_imgBackground; }

    // Buttons: the strip path (relative to the program folder) must be given.
    SKINRESULT CreateAlphaButton(const QString& stripPath, const QString& caption, unsigned nStyle,
                                 const QRect& rect, QWidget* pParent, int nId,
                                 const QColor& textColour, CAlphaButton** ppButton);
    SKINRESULT InitAlphaButton(const QString& stripPath, const QString& caption, unsigned nStyle,
                               const QRect& rect, QWidget* pParent, int nId,
                               const QColor& textColour, CAlphaButton* pButton);

    // An image label in `rect`, white text; a null path or a missing file
    // gives a label without an image.
    SKINRESULT CreateImageLabel(const QString& imagePath, const QRect& rect, QWidget* pParent,
                                int nId, CGStatic** ppLabel);
    // An image label at `point` in the image's own size.
    SKINRESULT CreateImageLabelAt(const QString& imagePath, const QPoint& point, QWidget* pParent,
                                  int nId, CGStatic** ppLabel);

    // Text labels: a null text is a bad argument.
    SKINRESULT CreateTextLabel(const QString& text, unsigned nStyle, const QRect& rect,
                               QWidget* pParent, int nId, const QColor& textColour,
                               bool bTransparent, const QFont* pFont, CAlphaStatic** ppLabel);
    SKINRESULT InitTextLabel(const QString& text, unsigned nStyle, const QRect& rect,
                             QWidget* pParent, int nId, const QColor& textColour, bool bTransparent,
                             const QFont* pFont, CAlphaStatic* pLabel);

    // The image progress bar; null paths take the default images.
    SKINRESULT CreateProgressBar(const QRect& rect, QWidget* pParent, CApProgressCtrl** ppBar,
                                 const QString& backgroundPath = QString(),
                                 const QString& unitPath = QString());

private:
    QImage m_imgBackground;
};
