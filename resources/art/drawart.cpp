// Draws the program's own artwork into PNG files at build time, so every
// picture the program shows is made from source in this folder.
//
//   drawart OUTPUT_FOLDER
//   drawart --hicolor THEME_FOLDER ICON_NAME
//
// The second form draws the program icon for the desktop's icon theme at the
// usual sizes, as THEME_FOLDER/<N>x<N>/apps/ICON_NAME.png.
//
// Icons/128.png  the program and document icon (64 x 64)
// Icons/131.png  the disc shown at the root of the folder tree (16 x 16)
// Icons/649.png  the small window icon (32 x 32)
// Image/...      the skin: window and dialog backgrounds, button strips,
//                message box pieces and icons, progress bar images, command
//                bar buttons (SkinArt() lists every file with its size)

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <cstring>

namespace {

// A disc seen from the front: a silver surface with a faint rainbow sheen, a
// clear hub and a hole. `glow` adds the warm lantern light in the hub.
void DrawDisc(QPainter& p, const QRectF& r, bool glow)
{
    const QPointF c = r.center();
    const qreal radius = r.width() / 2.0;

    QRadialGradient surface(c, radius);
    surface.setColorAt(0.0, QColor(0xf4, 0xf6, 0xf8));
    surface.setColorAt(0.55, QColor(0xc9, 0xd0, 0xd8));
    surface.setColorAt(0.85, QColor(0xe6, 0xea, 0xef));
    surface.setColorAt(1.0, QColor(0x9a, 0xa3, 0xad));
    p.setPen(QPen(QColor(0x5a, 0x60, 0x66), qMax(1.0, radius / 24.0)));
    p.setBrush(surface);
    p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));

    // The sheen: two soft coloured arcs across the surface.
    if (radius >= 12) {
        QConicalGradient sheen(c, 35);
        sheen.setColorAt(0.00, QColor(255, 120, 120, 0));
        sheen.setColorAt(0.08, QColor(255, 170, 90, 90));
        sheen.setColorAt(0.16, QColor(120, 220, 160, 90));
        sheen.setColorAt(0.24, QColor(110, 160, 255, 90));
        sheen.setColorAt(0.32, QColor(200, 120, 255, 0));
        sheen.setColorAt(0.50, QColor(255, 120, 120, 0));
        sheen.setColorAt(0.58, QColor(255, 170, 90, 70));
        sheen.setColorAt(0.66, QColor(120, 220, 160, 70));
        sheen.setColorAt(0.74, QColor(110, 160, 255, 70));
        sheen.setColorAt(0.82, QColor(200, 120, 255, 0));
        sheen.setColorAt(1.00, QColor(255, 120, 120, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(sheen);
        QPainterPath ring;
        ring.addEllipse(c, radius * 0.92, radius * 0.92);
        ring.addEllipse(c, radius * 0.36, radius * 0.36);
        p.drawPath(ring);
    }

    // The hub.
    const qreal hub = radius * 0.34;
    if (glow) {
        QRadialGradient light(c, hub * 1.6);
        light.setColorAt(0.0, QColor(0xff, 0xe6, 0x8a));
        light.setColorAt(0.5, QColor(0xff, 0xb3, 0x2e));
        light.setColorAt(1.0, QColor(0xff, 0x8c, 0x00, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(light);
        p.drawEllipse(c, hub * 1.6, hub * 1.6);
        p.setBrush(QColor(0xff, 0xc8, 0x3c));
        p.setPen(QPen(QColor(0xb8, 0x6a, 0x00), qMax(1.0, radius / 32.0)));
    } else {
        p.setBrush(QColor(0xdd, 0xe3, 0xe9));
        p.setPen(QPen(QColor(0x7d, 0x86, 0x90), qMax(1.0, radius / 32.0)));
    }
    p.drawEllipse(c, hub, hub);

    // The hole.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const qreal hole = qMax(1.5, radius * 0.12);
    p.drawEllipse(c, hole, hole);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// The program icon: a disc with the lantern light in its hub, and a small
// lantern handle arching over it.
QImage ProgramIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    const QRectF disc(margin, margin * 2.5, size - 2 * margin, size - 2 * margin - margin * 1.5);
    const qreal d = qMin(disc.width(), disc.height());
    const QRectF square(disc.center().x() - d / 2, disc.bottom() - d, d, d);
    // The handle.
    if (size >= 24) {
        QPen handle(QColor(0x8a, 0x92, 0x9b), size / 14.0, Qt::SolidLine, Qt::RoundCap);
        p.setPen(handle);
        p.setBrush(Qt::NoBrush);
        const QRectF arc(square.center().x() - d * 0.22, margin * 0.6, d * 0.44, d * 0.44);
        p.drawArc(arc, 0, 180 * 16);
    }
    DrawDisc(p, square, true);
    p.end();
    return image;
}

QImage DiscIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawDisc(p, QRectF(0, 0, size, size), false);
    p.end();
    return image;
}

// ---- The skin -----------------------------------------------------------------
//
// One dark look throughout: panels in the command bar's grey RGB(61, 63, 64)
// under a darker caption band, a darker footer band where a dialog keeps its
// buttons, and the lantern's amber as the one accent (hovered buttons, the
// progress fill). Window and dialog backgrounds have square-cut rounded
// corners on pure blue: the program cuts every blue run at the edges out of
// the window, so those pixels must be exactly blue or exactly the panel,
// never a blend of the two.

const QColor kKey(0, 0, 255);
const QColor kBody(61, 63, 64);
const QColor kOutline(20, 21, 22);
const QColor kCaptionTop(47, 49, 51);
const QColor kCaptionBottom(36, 38, 40);
const QColor kCaptionLine(24, 25, 26);
const QColor kFooter(52, 54, 56);
const QColor kFooterLine(40, 42, 43);
const QColor kFooterLight(68, 70, 72);
const QColor kAmber(240, 168, 48);
const QColor kGlyph(224, 226, 228);

QColor Mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

// Whether pixel (x, y) lies inside a w x h rectangle whose corners named by
// `corners` (bit 0 top left, 1 top right, 2 bottom left, 3 bottom right) are
// rounded with radius r. Pixel centres decide, so the edge is hard.
bool InsideRounded(int x, int y, int w, int h, int r, int corners)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return false;
    const qreal px = x + 0.5;
    const qreal py = y + 0.5;
    auto outside = [&](qreal cx, qreal cy) {
        return (px - cx) * (px - cx) + (py - cy) * (py - cy) > qreal(r) * r;
    };
    if ((corners & 1) && x < r && y < r)
        return !outside(r, r);
    if ((corners & 2) && x >= w - r && y < r)
        return !outside(w - r, r);
    if ((corners & 4) && x < r && y >= h - r)
        return !outside(r, h - r);
    if ((corners & 8) && x >= w - r && y >= h - r)
        return !outside(w - r, h - r);
    return true;
}

// The caption band's colour on row y of a band `height` rows high (the last
// row is its dividing line).
QColor CaptionColor(int y, int height)
{
    if (y >= height - 1)
        return kCaptionLine;
    return Mix(kCaptionTop, kCaptionBottom, qreal(y) / qMax(1, height - 2));
}

// A dialog panel of w x h on the key colour: outline, caption band of
// `caption` rows (plus its line), body, and a footer band of `footer` rows
// at the bottom (none when 0).
QImage Panel(int w, int h, int caption, int footer)
{
    constexpr int radius = 7;
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (!InsideRounded(x, y, w, h, radius, 15)) {
                line[x] = kKey.rgb();
                continue;
            }
            const bool edge = !InsideRounded(x - 1, y, w, h, radius, 15) ||
                              !InsideRounded(x + 1, y, w, h, radius, 15) ||
                              !InsideRounded(x, y - 1, w, h, radius, 15) ||
                              !InsideRounded(x, y + 1, w, h, radius, 15);
            QColor c;
            if (edge)
                c = kOutline;
            else if (y <= caption)
                c = CaptionColor(y, caption + 1);
            else if (footer > 0 && y == h - footer)
                c = kFooterLine;
            else if (footer > 0 && y == h - footer + 1)
                c = kFooterLight;
            else if (footer > 0 && y > h - footer)
                c = kFooter;
            else
                c = kBody;
            line[x] = c.rgb();
        }
    }
    return image;
}

