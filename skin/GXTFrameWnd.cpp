#include "GXTFrameWnd.h"

#include "LangResources.h"
#include "SkinGeometry.h"
#include "SkinImages.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

namespace {

const QString kPieceFolder = QStringLiteral("Image\\MainFrame\\");

// Tooltips of the caption buttons.
constexpr int IDS_CAPTION_CLOSE = 11268;
constexpr int IDS_CAPTION_MAXIMIZE = 61187;
constexpr int IDS_CAPTION_RESTORE = 61817;
constexpr int IDS_CAPTION_MINIMIZE = 61186;
// The system menu's own entries.
constexpr int IDS_SYSMENU_MOVE = 9330;
constexpr int IDS_SYSMENU_SIZE = 9331;

// Frames of a caption button strip.
constexpr int BUTTON_FRAME_NORMAL = 0;
constexpr int BUTTON_FRAME_HOVER = 1;
constexpr int BUTTON_FRAME_PRESSED = 2;

// The frame's body and text colours (those of its border pieces).
const QColor kFrameBody(61, 63, 64);
const QColor kFrameText(224, 226, 228);

// The logo is drawn in this size whatever its image holds.
constexpr QSize kLogoSize(102, 40);
// The title is centred in a band this wide in the middle of the caption.
constexpr int kTitleBand = 300;
// The sizing frame the window system adds around a window with borders.
constexpr int kSizingFrame = 4;

QImage LoadPiece(const char* name)
{
    return LoadSkinImage(kPieceFolder + QLatin1String(name));
}

// The key colour (pure blue) of the pieces becomes transparent, so the
// one-pixel slack of the traced region never shows it.
QImage WithoutKey(QImage image)
{
    if (image.isNull())
        return image;
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == (SKIN_KEY_COLOUR & 0xFFFFFF))
                line[x] = 0;
    }
    return image;
}

// Draws `image` at `pt`, cropped to `size` (never scaled).
void DrawCropped(QPainter& p, QPoint pt, const QImage& image, QSize size)
{
    if (!image.isNull())
        p.drawImage(pt, image, QRect(QPoint(0, 0), size.boundedTo(image.size())));
}

bool SameColour(QRgb a, QRgb b)
{
    return (a & 0xFFFFFF) == (b & 0xFFFFFF);
}

int StripIndex(int nElement)
{
    switch (nElement) {
    case CGXTFrameWnd::ELEMENT_MINIMIZE:
        return 0;
    case CGXTFrameWnd::ELEMENT_MAXIMIZE:
        return 1;
    case CGXTFrameWnd::ELEMENT_RESTORE:
        return 2;
    default:
        return 3;
    }
}

Qt::Edges EdgesOf(CGXTFrameWnd::FrameHit hit)
{
    switch (hit) {
    case CGXTFrameWnd::HIT_LEFT:
        return Qt::LeftEdge;
    case CGXTFrameWnd::HIT_RIGHT:
        return Qt::RightEdge;
    case CGXTFrameWnd::HIT_TOP:
        return Qt::TopEdge;
    case CGXTFrameWnd::HIT_BOTTOM:
        return Qt::BottomEdge;
    case CGXTFrameWnd::HIT_TOPLEFT:
        return Qt::TopEdge | Qt::LeftEdge;
    case CGXTFrameWnd::HIT_TOPRIGHT:
        return Qt::TopEdge | Qt::RightEdge;
    case CGXTFrameWnd::HIT_BOTTOMLEFT:
        return Qt::BottomEdge | Qt::LeftEdge;
    case CGXTFrameWnd::HIT_BOTTOMRIGHT:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return {};
    }
}

