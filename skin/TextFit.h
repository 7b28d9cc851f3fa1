#pragma once

// Text fitting and the display's resolution for the widget layer.

#include <QFont>
#include <QString>

// Shortens `text` to one line of `width` pixels: line breaks become blanks
// and a text that is too wide is cut at its end with an ellipsis. Without a
// font the main window's is used; with no font at all (no application) the
// text comes back unchanged.
QString FitTextToWidth(const QString& text, int width, const QFont* pFont = nullptr);

// Makes the scale factors ask the primary screen for its resolution.
void InstallScreenDpiSource();
