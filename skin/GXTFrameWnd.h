#pragma once

// The skinned main-window frame: a frameless top-level window that paints its
// own caption band (program icon, logo, title, three caption buttons) and thin
// image borders, hit-tests them, runs the caption buttons and the system menu,
// shapes the window with a region and moves and resizes it through the window
// system. The menu bar and the central widget sit inside the contents margins.
//
// The geometry is kept in static functions of plain values, so it can be
// checked without a screen.

#include <QFont>
#include <QImage>
#include <QMainWindow>
#include <QMargins>
#include <QPolygon>
#include <QRegion>
#include <array>

class QMenu;

class CGXTFrameWnd : public QMainWindow
{
    Q_OBJECT
public:
    // Caption elements, by their hover codes.
    enum : int
    {
        ELEMENT_NONE = 0,
        ELEMENT_ICON = 1,
        ELEMENT_MINIMIZE = 16,
        ELEMENT_MAXIMIZE = 32,
        ELEMENT_RESTORE = 48,
        ELEMENT_CLOSE = 64,
    };

    // The window's style: which caption buttons it has (combinable).
    enum : unsigned
    {
        FRAME_MINIMIZEBOX = 0x1,
        FRAME_MAXIMIZEBOX = 0x2,
    };

    // What a point of the window is for.
    enum FrameHit
    {
        HIT_CLIENT,
        HIT_CAPTION, // moves the window; caption elements are found separately
        HIT_LEFT,
        HIT_RIGHT,
        HIT_TOP,
        HIT_BOTTOM,
        HIT_TOPLEFT,
        HIT_TOPRIGHT,
        HIT_BOTTOMLEFT,
        HIT_BOTTOMRIGHT,
    };

    // The height of the caption band and the non-client insets around the
    // client area.
    static constexpr int CAPTION_HEIGHT = 43;
    static constexpr int INSET_LEFT = 5;
    static constexpr int INSET_TOP = 43;
    static constexpr int INSET_RIGHT = 5;
    static constexpr int INSET_BOTTOM = 6;
    // Along an edge, this far from a corner a border resizes both ways.
    static constexpr int CORNER_GRIP = 16;

    // The sizes of the pieces the window region is built from.
    struct FramePieceSizes
    {
        int nCaptionLeftWidth = 0;  // Lw
        int nCaptionRightWidth = 0; // Rw
        QSize sizeBottomLeft;       // BLw x BLh
        QSize sizeBottomRight;      // BRw x BRh
    };

    // The enabled items of the system menu.
    struct SystemMenuState
    {
        bool bRestore = false;
        bool bMove = false;
        bool bSize = false;
        bool bMinimize = false;
        bool bMaximize = false;
        bool bClose = true;
        bool operator==(const SystemMenuState&) const = default;
    };

    explicit CGXTFrameWnd(QWidget* parent = nullptr);
    ~CGXTFrameWnd() override;

    // Loads the frame pieces, traces the corner regions and sets the margins
    // the menu bar and central widget live in. False when a piece is missing
    // (the frame then paints what it has).
    bool CreateFrame();

    // The font of the title in the caption (the main frame's medium font).
    void SetCaptionFont(const QFont& font);

    // FRAME_MINIMIZEBOX | FRAME_MAXIMIZEBOX by default.
    void SetFrameStyle(unsigned nStyle);
    unsigned FrameStyle() const { return m_nStyle; }

    // The caption element under the mouse (its code), 0 for none.
    int HotElement() const { return m_nHot; }

    // The region the window is shaped with for its current size.
    QRegion WindowRegion() const;

    // The caption element at `pt` of a window `nWidth` wide.
    static int CaptionElementAt(QPoint pt, int nWidth, QSize sizeIcon, QSize sizeButton,
                                bool bMaximized, unsigned nStyle);
    // Where each caption button is drawn (its top-left corner).
    static QPoint CaptionButtonPos(int nElement, int nWidth, QSize sizeButton);

    // What the point `pt` of a window of `size` is for; a maximized window
    // has no resizing borders.
    static FrameHit FrameHitTest(QPoint pt, QSize size, bool bMaximized);

    // The window region for a window of `size` from the corner regions
    // (top-left, top-right, bottom-left, bottom-right).
    static QRegion FrameRegion(QSize size, const FramePieceSizes& pieces,
                               const std::array<QRegion, 4>& corners);

    // The geometry of a maximized window on a screen with the given work area
    // (both in the same coordinates).
    static QRect MaximizedRect(const QRect& screen, const QRect& work);

    // The enabled items of the system menu in a window state.
    static SystemMenuState SystemMenuItems(bool bMaximized, bool bMinimized, unsigned nStyle);

    // The outline of the part of `image` that differs from `key` (compared by
    // red, green and blue), as a polygon of boundary pixels; empty when every
    // pixel is key-coloured.
    static QPolygon TraceOutline(const QImage& image, QRgb key);
    // The region of that outline: the polygon united with itself moved by
    // (1, 1). Empty for an all-key image.
    static QRegion CornerRegion(const QImage& image, QRgb key);

signals:
    // A caption action ran (for the tests and the screenshots).
    void CaptionAction(int nElement);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    // Opens the system menu with its top-left corner at `ptGlobal`.
    void ShowSystemMenu(QPoint ptGlobal);

private:
    void RunElement(int nElement);
    void SetHot(int nElement, QPoint ptGlobal);
    void UpdateShape();
    void UpdateCursor(QPoint pt);
    void BeginMove(QPoint ptGlobal);
    void BeginResize(FrameHit hit, QPoint ptGlobal);
    bool IsMaximizedNow() const;

    QMargins m_rcBorder{5, 5, 5, 5};
    QImage m_bmpCaptionLeft, m_bmpCaptionMid, m_bmpCaptionRight;
    QImage m_bmpEdgeLeft, m_bmpEdgeRight, m_bmpBottomLeft, m_bmpBottom, m_bmpBottomRight;
    QImage m_bmpIcon, m_bmpLogo;
    // Caption button strips: minimize, maximize, restore, close.
    std::array<QImage, 4> m_bmpButtons;
    std::array<QRegion, 4> m_rgnCorners;
    QSize m_sizeIcon;
    QSize m_sizeButton;
    QFont m_fontCaption;
    unsigned m_nStyle = FRAME_MINIMIZEBOX | FRAME_MAXIMIZEBOX;
    int m_nHot = ELEMENT_NONE;
    int m_nPressed = ELEMENT_NONE;
    bool m_bMaximized = false;
    bool m_bSkinned = true;

    // A press on the empty caption waits for the mouse to move before the
    // window system takes over, so clicks and double-clicks stay ours.
    bool m_bCaptionPressed = false;
    QPoint m_ptPress;
    // Moving or resizing by hand where the window system refuses.
    FrameHit m_manual = HIT_CLIENT;
    bool m_bManualFromMenu = false;
    QPoint m_ptManualStart;
    QRect m_rcManualStart;
    // A click on the icon opens the system menu once a double click can no
    // longer follow.
    int m_nIconMenuTimer = 0;
};