Qt::CursorShape CursorOf(CGXTFrameWnd::FrameHit hit)
{
    switch (hit) {
    case CGXTFrameWnd::HIT_LEFT:
    case CGXTFrameWnd::HIT_RIGHT:
        return Qt::SizeHorCursor;
    case CGXTFrameWnd::HIT_TOP:
    case CGXTFrameWnd::HIT_BOTTOM:
        return Qt::SizeVerCursor;
    case CGXTFrameWnd::HIT_TOPLEFT:
    case CGXTFrameWnd::HIT_BOTTOMRIGHT:
        return Qt::SizeFDiagCursor;
    case CGXTFrameWnd::HIT_TOPRIGHT:
    case CGXTFrameWnd::HIT_BOTTOMLEFT:
        return Qt::SizeBDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

CGXTFrameWnd::CGXTFrameWnd(QWidget* parent) : QMainWindow(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowMinMaxButtonsHint);
    setMouseTracking(true);
    // One dark look from the caption down: the menu bar and its menus wear
    // the colours of the frame's borders.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kFrameBody);
    palette.setColor(QPalette::WindowText, kFrameText);
    setPalette(palette);
    setStyleSheet(QStringLiteral(
        "QMenuBar { background: #3d3f40; color: #e0e2e4; border: none; }"
        "QMenuBar::item { background: transparent; padding: 4px 10px; }"
        "QMenuBar::item:selected, QMenuBar::item:pressed { background: #55585b; }"
        "QMenu { background: #2f3133; color: #e0e2e4; border: 1px solid #141516; padding: 3px; }"
        "QMenu::item { padding: 4px 24px 4px 20px; }"
        "QMenu::item:selected { background: #4a4d50; }"
        "QMenu::item:disabled { color: #77797b; }"
        "QMenu::separator { height: 1px; background: #46484a; margin: 3px 6px; }"
        "QToolTip { background: #2f3133; color: #e0e2e4; border: 1px solid #141516; }"));
    // The non-client insets: the caption band on top, the borders around,
    // as the window system would compute them for a window with a sizing
    // frame whose proposed rectangle is moved in by the border widths.
    setContentsMargins(10 - m_rcBorder.left() - kSizingFrame + kSizingFrame,
                       CAPTION_HEIGHT - m_rcBorder.top() + 1 + kSizingFrame,
                       10 - m_rcBorder.right() - kSizingFrame + kSizingFrame,
                       6 + 1 - m_rcBorder.bottom() + kSizingFrame);
}

CGXTFrameWnd::~CGXTFrameWnd() = default;

bool CGXTFrameWnd::CreateFrame()
{
    m_bmpCaptionLeft = WithoutKey(LoadPiece("bg_rodoZir_01.png"));
    m_bmpCaptionMid = WithoutKey(LoadPiece("bg_rodoZir_02.png"));
    m_bmpCaptionRight = WithoutKey(LoadPiece("bg_rodoZir_03.png"));
    m_bmpEdgeLeft = WithoutKey(LoadPiece("bg_rodoZir_04.png"));
    m_bmpEdgeRight = WithoutKey(LoadPiece("bg_rodoZir_06.png"));
    m_bmpBottomLeft = WithoutKey(LoadPiece("bg_rodoZir_07.png"));
    m_bmpBottom = WithoutKey(LoadPiece("bg_rodoZir_08.png"));
    m_bmpBottomRight = WithoutKey(LoadPiece("bg_rodoZir_09.png"));
    m_bmpIcon = LoadPiece("icon_adt_non_alpha.png");
    m_bmpLogo = LoadPiece("ravodar_ADT.png");
    m_bmpButtons = {WithoutKey(LoadPiece("btn_caption_under.png")),
                    WithoutKey(LoadPiece("btn_caption_maximizing.png")),
                    WithoutKey(LoadPiece("btn_caption_restoring.png")),
                    WithoutKey(LoadPiece("btn_caption_close.png"))};
    m_sizeIcon = m_bmpIcon.size();
    m_sizeButton = StripFrameSize(m_bmpButtons[3].size(), 4);

    // The corner regions are traced from the pieces as loaded, key colour
    // and all.
    const QRgb key = SKIN_KEY_COLOUR;
    m_rgnCorners = {CornerRegion(LoadPiece("bg_rodoZir_01.png"), key),
                    CornerRegion(LoadPiece("bg_rodoZir_03.png"), key),
                    CornerRegion(LoadPiece("bg_rodoZir_07.png"), key),
                    CornerRegion(LoadPiece("bg_rodoZir_09.png"), key)};
    UpdateShape();
    update();

    bool bComplete = !m_bmpIcon.isNull() && !m_bmpLogo.isNull();
    for (const QImage* piece :
         {&m_bmpCaptionLeft, &m_bmpCaptionMid, &m_bmpCaptionRight, &m_bmpEdgeLeft, &m_bmpEdgeRight,
          &m_bmpBottomLeft, &m_bmpBottom, &m_bmpBottomRight})
        bComplete = bComplete && !piece->isNull();
    for (const QImage& strip : m_bmpButtons)
        bComplete = bComplete && !strip.isNull();
    return bComplete;
}

void CGXTFrameWnd::SetCaptionFont(const QFont& font)
{
    m_fontCaption = font;
    update(0, 0, width(), CAPTION_HEIGHT);
}

void CGXTFrameWnd::SetFrameStyle(unsigned nStyle)
{
    m_nStyle = nStyle;
    Qt::WindowFlags flags = windowFlags() & ~Qt::WindowMinMaxButtonsHint;
    if (nStyle & FRAME_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    if (nStyle & FRAME_MAXIMIZEBOX)
        flags |= Qt::WindowMaximizeButtonHint;
    if (flags != windowFlags()) {
        const bool bVisible = isVisible();
        setWindowFlags(flags);
        if (bVisible)
            show();
    }
    update();
}

// ---- Geometry -------------------------------------------------------------------------

int CGXTFrameWnd::CaptionElementAt(QPoint pt, int nWidth, QSize sizeIcon, QSize sizeButton,
                                   bool bMaximized, unsigned nStyle)
{
    const int x = pt.x();
    const int y = pt.y();
    if (x > 8 && x < 8 + sizeIcon.width() && y < sizeIcon.height())
        return ELEMENT_ICON;
    const int B = sizeButton.width();
    if (y <= 4 || y >= sizeButton.height() + 11)
        return ELEMENT_NONE;
    if (x > nWidth - B - 10 && x < nWidth - 10)
        return ELEMENT_CLOSE;
    if ((nStyle & FRAME_MAXIMIZEBOX) && x > nWidth - 2 * B - 17 && x < nWidth - B - 10)
        return bMaximized ? ELEMENT_RESTORE : ELEMENT_MAXIMIZE;
    if ((nStyle & FRAME_MINIMIZEBOX) && x > nWidth - 3 * B - 24 && x < nWidth - 2 * B - 17)
        return ELEMENT_MINIMIZE;
    return ELEMENT_NONE;
}

QPoint CGXTFrameWnd::CaptionButtonPos(int nElement, int nWidth, QSize sizeButton)
{
    const int B = sizeButton.width();
    switch (nElement) {
    case ELEMENT_CLOSE:
        return {nWidth - B - 10, 11};
    case ELEMENT_MAXIMIZE:
    case ELEMENT_RESTORE:
        return {nWidth - 2 * B - 17, 11};
    default:
        return {nWidth - 3 * B - 24, 11};
    }
}

CGXTFrameWnd::FrameHit CGXTFrameWnd::FrameHitTest(QPoint pt, QSize size, bool bMaximized)
{
    const int x = pt.x();
    const int y = pt.y();
    const int W = size.width();
    const int H = size.height();
    if (!bMaximized) {
        const bool bLeft = x < INSET_LEFT;
        const bool bRight = x >= W - INSET_RIGHT;
        const bool bTop = y < INSET_LEFT;
        const bool bBottom = y >= H - INSET_BOTTOM;
        const bool bNearLeft = x < CORNER_GRIP;
        const bool bNearRight = x >= W - CORNER_GRIP;
        const bool bNearTop = y < CORNER_GRIP;
        const bool bNearBottom = y >= H - CORNER_GRIP;
        if ((bTop && bNearLeft) || (bLeft && bNearTop))
            return HIT_TOPLEFT;
        if ((bTop && bNearRight) || (bRight && bNearTop))
            return HIT_TOPRIGHT;
        if ((bBottom && bNearLeft) || (bLeft && bNearBottom))
            return HIT_BOTTOMLEFT;
        if ((bBottom && bNearRight) || (bRight && bNearBottom))
            return HIT_BOTTOMRIGHT;
        if (bLeft)
            return HIT_LEFT;
        if (bRight)
            return HIT_RIGHT;
        if (bTop)
            return HIT_TOP;
        if (bBottom)
            return HIT_BOTTOM;
    }
    if (y < CAPTION_HEIGHT)
        return HIT_CAPTION;
    return HIT_CLIENT;
}

QRegion CGXTFrameWnd::FrameRegion(QSize size, const FramePieceSizes& pieces,
                                  const std::array<QRegion, 4>& corners)
{
    const int W = size.width();
    const int H = size.height();
    const int Lw = pieces.nCaptionLeftWidth;
    const int Rw = pieces.nCaptionRightWidth;
    const QSize BL = pieces.sizeBottomLeft;
    const QSize BR = pieces.sizeBottomRight;
    // Rectangles as left, top, right, bottom with the right and bottom
    // edges outside.
    auto rect = [](int l, int t, int r, int b) { return QRect(l, t, r - l, b - t); };
    QRegion region(rect(0, 42, W, H - BR.height() + 3));
    region += corners[0];
    region += rect(Lw - 1, 0, W - Rw + 1, 42);
    region += corners[1].translated(W - Rw + 1, 0);
    region += corners[2].translated(0, H - BL.height());
    region += rect(BL.width() - 1, H - BR.height(), W - BR.width() + 1, H);
    // The bottom-right corner sits where its piece is drawn, W - BRw, as the
    // bottom-left one does at 0 (see docs/ARCHITECTURE.md).
    region += corners[3].translated(W - BR.width(), H - BR.height());
    return region & QRegion(0, 0, W, H);
}

QRect CGXTFrameWnd::MaximizedRect(const QRect& screen, const QRect& work)
{
    // The window system's own answer: the screen grown by the sizing frame
    // on every side, so the outer pixels of the borders lie off the screen.
    int left = screen.left() - kSizingFrame;
    int top = screen.top() - kSizingFrame;
    int width = screen.width() + 2 * kSizingFrame;
    int height = screen.height() + 2 * kSizingFrame;
    const int workRight = work.left() + work.width();
    const int workBottom = work.top() + work.height();
    if (work == screen) {
        // No panel: the last row stays free, for a panel that hides itself.
        height = (workBottom - screen.top()) + 3;
    } else if (work.left() != screen.left()) {
        left = work.left() - kSizingFrame;
        width = work.width() + 2 * kSizingFrame;
    } else if (work.top() != screen.top()) {
        top = work.top() - kSizingFrame;
        height = work.height() + 2 * kSizingFrame;
    } else if (workRight != screen.left() + screen.width()) {
        width = work.width() + 2 * kSizingFrame;
    } else {
        height = work.height() + 2 * kSizingFrame;
    }
    return {left, top, width, height};
}

CGXTFrameWnd::SystemMenuState CGXTFrameWnd::SystemMenuItems(bool bMaximized, bool bMinimized,
                                                            unsigned nStyle)
{
    SystemMenuState state;
    state.bRestore = state.bMove = state.bSize = true;
    state.bMinimize = (nStyle & FRAME_MINIMIZEBOX) != 0;
    state.bMaximize = (nStyle & FRAME_MAXIMIZEBOX) != 0;
    if (bMaximized || !(nStyle & FRAME_MAXIMIZEBOX))
        state.bMove = state.bSize = state.bMaximize = false;
    if (bMinimized || !(nStyle & FRAME_MINIMIZEBOX))
        state.bMove = state.bSize = state.bMinimize = false;
    if (!bMaximized && !bMinimized)
        state.bRestore = false;
    return state;
}

QPolygon CGXTFrameWnd::TraceOutline(const QImage& source, QRgb key)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    auto inside = [&](int x, int y) { return !SameColour(image.pixel(x, y), key); };

    QPoint start(-1, -1);
    for (int y = 0; y < h && start.x() < 0; ++y)
        for (int x = 0; x < w; ++x)
            if (inside(x, y)) {
                start = QPoint(x, y);
                break;
            }
    if (start.x() < 0)
        return {};

    // Directions clockwise from up-right.
    static constexpr QPoint kStep[8] = {{1, -1}, {1, 0},  {1, 1},   {0, 1},
                                        {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}};
    constexpr int kMaxPoints = 10000;
    QPolygon outline;
    outline << start;
    QPoint pt = start;
    int nDir = 1;
    int nLastDir = -1;
    int nTurns = 0;
    // Every pixel is left at most once per direction, so this bounds a walk
    // that never comes back.
    const long long nMaxSteps = 8LL * w * h + 16;
    for (long long nStep = 0; nStep < nMaxSteps; ++nStep) {
        const QPoint next = pt + kStep[nDir];
        if (next.y() < 0) {
            nDir = 1;
        } else if (next.x() >= w) {
            nDir = 3;
        } else if (next.y() >= h) {
            nDir = 5;
        } else if (next.x() < 0) {
            nDir = 7;
        } else if (!inside(next.x(), next.y())) {
            nDir = (nDir + 1) % 8;
        } else {
            nTurns = 0;
            if (next == start) {
                // The closing run ends at the start: drop its inner point.
                if (nDir == nLastDir && outline.size() > 2)
                    outline.removeLast();
                break;
            }
            if (nDir == nLastDir && outline.size() > 1)
                outline.last() = next;
            else if (outline.size() < kMaxPoints)
                outline << next;
            else
                return {};
            nLastDir = nDir;
            pt = next;
            nDir = (nDir + 4 + 1) % 8;
            continue;
        }
        // A lone pixel has no neighbour to walk to.
        if (++nTurns > 8)
            break;
    }
    return outline;
}

QRegion CGXTFrameWnd::CornerRegion(const QImage& image, QRgb key)
{
    const QPolygon outline = TraceOutline(image, key);
    if (outline.isEmpty())
        return {};
    return QRegion(outline, Qt::WindingFill) + QRegion(outline.translated(1, 1), Qt::WindingFill);
}

QRegion CGXTFrameWnd::WindowRegion() const
{
    FramePieceSizes pieces;
    pieces.nCaptionLeftWidth = m_bmpCaptionLeft.width();
    pieces.nCaptionRightWidth = m_bmpCaptionRight.width();
    pieces.sizeBottomLeft = m_bmpBottomLeft.size();
    pieces.sizeBottomRight = m_bmpBottomRight.size();
    return FrameRegion(size(), pieces, m_rgnCorners);
}

void CGXTFrameWnd::UpdateShape()
{
    // Shaped only once the corner regions exist.
    if (!m_bSkinned || m_rgnCorners[0].isEmpty())
        return;
    // The offscreen platform keeps no masks (and says so on every resize).
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    setMask(WindowRegion());
}

bool CGXTFrameWnd::IsMaximizedNow() const
{
    return m_bMaximized || isMaximized();
}

// ---- Painting -------------------------------------------------------------------------

void CGXTFrameWnd::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    if (!m_bSkinned)
        return;
    const int W = width();
    const int H = height();
    QPainter p(this);
    p.setClipRegion(QRegion(rect()) - QRegion(contentsRect()));

    // Left edge, one draw per pixel row, then its bottom corner.
    for (int y = CAPTION_HEIGHT; y <= H - 7; ++y)
        DrawCropped(p, {0, y}, m_bmpEdgeLeft, {10, 3});
    DrawCropped(p, {0, H - 6}, m_bmpBottomLeft, {10, 6});
    // Bottom edge.
    for (int x = 9; x <= W - 11; ++x)
        DrawCropped(p, {x, H - 6}, m_bmpBottom, {10, 6});
    // Right edge and its bottom corner.
    for (int y = CAPTION_HEIGHT; y <= H - 7; ++y)
        DrawCropped(p, {W - 10, y}, m_bmpEdgeRight, {10, 3});
    DrawCropped(p, {W - 10, H - 6}, m_bmpBottomRight, {10, 6});

    // Caption band: left piece, middle pieces, right piece.
    const int Lw = m_bmpCaptionLeft.width();
    const int Mw = m_bmpCaptionMid.width();
    const int Rw = m_bmpCaptionRight.width();
    DrawCropped(p, {0, 0}, m_bmpCaptionLeft, m_bmpCaptionLeft.size());
    if (Mw > 0)
        for (int x = Lw; x < W - Rw; x += Mw)
            DrawCropped(p, {x, 0}, m_bmpCaptionMid, m_bmpCaptionMid.size());
    DrawCropped(p, {W - Rw, 0}, m_bmpCaptionRight, m_bmpCaptionRight.size());

    // Caption buttons.
    const bool bMaximized = IsMaximizedNow();
    auto drawButton = [&](int nElement) {
        int nFrame = BUTTON_FRAME_NORMAL;
        if (m_nHot == nElement)
            nFrame = m_nPressed == nElement ? BUTTON_FRAME_PRESSED : BUTTON_FRAME_HOVER;
        const QImage& strip = m_bmpButtons[StripIndex(nElement)];
        if (!strip.isNull())
            p.drawImage(CaptionButtonPos(nElement, W, m_sizeButton), strip,
                        StripFrameRect(m_sizeButton, nFrame));
    };
    drawButton(ELEMENT_CLOSE);
    if (m_nStyle & FRAME_MAXIMIZEBOX)
        drawButton(bMaximized ? ELEMENT_RESTORE : ELEMENT_MAXIMIZE);
    if (m_nStyle & FRAME_MINIMIZEBOX)
        drawButton(ELEMENT_MINIMIZE);

    // Program icon and logo.
    DrawCropped(p, {8, 5}, m_bmpIcon, m_sizeIcon);
    DrawCropped(p, {m_sizeIcon.width() + 13, 2}, m_bmpLogo, kLogoSize);

    // The title, white, centred in its band on one line.
    p.setClipping(false);
    p.setFont(m_fontCaption);
    p.setPen(Qt::white);
    const QRect band((W - kTitleBand) / 2, 0, kTitleBand, CAPTION_HEIGHT);
    const QString title = p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, band.width());
    p.drawText(band, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, title);
}

