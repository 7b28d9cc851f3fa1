#include "SkinText.h"

#include <QFontMetrics>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct TextLine
{
    QString strText;
    qreal rWidth = 0;
};

std::vector<TextLine> BreakLines(const QFont& font, const QString& text, int nWidth,
                                 unsigned nFlags)
{
    std::vector<TextLine> lines;
    QString source = text;
    source.remove(QLatin1Char('\r'));
    const bool singleLine = nFlags & TF_SINGLELINE;
    if (singleLine)
        source.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetricsF metrics(font);
    const QStringList paragraphs = source.split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        if (!(nFlags & TF_WORDBREAK) || singleLine || paragraph.isEmpty()) {
            lines.push_back({paragraph, metrics.horizontalAdvance(paragraph)});
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, nWidth));
            // Blanks at the end of a wrapped line take no room.
            QString shown = paragraph.mid(line.textStart(), line.textLength());
            while (shown.endsWith(QLatin1Char(' ')))
                shown.chop(1);
            lines.push_back({shown, metrics.horizontalAdvance(shown)});
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace

QString StripAccessKey(const QString& text, qsizetype* pnKey)
{
    QString out;
    out.reserve(text.size());
    qsizetype key = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            if (text[i] != QLatin1Char('&') && key < 0)
                key = out.size();
        }
        out += text[i];
    }
    if (pnKey)
        *pnKey = key;
    return out;
}

QSize MeasureSkinText(const QFont& font, const QString& text, int nWidth, unsigned nFlags)
{
    const std::vector<TextLine> lines =
        BreakLines(font, (nFlags & TF_ACCESS_KEY) ? StripAccessKey(text) : text, nWidth, nFlags);
    const QFontMetrics metrics(font);
    qreal widest = 0;
    for (const TextLine& line : lines)
        widest = std::max(widest, line.rWidth);
    return QSize(int(std::ceil(widest)), metrics.height() * int(lines.size()));
}

void DrawSkinText(QPainter& painter, const QFont& font, const QRect& rect, const QString& text,
                  unsigned nFlags)
{
    qsizetype key = -1;
    const QString plain = (nFlags & TF_ACCESS_KEY) ? StripAccessKey(text, &key) : text;
    const std::vector<TextLine> lines = BreakLines(font, plain, rect.width(), nFlags);
    if (lines.size() != 1)
        key = -1;
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height();
    int y = rect.top();
    if (nFlags & TF_VCENTER)
        y += (rect.height() - lineHeight * int(lines.size())) / 2;
    painter.save();
    painter.setFont(font);
    for (const TextLine& line : lines) {
        QString shown = line.strText;
        qreal width = line.rWidth;
        if ((nFlags & TF_END_ELLIPSIS) && width > rect.width()) {
            shown = metrics.elidedText(shown, Qt::ElideRight, rect.width());
            width = metrics.horizontalAdvance(shown);
        }
        qreal x = rect.left();
        if (nFlags & TF_CENTER)
            x += (rect.width() - width) / 2.0;
        else if (nFlags & TF_RIGHT)
            x += rect.width() - width;
        const QPointF origin(std::floor(x), y + metrics.ascent());
        painter.drawText(origin, shown);
        // The key is underlined unless the ellipsis took its place.
        const qsizetype kept = shown == line.strText ? shown.size() : shown.size() - 1;
        if (key >= 0 && key < kept) {
            const qreal left = metrics.horizontalAdvance(shown.left(key));
            const qreal right = metrics.horizontalAdvance(shown.left(key + 1));
            painter.fillRect(QRectF(origin.x() + left, origin.y() + metrics.underlinePos(),
                                    right - left, std::max(1, metrics.lineWidth())),
                             painter.pen().color());
        }
        y += lineHeight;
    }
    painter.restore();
}
