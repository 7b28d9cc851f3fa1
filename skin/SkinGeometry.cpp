#include "SkinGeometry.h"

#include <QPainter>
#include <algorithm>

QSize StripFrameSize(QSize strip, int nFrames)
{
    if (nFrames <= 0 || strip.isEmpty())
        return QSize(0, 0);
    return QSize(strip.width() / nFrames, strip.height());
}

QRect StripFrameRect(QSize frame, int nIndex)
{
    return QRect(QPoint(nIndex * frame.width(), 0), frame);
}

ButtonTextLayout LayOutButtonText(QSize button, QPoint ptText, int nLineWidth, int nLineHeight,
                                  bool bHasLineBreak, int nWrappedHeight, bool bCenter, bool bFit)
{
    const int width = button.width();
    const int height = button.height();
    int dx = 0;
    int dy = 7;
    unsigned add = 0;
    if (bCenter && width > nLineWidth)
        dx = (width - nLineWidth) / 2;
    if (bFit) {
        if (!bHasLineBreak && width - ptText.x() >= nLineWidth) {
            dy = height > nLineHeight ? (height - nLineHeight) / 2 : 0;
        } else if (nWrappedHeight <= height + 3) {
            add |= TF_WORDBREAK;
            dy = nWrappedHeight <= height ? (height - nWrappedHeight) / 2 : 0;
        } else {
            add |= TF_END_ELLIPSIS;
            dy = (height - nLineHeight) / 2;
        }
    }
    ButtonTextLayout layout;
    layout.ptText = QPoint(std::max(1, ptText.x() + dx), ptText.y() + dy);
    layout.nAddFormat = add;
    return layout;
}

double ProgressFillWidth(int nWidth, int nPercent)
{
    return double(nWidth) * nPercent / 100.0;
}

namespace {

bool IsKey(const QImage& image, int x, int y, QRgb key)
{
    return (image.pixel(x, y) & 0xFFFFFF) == (key & 0xFFFFFF);
}

// The runs of row y, when its end pixels are key-coloured; false when the scan
// stops at this row.
bool RowRuns(const QImage& image, int y, QRgb key, bool bFromLeft, std::vector<QRect>& runs)
{
    const int w = image.width();
    if (bFromLeft) {
        if (!IsKey(image, 0, y, key))
            return false;
        for (int x = 1; x < w; ++x) {
            if (!IsKey(image, x, y, key)) {
                runs.emplace_back(0, y, x, 1);
                break;
            }
        }
        return true;
    }
    if (!IsKey(image, w - 1, y, key))
        return false;
    for (int x = w - 2; x >= 0; --x) {
        if (!IsKey(image, x, y, key)) {
            runs.emplace_back(x + 1, y, w - 1 - x, 1);
            break;
        }
    }
    return true;
}

} // namespace

std::vector<QRect> KeyColourEdgeRuns(const QImage& image, QRgb key)
{
    std::vector<QRect> runs;
    if (image.isNull())
        return runs;
    const int h = image.height();
    for (bool fromLeft : {true, false})
        for (int y = 0; y < h && RowRuns(image, y, key, fromLeft, runs); ++y) {
        }
    for (bool fromLeft : {true, false})
        for (int y = h - 1; y >= 0 && RowRuns(image, y, key, fromLeft, runs); --y) {
        }
    return runs;
}

QRegion KeyColourWindowRegion(const QImage& image, QRgb key)
{
    QRegion region(image.rect());
    for (const QRect& run : KeyColourEdgeRuns(image, key))
        region ^= QRegion(run);
    return region;
}

QImage ComposeOnKeyColour(const QImage& art, QSize size, QRgb key)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(key));
    if (!art.isNull() && !image.isNull()) {
        QPainter painter(&image);
        painter.drawImage(0, 0, art);
    }
    return image;
}