// ---- Mouse ----------------------------------------------------------------------------

void CGXTFrameWnd::SetHot(int nElement, QPoint ptGlobal)
{
    if (nElement == m_nHot)
        return;
    m_nHot = nElement;
    update(0, 0, width(), CAPTION_HEIGHT);
    QToolTip::hideText();
    int nText = 0;
    switch (nElement) {
    case ELEMENT_CLOSE:
        nText = IDS_CAPTION_CLOSE;
        break;
    case ELEMENT_MAXIMIZE:
        nText = IDS_CAPTION_MAXIMIZE;
        break;
    case ELEMENT_RESTORE:
        nText = IDS_CAPTION_RESTORE;
        break;
    case ELEMENT_MINIMIZE:
        nText = IDS_CAPTION_MINIMIZE;
        break;
    default:
        break;
    }
    if (nText != 0) {
        const QRect button(CaptionButtonPos(nElement, width(), m_sizeButton), m_sizeButton);
        QToolTip::showText(ptGlobal, LoadResString(nText), this, button);
    }
}

void CGXTFrameWnd::UpdateCursor(QPoint pt)
{
    const FrameHit hit = FrameHitTest(pt, size(), IsMaximizedNow());
    setCursor(CursorOf(hit));
}

void CGXTFrameWnd::mousePressEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    const QPoint ptGlobal = event->globalPosition().toPoint();
    if (m_manual != HIT_CLIENT) {
        // A click ends a move or resize started from the system menu.
        m_manual = HIT_CLIENT;
        releaseMouse();
        return;
    }
    if (event->button() != Qt::LeftButton || !m_bSkinned) {
        QMainWindow::mousePressEvent(event);
        return;
    }
    const bool bMaximized = IsMaximizedNow();
    const FrameHit hit = FrameHitTest(pt, size(), bMaximized);
    if (hit != HIT_CAPTION && hit != HIT_CLIENT) {
        BeginResize(hit, ptGlobal);
        return;
    }
    const int nElement = hit == HIT_CAPTION ? CaptionElementAt(pt, width(), m_sizeIcon,
                                                               m_sizeButton, bMaximized, m_nStyle)
                                            : ELEMENT_NONE;
    if (nElement != ELEMENT_NONE) {
        m_nPressed = nElement;
        m_nHot = nElement;
        update(0, 0, width(), CAPTION_HEIGHT);
        return;
    }
    if (hit == HIT_CAPTION) {
        m_bCaptionPressed = true;
        m_ptPress = ptGlobal;
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void CGXTFrameWnd::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    const QPoint ptGlobal = event->globalPosition().toPoint();
    if (m_manual == HIT_CAPTION) {
        move(m_rcManualStart.topLeft() + ptGlobal - m_ptManualStart);
        return;
    }
    if (m_manual != HIT_CLIENT) {
        const QPoint delta = ptGlobal - m_ptManualStart;
        QRect r = m_rcManualStart;
        const Qt::Edges edges = EdgesOf(m_manual);
        const QSize minimum = minimumSize().expandedTo({1, 1});
        if (edges & Qt::LeftEdge)
            r.setLeft(qMin(r.left() + delta.x(), r.right() + 1 - minimum.width()));
        if (edges & Qt::RightEdge)
            r.setRight(qMax(r.right() + delta.x(), r.left() - 1 + minimum.width()));
        if (edges & Qt::TopEdge)
            r.setTop(qMin(r.top() + delta.y(), r.bottom() + 1 - minimum.height()));
        if (edges & Qt::BottomEdge)
            r.setBottom(qMax(r.bottom() + delta.y(), r.top() - 1 + minimum.height()));
        setGeometry(r);
        return;
    }
    if (m_bCaptionPressed && (event->buttons() & Qt::LeftButton)) {
        if ((ptGlobal - m_ptPress).manhattanLength() >= QApplication::startDragDistance()) {
            // Catch up with the mouse first, so the window moves by the
            // whole drag.
            m_bCaptionPressed = false;
            if (!IsMaximizedNow())
                move(pos() + ptGlobal - m_ptPress);
            BeginMove(ptGlobal);
        }
        return;
    }
    if (m_bSkinned) {
        const int nElement = FrameHitTest(pt, size(), IsMaximizedNow()) == HIT_CAPTION
                                 ? CaptionElementAt(pt, width(), m_sizeIcon, m_sizeButton,
                                                    IsMaximizedNow(), m_nStyle)
                                 : ELEMENT_NONE;
        SetHot(nElement == ELEMENT_ICON ? ELEMENT_NONE : nElement, ptGlobal);
        UpdateCursor(pt);
    }
    QMainWindow::mouseMoveEvent(event);
}