// The message box is composed from nine pieces. Drawing one panel with a
// single middle tile each way and cutting it up keeps the pieces seamless.
constexpr int kBoxLeft = 456, kBoxMid = 50, kBoxRight = 12;
constexpr int kBoxTop = 162, kBoxMidH = 50, kBoxBottom = 46;
constexpr int kBoxCaption = 31, kBoxFooter = 46;

QImage MessageBoxPiece(int column, int row)
{
    static const QImage whole = Panel(kBoxLeft + kBoxMid + kBoxRight,
                                      kBoxTop + kBoxMidH + kBoxBottom, kBoxCaption, kBoxFooter);
    const int xs[] = {0, kBoxLeft, kBoxLeft + kBoxMid, kBoxLeft + kBoxMid + kBoxRight};
    const int ys[] = {0, kBoxTop, kBoxTop + kBoxMidH, kBoxTop + kBoxMidH + kBoxBottom};
    return whole.copy(xs[column], ys[row], xs[column + 1] - xs[column], ys[row + 1] - ys[row]);
}

enum ButtonState
{
    Normal,
    Hover,
    Pressed,
    Disabled
};

// One frame of a push button: a rounded slab, amber-rimmed under the pointer.
// `accent` gives the warmer slab of a dialog's first answer.
void DrawButtonFrame(QPainter& p, const QRectF& r, ButtonState state, bool accent)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF slab = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(slab.topLeft(), slab.bottomLeft());
    QColor rim;
    switch (state) {
    case Normal:
        fill.setColorAt(0, accent ? QColor(150, 104, 38) : QColor(92, 96, 100));
        fill.setColorAt(1, accent ? QColor(124, 84, 28) : QColor(76, 79, 82));
        rim = accent ? QColor(190, 134, 50) : QColor(112, 116, 120);
        break;
    case Hover:
        fill.setColorAt(0, accent ? QColor(172, 120, 44) : QColor(106, 110, 115));
        fill.setColorAt(1, accent ? QColor(144, 98, 32) : QColor(88, 92, 96));
        rim = kAmber;
        break;
    case Pressed:
        fill.setColorAt(0, accent ? QColor(110, 74, 24) : QColor(52, 54, 56));
        fill.setColorAt(1, accent ? QColor(128, 88, 30) : QColor(62, 64, 66));
        rim = QColor(196, 136, 40);
        break;
    case Disabled:
        // Dark enough for the grey text of a disabled button to read.
        fill.setColorAt(0, QColor(46, 48, 50));
        fill.setColorAt(1, QColor(46, 48, 50));
        rim = QColor(74, 76, 78);
        break;
    }
    p.setPen(QPen(rim, 1));
    p.setBrush(fill);
    p.drawRoundedRect(slab, 3.5, 3.5);
    if (state == Normal || state == Hover) {
        // A faint light along the top edge.
        p.setPen(QPen(QColor(255, 255, 255, 28), 1));
        p.drawLine(QPointF(slab.left() + 3, slab.top() + 1),
                   QPointF(slab.right() - 3, slab.top() + 1));
    }
    p.restore();
}

