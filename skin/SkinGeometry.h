#pragma once

// The arithmetic of the skinned controls, in plain functions the widgets
// call, so it can be checked without a screen.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <vector>

// Image strips: frames of equal width side by side. A strip of `nFrames`
// frames gives frames of (width / nFrames) x height; an empty strip 0 x 0.
QSize StripFrameSize(QSize strip, int nFrames);
// The source rectangle of frame `nIndex` in a strip with frames of `frame`.
QRect StripFrameRect(QSize frame, int nIndex);

// Text drawing flags of the skinned controls (combinable).
enum SkinTextFlag : unsigned
{
    TF_LEFT = 0x0,
    TF_CENTER = 0x1,
    TF_RIGHT = 0x2,
    TF_VCENTER = 0x4,
    TF_WORDBREAK = 0x10,
    TF_SINGLELINE = 0x20,
    TF_END_ELLIPSIS = 0x8000,
    // "&" marks the next character as the access key: it is underlined and
    // the "&" takes no room; "&&" is one "&".
    TF_ACCESS_KEY = 0x10000,
};

// Where an image button puts its caption. Inputs: the button's size, the text
// origin so far, the caption's one-line width and height, whether it holds a
// line break, and its height when wrapped into the space right of and below
// the origin. The result is the new origin and the flags to add.
struct ButtonTextLayout
{
    QPoint ptText;
    unsigned nAddFormat = 0;
};
ButtonTextLayout LayOutButtonText(QSize button, QPoint ptText, int nLineWidth, int nLineHeight,
                                  bool bHasLineBreak, int nWrappedHeight, bool bCenter, bool bFit);

// The width of a progress bar's fill: width x percent / 100, unrounded.
double ProgressFillWidth(int nWidth, int nPercent);

// The runs that the four edge scans cut out of a window drawn on a key
// colour: from the top row down and from the bottom row up, the key-coloured
// run at the left end and the one at the right end of each row, until a row
// whose end pixel is not key-coloured. A row that is key-coloured throughout
// contributes nothing. Pixels compare by their red, green and blue.
std::vector<QRect> KeyColourEdgeRuns(const QImage& image, QRgb key);

// The window region: the image's rectangle with every run combined by
// exclusive or.
QRegion KeyColourWindowRegion(const QImage& image, QRgb key);

// The pure blue that skinned windows are drawn on.
inline constexpr QRgb SKIN_KEY_COLOUR = 0xFF0000FF;

// A skinned window's background: an opaque image of `size` in the key colour
// with `art` drawn over it at the top left (a null `art` leaves it all key
// colour). Its edge runs give the window region.
QImage ComposeOnKeyColour(const QImage& art, QSize size, QRgb key = SKIN_KEY_COLOUR);