void CGXTFrameWnd::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    const QPoint ptGlobal = event->globalPosition().toPoint();
    if (event->button() == Qt::RightButton && m_bSkinned) {
        if (FrameHitTest(pt, size(), IsMaximizedNow()) == HIT_CAPTION) {
            const int nElement =
                CaptionElementAt(pt, width(), m_sizeIcon, m_sizeButton, IsMaximizedNow(), m_nStyle);
            if (nElement == ELEMENT_ICON || nElement == ELEMENT_NONE)
                ShowSystemMenu(ptGlobal + QPoint(5, 5));
            return;
        }
    }
    if (event->button() != Qt::LeftButton) {
        QMainWindow::mouseReleaseEvent(event);
        return;
    }
    if (m_manual != HIT_CLIENT && !m_bManualFromMenu) {
        // Letting go ends a move or resize by hand.
        m_manual = HIT_CLIENT;
        return;
    }
    m_bCaptionPressed = false;
    const int nPressed = m_nPressed;
    m_nPressed = ELEMENT_NONE;
    if (nPressed == ELEMENT_NONE) {
        QMainWindow::mouseReleaseEvent(event);
        return;
    }
    const int nElement =
        FrameHitTest(pt, size(), IsMaximizedNow()) == HIT_CAPTION
            ? CaptionElementAt(pt, width(), m_sizeIcon, m_sizeButton, IsMaximizedNow(), m_nStyle)
            : ELEMENT_NONE;
    m_nHot = ELEMENT_NONE;
    update(0, 0, width(), CAPTION_HEIGHT);
    if (nElement != nPressed)
        return;
    if (nElement == ELEMENT_ICON) {
        // Wait whether a double click (close) follows.
        if (m_nIconMenuTimer == 0)
            m_nIconMenuTimer = startTimer(QApplication::doubleClickInterval());
        return;
    }
    RunElement(nElement);
}

