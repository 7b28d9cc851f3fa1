#pragma once

// Measuring and drawing the texts of the skinned controls and dialogs, with
// the flags of SkinGeometry.h. Wrapping breaks at word boundaries and, for a
// word longer than the line, inside the word, as an edit field does; line
// breaks in the text always start a new line unless TF_SINGLELINE is given.

#include "SkinGeometry.h"

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>

// The text without its access-key marks ("&Replace" -> "Replace", "&&" ->
// "&"); with `pnKey` the position of the access key in the result, or -1.
QString StripAccessKey(const QString& text, qsizetype* pnKey = nullptr);

// The size the text takes: with TF_WORDBREAK wrapped at `nWidth`, otherwise
// line by line. The width is that of the widest line.
QSize MeasureSkinText(const QFont& font, const QString& text, int nWidth, unsigned nFlags);

// Draws the text in `rect` with the painter's pen, in `font`, aligned by the
// flags; TF_VCENTER centres it vertically, TF_END_ELLIPSIS cuts every line
// that is too wide with an ellipsis; TF_ACCESS_KEY underlines the access key
// of a one-line text. Nothing is clipped beyond the painter's
// own clipping.
void DrawSkinText(QPainter& painter, const QFont& font, const QRect& rect, const QString& text,
                  unsigned nFlags);
