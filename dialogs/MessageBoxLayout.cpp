#include "MessageBoxLayout.h"

#include "SkinGeometry.h"

#include <QPainter>
#include <algorithm>

namespace {

const QString kIconFolder = QStringLiteral("Image\\Dialogs\\MessageBox\\");

// The text starts 100 pixels in; wrapped text is 318 to 874 pixels wide, and
// what goes beyond 318 x 88 widens and heightens the box.
constexpr int kTextLeft = 100;
constexpr int kMinWrap = 318;
constexpr int kMaxWrap = 874;
constexpr int kBaseTextHeight = 88;
constexpr int kMaxExtraHeight = 560;
// The text wants as many lines as fit into 76 pixels.
constexpr int kLinesHeight = 76;

} // namespace

std::vector<int> MessageBoxButtons(unsigned nStyle)
{
    switch (nStyle & MB_TYPEMASK) {
    case MB_OK:
        return {ID_MB_OK};
    case MB_OKCANCEL:
        return {ID_MB_OK, ID_MB_CANCEL};
    case MB_ABORTRETRYIGNORE:
        return {ID_MB_ABORT, ID_MB_RETRY, ID_MB_IGNORE};
    case MB_YESNOCANCEL:
        return {ID_MB_YES, ID_MB_NO, ID_MB_CANCEL};
    case MB_YESNO:
        return {ID_MB_YES, ID_MB_NO};
    case MB_RETRYCANCEL:
        return {ID_MB_RETRY, ID_MB_CANCEL};
    default:
        if (nStyle & 0x70)
            return {ID_MB_OK};
        return {};
    }
}

bool MessageBoxHasCloseButton(unsigned nStyle)
{
    return (nStyle & MB_TYPEMASK) <= MB_RETRYCANCEL || (nStyle & 0x70) != 0;
}

int MessageBoxResult(int nCommandId)
{
    switch (nCommandId) {
    case ID_MB_OK:
        return IDOK;
    case ID_MB_CANCEL:
    case ID_MB_CLOSE:
        return IDCANCEL;
    case ID_MB_ABORT:
        return IDABORT;
    case ID_MB_RETRY:
        return IDRETRY;
    case ID_MB_IGNORE:
        return IDIGNORE;
    case ID_MB_YES:
        return IDYES;
    case ID_MB_NO:
        return IDNO;
    default:
        return 0;
    }
}

QString MessageBoxIconPath(unsigned nStyle, const QString& callerIcon)
{
    const unsigned set = nStyle & MB_TYPEMASK;
    const unsigned icon = nStyle & MB_ICONMASK;
    if (set > MB_RETRYCANCEL) {
        if (icon == MB_ICONINFORMATION)
            return kIconFolder + QStringLiteral("icon_exclamation.png");
        return callerIcon;
    }
    switch (icon) {
    case MB_ICONERROR:
        return kIconFolder + QStringLiteral("icon_error.png");
    case MB_ICONQUESTION:
        return kIconFolder + QStringLiteral("icon_question.png");
    case MB_ICONWARNING:
        return kIconFolder + QStringLiteral("icon_warning.png");
    case MB_ICONINFORMATION:
        return kIconFolder + QStringLiteral("icon_exclamation.png");
    default:
        if (set == MB_OK || set == MB_OKCANCEL)
            return kIconFolder + QStringLiteral("icon_warning.png");
        if (set == MB_YESNOCANCEL || set == MB_YESNO)
            return kIconFolder + QStringLiteral("icon_question.png");
        return QString();
    }
}

MessageBoxGeometry ComputeMessageBoxGeometry(QSize oneLine,
                                             const std::function<QSize(int)>& measureWrapped)
{
    MessageBoxGeometry geometry;
    // A text without height, or with lines taller than the space, counts as
    // one line.
    const int lineHeight = oneLine.height();
    const int lines = lineHeight > 0 && lineHeight <= kLinesHeight ? kLinesHeight / lineHeight : 1;
    geometry.nWrapWidth = std::clamp(oneLine.width() / lines, kMinWrap, kMaxWrap);
    geometry.sizeText = measureWrapped(geometry.nWrapWidth);
    const int extraWidth = std::max(0, geometry.sizeText.width() - kMinWrap);
    const int extraHeight =
        std::clamp(geometry.sizeText.height() - kBaseTextHeight, 0, kMaxExtraHeight);
    geometry.sizeBox = QSize(MB_MIN_WIDTH + extraWidth, MB_MIN_HEIGHT + extraHeight);
    const int top = (geometry.sizeBox.height() - 77 - geometry.sizeText.height()) / 2 + 31;
    geometry.rectText = QRect(QPoint(kTextLeft, top), geometry.sizeText);
    return geometry;
}

std::vector<int> MessageBoxTileOffsets(int nExtra, int nStart)
{
    std::vector<int> offsets;
    for (int i = 0; i < nExtra / MB_TILE; ++i)
        offsets.push_back(nStart + MB_TILE * i);
    offsets.push_back(nExtra + nStart - MB_TILE);
    return offsets;
}

QImage ComposeMessageBoxBackground(QSize size, const MessageBoxPieces& pieces)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgb(SKIN_KEY_COLOUR));
    QPainter painter(&image);
    const int extraWidth = size.width() - MB_MIN_WIDTH;
    const int extraHeight = size.height() - MB_MIN_HEIGHT;
    const std::vector<int> xs = MessageBoxTileOffsets(extraWidth, MB_LEFT_WIDTH);
    const std::vector<int> ys = MessageBoxTileOffsets(extraHeight, MB_TOP_HEIGHT);
    const int rightX = size.width() - MB_RIGHT_WIDTH;
    const int bottomY = size.height() - MB_BOTTOM_HEIGHT;

    auto draw = [&](int row, int column, int x, int y) {
        static const int widths[3] = {MB_LEFT_WIDTH, MB_TILE, MB_RIGHT_WIDTH};
        static const int heights[3] = {MB_TOP_HEIGHT, MB_TILE, MB_BOTTOM_HEIGHT};
        const QImage& piece = pieces.piece[row][column];
        if (!piece.isNull())
            painter.drawImage(QRect(x, y, widths[column], heights[row]), piece);
    };
    auto drawRow = [&](int row, int y) {
        draw(row, 0, 0, y);
        for (int x : xs)
            draw(row, 1, x, y);
        draw(row, 2, rightX, y);
    };
    drawRow(0, 0);
    for (int y : ys)
        drawRow(1, y);
    drawRow(2, bottomY);
    return image;
}

QRect MessageBoxButtonRect(QSize client, int nIndex)
{
    return QRect(client.width() - (nIndex + 1) * 146, client.height() - 34, 136, 24);
}