void CGXTFrameWnd::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !m_bSkinned ||
        FrameHitTest(pt, size(), IsMaximizedNow()) != HIT_CAPTION) {
        QMainWindow::mouseDoubleClickEvent(event);
        return;
    }
    const bool bMaximized = IsMaximizedNow();
    const int nElement =
        CaptionElementAt(pt, width(), m_sizeIcon, m_sizeButton, bMaximized, m_nStyle);
    m_bCaptionPressed = false;
    if (nElement == ELEMENT_ICON) {
        if (m_nIconMenuTimer != 0) {
            killTimer(m_nIconMenuTimer);
            m_nIconMenuTimer = 0;
        }
        m_nPressed = ELEMENT_NONE;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (nElement != ELEMENT_NONE) {
        // The second press of a double click on a button: a click again.
        m_nPressed = nElement;
        m_nHot = nElement;
        update(0, 0, width(), CAPTION_HEIGHT);
        return;
    }
    if (bMaximized)
        QMetaObject::invokeMethod(this, &QWidget::showNormal, Qt::QueuedConnection);
    else if (m_nStyle & FRAME_MAXIMIZEBOX)
        QMetaObject::invokeMethod(this, &QWidget::showMaximized, Qt::QueuedConnection);
}

void CGXTFrameWnd::leaveEvent(QEvent* event)
{
    if (m_nHot != ELEMENT_NONE && m_nPressed == ELEMENT_NONE) {
        m_nHot = ELEMENT_NONE;
        QToolTip::hideText();
        update(0, 0, width(), CAPTION_HEIGHT);
    }
    QMainWindow::leaveEvent(event);
}