QImage ButtonStrip(int frameWidth, int frameHeight, bool accent)
{
    QImage image(frameWidth * 4, frameHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    for (int state = 0; state < 4; ++state)
        DrawButtonFrame(p, QRectF(state * frameWidth, 0, frameWidth, frameHeight),
                        ButtonState(state), accent);
    p.end();
    return image;
}

// The close button of a dialog caption: a cross that turns into a red tile
// under the pointer.
QImage DialogCloseStrip()
{
    constexpr int size = 20;
    QImage image(size * 4, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * size, 0, size, size);
        QColor cross(200, 203, 206);
        if (state == Hover || state == Pressed) {
            p.setPen(Qt::NoPen);
            p.setBrush(state == Hover ? QColor(200, 52, 40) : QColor(150, 36, 28));
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
            cross = Qt::white;
        } else if (state == Disabled) {
            cross = QColor(100, 102, 104);
        }
        p.setPen(QPen(cross, 1.6, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = r.center();
        p.drawLine(c + QPointF(-4.5, -4.5), c + QPointF(4.5, 4.5));
        p.drawLine(c + QPointF(-4.5, 4.5), c + QPointF(4.5, -4.5));
    }
    p.end();
    return image;
}

// ---- Message icons --------------------------------------------------------------

enum MessageIcon
{
    IconError,
    IconQuestion,
    IconWarning,
    IconInformation
};

QImage MessageIconImage(MessageIcon kind)
{
    constexpr int size = 40;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(size / 2.0, size / 2.0);
    QColor light, dark;
    switch (kind) {
    case IconError:
        light = QColor(232, 84, 68);
        dark = QColor(176, 40, 30);
        break;
    case IconQuestion:
        light = QColor(96, 162, 232);
        dark = QColor(40, 104, 180);
        break;
    case IconWarning:
        light = QColor(255, 204, 92);
        dark = QColor(222, 146, 24);
        break;
    case IconInformation:
        light = QColor(110, 176, 240);
        dark = QColor(44, 112, 196);
        break;
    }
    QLinearGradient g(0, 2, 0, size - 2);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    p.setBrush(g);
    p.setPen(QPen(dark.darker(140), 1.2));
    if (kind == IconWarning) {
        QPainterPath triangle;
        triangle.moveTo(c.x(), 3);
        triangle.lineTo(size - 2.5, size - 4.5);
        triangle.lineTo(2.5, size - 4.5);
        triangle.closeSubpath();
        p.drawPath(triangle);
    } else {
        p.drawEllipse(QRectF(2.5, 2.5, size - 5, size - 5));
    }
    const QColor mark = kind == IconWarning ? QColor(48, 36, 16) : Qt::white;
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    switch (kind) {
    case IconError:
        p.setPen(QPen(mark, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-7, -7), c + QPointF(7, 7));
        p.drawLine(c + QPointF(-7, 7), c + QPointF(7, -7));
        break;
    case IconWarning:
        p.drawRoundedRect(QRectF(c.x() - 2.2, 13, 4.4, 13), 2, 2);
        p.drawEllipse(QPointF(c.x(), 30.5), 2.5, 2.5);
        break;
    case IconInformation:
        p.drawEllipse(QPointF(c.x(), 11.5), 2.8, 2.8);
        p.drawRoundedRect(QRectF(c.x() - 2.4, 17, 4.8, 14), 1.5, 1.5);
        break;
    case IconQuestion: {
        QPainterPath hook;
        hook.moveTo(c.x() - 6, 15.5);
        hook.cubicTo(c.x() - 6, 8, c.x() + 7, 8, c.x() + 6.5, 15);
        hook.cubicTo(c.x() + 6, 19.5, c.x(), 19.5, c.x(), 24.5);
        p.setPen(QPen(mark, 4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawEllipse(QPointF(c.x(), 30.5), 2.6, 2.6);
        break;
    }
    }
    p.end();
    return image;
}

// The task picture of the overwrite question: two sheets, the front one with
// the amber corner of a replaced file.
QImage TaskIcon()
{
    constexpr int size = 40;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    auto sheet = [&](const QRectF& r, const QColor& fill) {
        QPainterPath path;
        path.moveTo(r.topLeft());
        path.lineTo(r.right() - 8, r.top());
        path.lineTo(r.right(), r.top() + 8);
        path.lineTo(r.bottomRight());
        path.lineTo(r.bottomLeft());
        path.closeSubpath();
        p.setPen(QPen(QColor(40, 42, 44), 1.2));
        p.setBrush(fill);
        p.drawPath(path);
        p.setBrush(kAmber);
        QPainterPath fold;
        fold.moveTo(r.right() - 8, r.top());
        fold.lineTo(r.right() - 8, r.top() + 8);
        fold.lineTo(r.right(), r.top() + 8);
        fold.closeSubpath();
        p.drawPath(fold);
    };
    sheet(QRectF(4.5, 3.5, 22, 28), QColor(150, 156, 162));
    sheet(QRectF(13.5, 9.5, 22, 28), QColor(232, 234, 236));
    p.setPen(QPen(QColor(120, 124, 128), 1.4));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(17.5, 20.5 + i * 5), QPointF(31, 20.5 + i * 5));
    p.end();
    return image;
}

// ---- Progress bar ---------------------------------------------------------------

QImage ProgressTrough(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(30, 31, 32));
    g.setColorAt(1, QColor(42, 44, 46));
    p.setPen(QPen(QColor(96, 100, 104), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
    p.end();
    return image;
}

// The fill lies inside the trough's rim, so the rim stays visible around it.
QImage ProgressFill(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(3, 3, w - 6, h - 6);
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, QColor(255, 212, 112));
    g.setColorAt(0.45, QColor(244, 170, 52));
    g.setColorAt(1, QColor(214, 128, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, 2.5, 2.5);
    // Faint diagonal bands, so the fill reads as moving material.
    p.setClipRect(r);
    p.setBrush(QColor(255, 255, 255, 26));
    for (qreal x = r.left() - h; x < r.right(); x += 14) {
        QPolygonF band;
        band << QPointF(x, r.bottom()) << QPointF(x + 7, r.bottom()) << QPointF(x + 7 + h, r.top())
             << QPointF(x + h, r.top());
        p.drawPolygon(band);
    }
    p.end();
    return image;
}

// ---- Main window frame ------------------------------------------------------------

constexpr int kFrameCaption = 43;

QColor FrameCaptionColor(int y)
{
    return CaptionColor(y, kFrameCaption);
}

// A piece of the main window's caption band, w wide; `corners` as in
// InsideRounded (only the top ones apply).
QImage FrameCaptionPiece(int w, int corners)
{
    constexpr int radius = 7;
    // The piece is cut from a band that is wide enough to hold both corners.
    // A middle piece lies well inside the band, away from both ends.
    const int bandWidth = (corners & 3) ? w + 2 * radius : w + 4 * radius;
    const int offset = (corners & 1) ? 0 : 2 * radius;
    QImage image(w, kFrameCaption, QImage::Format_ARGB32);
    for (int y = 0; y < kFrameCaption; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int bx = x + offset;
            const int shape = corners & 3;
            if (!InsideRounded(bx, y, bandWidth, kFrameCaption + radius, radius, shape)) {
                line[x] = kKey.rgb();
                continue;
            }
            const bool edge =
                y == 0 ||
                !InsideRounded(bx - 1, y, bandWidth, kFrameCaption + radius, radius, shape) ||
                !InsideRounded(bx + 1, y, bandWidth, kFrameCaption + radius, radius, shape) ||
                !InsideRounded(bx, y - 1, bandWidth, kFrameCaption + radius, radius, shape) ||
                ((corners & 1) && x == 0) || ((corners & 2) && x == w - 1);
            line[x] = (edge ? kOutline : FrameCaptionColor(y)).rgb();
        }
    }
    return image;
}

// Left and right edges: the outline outside, then the panel colour.
QImage FrameEdge(bool right)
{
    QImage image(10, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x)
            image.setPixel(x, y, ((right ? x == 9 : x == 0) ? kOutline : kBody).rgb());
    return image;
}

// Bottom edge and bottom corners, 10 x 6; the outline on the last row.
QImage FrameBottom(int corner) // 0 edge, 1 left, 2 right
{
    constexpr int radius = 5;
    QImage image(10, 6, QImage::Format_ARGB32);
    // The corner is cut from a 20 x 12 rectangle rounded at its bottom corners.
    const int offsetX = corner == 2 ? 10 : 0;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 10; ++x) {
            const int bx = x + offsetX;
            const int by = y + 6;
            const int shape = corner == 0 ? 0 : 12;
            if (!InsideRounded(bx, by, 20, 12, radius, shape)) {
                image.setPixel(x, y, kKey.rgb());
                continue;
            }
            // The plain edge piece repeats side by side: only its last row
            // is outline.
            const bool curve = corner != 0 && (!InsideRounded(bx, by + 1, 20, 12, radius, shape) ||
                                               !InsideRounded(bx - 1, by, 20, 12, radius, shape) ||
                                               !InsideRounded(bx + 1, by, 20, 12, radius, shape));
            const bool edge = y == 5 || curve || (corner == 1 && x == 0) || (corner == 2 && x == 9);
            image.setPixel(x, y, (edge ? kOutline : kBody).rgb());
        }
    }
    return image;
}

enum CaptionButton
{
    CaptionMinimize,
    CaptionMaximize,
    CaptionRestore,
    CaptionClose
};

// The main window's caption buttons, 26 x 20 per frame, opaque on the
// caption's own colours (rows 11 to 30 of the band), so they sit seamlessly
// in it whatever the drawing code does with transparency.
QImage FrameCaptionButtonStrip(CaptionButton kind)
{
    constexpr int w = 26, h = 20, top = 11;
    QImage image(w * 4, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            image.setPixel(x, y, FrameCaptionColor(top + y).rgb());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int state = 0; state < 4; ++state) {
        const QRectF r(state * w, 0, w, h);
        QColor glyph = kGlyph;
        if (state == Hover || state == Pressed) {
            p.setPen(Qt::NoPen);
            if (kind == CaptionClose)
                p.setBrush(state == Hover ? QColor(200, 52, 40) : QColor(150, 36, 28));
            else
                p.setBrush(state == Hover ? QColor(255, 255, 255, 36) : QColor(0, 0, 0, 60));
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
            if (kind == CaptionClose)
                glyph = Qt::white;
        } else if (state == Disabled) {
            glyph = QColor(96, 98, 100);
        }
        const QPointF c = r.center();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(glyph, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        switch (kind) {
        case CaptionMinimize:
            p.drawLine(c + QPointF(-5, 4.5), c + QPointF(5, 4.5));
            break;
        case CaptionMaximize:
            p.drawRect(QRectF(c.x() - 5, c.y() - 5, 10, 10));
            break;
        case CaptionRestore:
            p.drawRect(QRectF(c.x() - 5, c.y() - 2, 8, 8));
            p.drawPolyline(QPolygonF()
                           << QPointF(c.x() - 2, c.y() - 2) << QPointF(c.x() - 2, c.y() - 5)
                           << QPointF(c.x() + 6, c.y() - 5) << QPointF(c.x() + 6, c.y() + 3)
                           << QPointF(c.x() + 3, c.y() + 3));
            break;
        case CaptionClose:
            p.setPen(QPen(glyph, 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
            p.drawLine(c + QPointF(-5, 5), c + QPointF(5, -5));
            break;
        }
    }
    p.end();
    return image;
}

// The program icon in the caption, opaque on the band (rows 5 to 36).
QImage FrameIcon()
{
    constexpr int size = 32, top = 5;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, FrameCaptionColor(top + y).rgb());
    QPainter p(&image);
    p.drawImage(0, 0, ProgramIcon(size));
    p.end();
    return image;
}

// The word mark beside the icon, 102 x 40, opaque on the band (rows 2 to 41).
QImage FrameLogo()
{
    constexpr int w = 102, h = 40, top = 2;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, FrameCaptionColor(top + y).rgb());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(17);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    p.setFont(font);
    p.setPen(QColor(236, 238, 240));
    p.drawText(QRectF(2, 0, w - 2, h - 6), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Lantern"));
    // The lantern's light under the word.
    QLinearGradient glow(2, 0, w - 10, 0);
    glow.setColorAt(0, kAmber);
    glow.setColorAt(1, QColor(kAmber.red(), kAmber.green(), kAmber.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRoundedRect(QRectF(3, h - 11, w - 14, 2), 1, 1);
    p.end();
    return image;
}

// ---- Command bar ------------------------------------------------------------------

enum CommandGlyph
{
    GlyphOpen,
    GlyphView,
    GlyphExtract,
    GlyphViewMode,
    GlyphBurn,
    GlyphMount
};

// Draws a command's picture in a 24 x 23 box at the painter's origin (the
// painter is scaled for larger displays).
void DrawCommandGlyph(QPainter& p, CommandGlyph kind, bool disabled)
{
    const QColor line = disabled ? QColor(104, 106, 108) : kGlyph;
    const QColor warm = disabled ? QColor(96, 92, 86) : kAmber;
    const QColor warmDark = disabled ? QColor(84, 80, 76) : QColor(190, 122, 24);
    p.setRenderHint(QPainter::Antialiasing);
    auto disc = [&](QPointF c, qreal r) {
        p.setPen(QPen(line, 1.3));
        p.setBrush(disabled ? QColor(70, 72, 74) : QColor(150, 158, 166));
        p.drawEllipse(c, r, r);
        p.setBrush(disabled ? QColor(80, 82, 84) : QColor(214, 220, 226));
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, r * 0.42, r * 0.42);
        p.setBrush(QColor(61, 63, 64));
        p.drawEllipse(c, r * 0.16, r * 0.16);
    };
    switch (kind) {
    case GlyphOpen: {
        QPainterPath back;
        back.moveTo(4.5, 6.5);
        back.lineTo(9.5, 6.5);
        back.lineTo(11.5, 8.5);
        back.lineTo(18.5, 8.5);
        back.lineTo(18.5, 17.5);
        back.lineTo(4.5, 17.5);
        back.closeSubpath();
        p.setPen(QPen(warmDark, 1));
        p.setBrush(warmDark);
        p.drawPath(back);
        QPainterPath front;
        front.moveTo(6.5, 11.5);
        front.lineTo(21.5, 11.5);
        front.lineTo(18.5, 17.5);
        front.lineTo(3.5, 17.5);
        front.closeSubpath();
        p.setPen(QPen(warmDark, 1));
        p.setBrush(warm);
        p.drawPath(front);
        break;
    }
    case GlyphView: {
        QPainterPath page;
        page.moveTo(6.5, 3.5);
        page.lineTo(14.5, 3.5);
        page.lineTo(18.5, 7.5);
        page.lineTo(18.5, 19.5);
        page.lineTo(6.5, 19.5);
        page.closeSubpath();
        p.setPen(QPen(line, 1.2));
        p.setBrush(disabled ? QColor(74, 76, 78) : QColor(96, 100, 104));
        p.drawPath(page);
        p.setPen(QPen(line, 1));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(9, 10.5 + i * 3), QPointF(16, 10.5 + i * 3));
        p.setPen(QPen(warm, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(14, 17), QPointF(20.5, 10.5));
        p.drawLine(QPointF(20.5, 10.5), QPointF(16.5, 10.5));
        p.drawLine(QPointF(20.5, 10.5), QPointF(20.5, 14.5));
        break;
    }
    case GlyphExtract: {
        p.setPen(QPen(line, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF() << QPointF(4.5, 13.5) << QPointF(4.5, 19.5)
                                   << QPointF(19.5, 19.5) << QPointF(19.5, 13.5));
        p.setPen(QPen(warm, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(12, 3.5), QPointF(12, 14.5));
        p.drawPolyline(QPolygonF() << QPointF(8, 10.5) << QPointF(12, 14.5) << QPointF(16, 10.5));
        break;
    }
    case GlyphViewMode: {
        p.setPen(Qt::NoPen);
        p.setBrush(line);
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 2; ++col)
                p.drawRoundedRect(QRectF(5 + col * 8, 4 + row * 8, 6, 6), 1, 1);
        p.setBrush(warm);
        p.drawRoundedRect(QRectF(5, 19, 14, 1.8), 0.9, 0.9);
        break;
    }
    case GlyphBurn: {
        disc(QPointF(10.5, 11), 7.5);
        QPainterPath flame;
        flame.moveTo(18, 21);
        flame.cubicTo(13.5, 21, 13.5, 16, 15.5, 13.5);
        flame.cubicTo(16, 16, 17, 16.5, 17.5, 15);
        flame.cubicTo(18, 13, 17.5, 11.5, 19, 9.5);
        flame.cubicTo(20, 13, 22.5, 15, 22, 18);
        flame.cubicTo(21.5, 20.5, 20, 21, 18, 21);
        p.setPen(QPen(warmDark, 0.8));
        p.setBrush(warm);
        p.drawPath(flame);
        break;
    }
    case GlyphMount: {
        disc(QPointF(12, 8.5), 6.5);
        p.setPen(QPen(line, 1.3));
        p.setBrush(disabled ? QColor(70, 72, 74) : QColor(88, 92, 96));
        p.drawRoundedRect(QRectF(3.5, 14.5, 17, 6), 1.5, 1.5);
        p.setPen(QPen(warm, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(6.5, 17.5), QPointF(13.5, 17.5));
        p.setPen(Qt::NoPen);
        p.setBrush(disabled ? QColor(96, 98, 100) : QColor(120, 220, 130));
        p.drawEllipse(QPointF(17.5, 17.5), 1.2, 1.2);
        break;
    }
    }
}

// A command bar button: four frames of 24 x 23 (or 36 x 35 at one and a half
// times the size). The picture floats on the bar; hover and pressed add a
// tile behind it.
QImage CommandStrip(CommandGlyph kind, bool large)
{
    const int w = large ? 36 : 24;
    const int h = large ? 35 : 23;
    const qreal scale = large ? 1.5 : 1.0;
    QImage image(w * 4, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    for (int state = 0; state < 4; ++state) {
        p.save();
        p.translate(state * w, 0);
        p.setRenderHint(QPainter::Antialiasing);
        if (state == Hover || state == Pressed) {
            p.setPen(QPen(state == Hover ? QColor(120, 124, 128) : QColor(36, 38, 40), 1));
            p.setBrush(state == Hover ? QColor(84, 88, 92) : QColor(46, 48, 50));
            p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 3, 3);
        }
        p.scale(scale, scale);
        if (state == Pressed)
            p.translate(0, 1);
        DrawCommandGlyph(p, kind, state == Disabled);
        p.restore();
    }
    p.end();
    return image;
}

struct SkinFile
{
    const char* path;
    QImage image;
};

// Every skin image, by its path under the output folder.
std::vector<SkinFile> SkinArt()
{
    std::vector<SkinFile> files;
    auto add = [&](const char* path, QImage image) { files.push_back({path, std::move(image)}); };

    // Main window frame: caption pieces, edges and corners, icon, word mark,
    // caption buttons.
    add("Image/MainFrame/bg_rodoZir_01.png", FrameCaptionPiece(160, 1));
    add("Image/MainFrame/bg_rodoZir_02.png", FrameCaptionPiece(10, 0));
    add("Image/MainFrame/bg_rodoZir_03.png", FrameCaptionPiece(130, 2));
    add("Image/MainFrame/bg_rodoZir_04.png", FrameEdge(false));
    add("Image/MainFrame/bg_rodoZir_06.png", FrameEdge(true));
    add("Image/MainFrame/bg_rodoZir_07.png", FrameBottom(1));
    add("Image/MainFrame/bg_rodoZir_08.png", FrameBottom(0));
    add("Image/MainFrame/bg_rodoZir_09.png", FrameBottom(2));
    add("Image/MainFrame/icon_adt_non_alpha.png", FrameIcon());
    add("Image/MainFrame/ravodar_ADT.png", FrameLogo());
    add("Image/MainFrame/btn_caption_under.png", FrameCaptionButtonStrip(CaptionMinimize));
    add("Image/MainFrame/btn_caption_maximizing.png", FrameCaptionButtonStrip(CaptionMaximize));
    add("Image/MainFrame/btn_caption_restoring.png", FrameCaptionButtonStrip(CaptionRestore));
    add("Image/MainFrame/btn_caption_close.png", FrameCaptionButtonStrip(CaptionClose));

    // Dialogs.
    add("Image/Dialogs/BaseDialog/btn_caption_close.png", DialogCloseStrip());
    add("Image/Dialogs/ConfirmDialog/bg_confirm.png", Panel(620, 306, 37, 51));
    add("Image/Dialogs/ConfirmDialog/icon_task.png", TaskIcon());
    add("Image/Dialogs/ConfirmDialog/btn_yes_s.png", ButtonStrip(68, 24, true));
    add("Image/Dialogs/ConfirmDialog/btn_68_24.png", ButtonStrip(68, 24, false));
    add("Image/Dialogs/ConfirmDialog/btn_136_24.png", ButtonStrip(136, 24, false));
    add("Image/Dialogs/ProgressDialog/bg_progress_dialog.png", Panel(468, 156, 31, 40));

    // Message box: the nine pieces, the backdrop of its icon (a box of the
    // smallest size) and the four icons. The information icon is the one
    // named "exclamation".
    static const char* const pieces[3][3] = {{"Image/Dialogs/MessageBox/bg_message_left_top.png",
                                              "Image/Dialogs/MessageBox/bg_message_mid_top.png",
                                              "Image/Dialogs/MessageBox/bg_message_right_top.png"},
                                             {"Image/Dialogs/MessageBox/bg_message_left_mid.png",
                                              "Image/Dialogs/MessageBox/bg_message_mid_mid.png",
                                              "Image/Dialogs/MessageBox/bg_message_right_mid.png"},
                                             {"Image/Dialogs/MessageBox/bg_message_left_bot.png",
                                              "Image/Dialogs/MessageBox/bg_message_mid_bot.png",
                                              "Image/Dialogs/MessageBox/bg_message_right_bot.png"}};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            add(pieces[row][column], MessageBoxPiece(column, row));
    add("Image/Dialogs/MessageBox/bg_re_04.png",
        Panel(kBoxLeft + kBoxRight, kBoxTop + kBoxBottom, kBoxCaption, kBoxFooter));
    add("Image/Dialogs/MessageBox/icon_error.png", MessageIconImage(IconError));
    add("Image/Dialogs/MessageBox/icon_question.png", MessageIconImage(IconQuestion));
    add("Image/Dialogs/MessageBox/icon_warning.png", MessageIconImage(IconWarning));
    add("Image/Dialogs/MessageBox/icon_exclamation.png", MessageIconImage(IconInformation));

    // Common controls.
    add("Image/Common/button/btn.png", ButtonStrip(136, 24, false));
    add("Image/Common/progressCtrl/progress_bg.png", ProgressTrough(300, 20));
    add("Image/Common/progressCtrl/progress_unit.png", ProgressFill(300, 20));
    add("Image/Common/progressCtrl/progress_bg_438.png", ProgressTrough(438, 28));
    add("Image/Common/progressCtrl/progress_unit_438.png", ProgressFill(438, 28));

    // Command bar.
    add("Image/CommandBar/btn_open.png", CommandStrip(GlyphOpen, false));
    add("Image/CommandBar/btn_view.png", CommandStrip(GlyphView, false));
    add("Image/CommandBar/btn_extract.png", CommandStrip(GlyphExtract, false));
    add("Image/CommandBar/btn_viewmode.png", CommandStrip(GlyphViewMode, false));
    add("Image/CommandBar/btn_burn.png", CommandStrip(GlyphBurn, false));
    add("Image/CommandBar/btn_mount.png", CommandStrip(GlyphMount, false));
    add("Image/CommandBar/btn_open_150.png", CommandStrip(GlyphOpen, true));
    add("Image/CommandBar/btn_view_150.png", CommandStrip(GlyphView, true));
    add("Image/CommandBar/btn_extract_150.png", CommandStrip(GlyphExtract, true));
    add("Image/CommandBar/btn_viewmode_150.png", CommandStrip(GlyphViewMode, true));
    add("Image/CommandBar/btn_burn_150.png", CommandStrip(GlyphBurn, true));
    return files;
}

bool Save(const QImage& image, const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "drawart: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const bool hicolor = argc == 4 && std::strcmp(argv[1], "--hicolor") == 0;
    if (argc != 2 && !hicolor) {
        std::fprintf(stderr, "usage: drawart OUTPUT_FOLDER\n"
                             "       drawart --hicolor THEME_FOLDER ICON_NAME\n");
        return 2;
    }
    // Fonts (for the word mark) need the application object.
    QGuiApplication app(argc, argv);
    if (hicolor) {
        const QString theme = QString::fromLocal8Bit(argv[2]);
        const QString name = QString::fromLocal8Bit(argv[3]);
        bool ok = true;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            ok &= Save(ProgramIcon(size),
                       QStringLiteral("%1/%2x%2/apps/%3.png").arg(theme).arg(size).arg(name));
        return ok ? 0 : 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    ok &= Save(ProgramIcon(64), out + QStringLiteral("/Icons/128.png"));
    ok &= Save(DiscIcon(16), out + QStringLiteral("/Icons/131.png"));
    ok &= Save(ProgramIcon(32), out + QStringLiteral("/Icons/649.png"));
    for (const SkinFile& file : SkinArt())
        ok &= Save(file.image, out + QLatin1Char('/') + QLatin1String(file.path));
    return ok ? 0 : 1;
}
