// Draws the program's own artwork into PNG files at build time, so every
// picture the program shows is made from source in this folder.
//
//   drawart OUTPUT_FOLDER
//
// Icons/128.png  the program and document icon (64 x 64)
// Icons/131.png  the disc shown at the root of the folder tree (16 x 16)
// Icons/649.png  the small window icon (32 x 32)

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

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
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawart OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    ok &= Save(ProgramIcon(64), out + QStringLiteral("/Icons/128.png"));
    ok &= Save(DiscIcon(16), out + QStringLiteral("/Icons/131.png"));
    ok &= Save(ProgramIcon(32), out + QStringLiteral("/Icons/649.png"));
    return ok ? 0 : 1;
}