void CGXTFrameWnd::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_nIconMenuTimer) {
        killTimer(m_nIconMenuTimer);
        m_nIconMenuTimer = 0;
        // Below the icon: the client area's top-left corner, at the screen's
        // left when maximized.
        QPoint pt = mapToGlobal(contentsRect().topLeft());
        if (IsMaximizedNow())
            pt.setX(screen() ? screen()->geometry().left() : 0);
        ShowSystemMenu(pt);
        return;
    }
    QMainWindow::timerEvent(event);
}

void CGXTFrameWnd::RunElement(int nElement)
{
    switch (nElement) {
    case ELEMENT_MINIMIZE:
        showMinimized();
        break;
    case ELEMENT_MAXIMIZE:
        if (IsMaximizedNow())
            showNormal();
        else
            showMaximized();
        break;
    case ELEMENT_RESTORE:
        showNormal();
        break;
    case ELEMENT_CLOSE:
        close();
        break;
    default:
        return;
    }
    emit CaptionAction(nElement);
}

void CGXTFrameWnd::BeginMove(QPoint ptGlobal)
{
    if (IsMaximizedNow())
        return;
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove())
        return;
    // The window system refuses: the window follows the mouse until the
    // button is let go.
    m_manual = HIT_CAPTION;
    m_bManualFromMenu = false;
    m_ptManualStart = ptGlobal;
    m_rcManualStart = geometry();
}

void CGXTFrameWnd::BeginResize(FrameHit hit, QPoint ptGlobal)
{
    if (QWindow* handle = windowHandle(); handle && handle->startSystemResize(EdgesOf(hit)))
        return;
    m_manual = hit;
    m_bManualFromMenu = false;
    m_ptManualStart = ptGlobal;
    m_rcManualStart = geometry();
}

void CGXTFrameWnd::ShowSystemMenu(QPoint ptGlobal)
{
    const SystemMenuState state = SystemMenuItems(IsMaximizedNow(), isMinimized(), m_nStyle);
    QMenu menu(this);
    QAction* restore = menu.addAction(LoadResString(IDS_CAPTION_RESTORE));
    QAction* moveAction = menu.addAction(LoadResString(IDS_SYSMENU_MOVE));
    QAction* sizeAction = menu.addAction(LoadResString(IDS_SYSMENU_SIZE));
    QAction* minimize = menu.addAction(LoadResString(IDS_CAPTION_MINIMIZE));
    QAction* maximize = menu.addAction(LoadResString(IDS_CAPTION_MAXIMIZE));
    menu.addSeparator();
    QAction* closeAction = menu.addAction(LoadResString(IDS_CAPTION_CLOSE));
    restore->setEnabled(state.bRestore);
    moveAction->setEnabled(state.bMove);
    sizeAction->setEnabled(state.bSize);
    minimize->setEnabled(state.bMinimize);
    maximize->setEnabled(state.bMaximize);
    closeAction->setEnabled(state.bClose);
    activateWindow();
    raise();
    QAction* chosen = menu.exec(ptGlobal);
    if (chosen == restore) {
        showNormal();
    } else if (chosen == minimize) {
        showMinimized();
    } else if (chosen == maximize) {
        showMaximized();
    } else if (chosen == closeAction) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    } else if (chosen == moveAction || chosen == sizeAction) {
        // From the menu the window follows the mouse (no button is held, so
        // the window system's own move cannot start) until the next click.
        const QPoint ptCursor = QCursor::pos();
        m_bManualFromMenu = true;
        m_manual = chosen == moveAction ? HIT_CAPTION : HIT_BOTTOMRIGHT;
        if (m_manual == HIT_BOTTOMRIGHT)
            QCursor::setPos(mapToGlobal(QPoint(width() - 1, height() - 1)));
        m_ptManualStart = m_manual == HIT_CAPTION ? ptCursor : QCursor::pos();
        m_rcManualStart = geometry();
        grabMouse();
    }
}

// ---- State ----------------------------------------------------------------------------

void CGXTFrameWnd::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    UpdateShape();
}

void CGXTFrameWnd::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange)
        update(0, 0, width(), CAPTION_HEIGHT);
    if (event->type() == QEvent::WindowStateChange) {
        const bool bMaximized = isMaximized();
        if (bMaximized != m_bMaximized) {
            m_bMaximized = bMaximized;
            update();
        }
    }
    QMainWindow::changeEvent(event);
}
