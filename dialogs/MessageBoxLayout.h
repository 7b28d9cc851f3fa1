#pragma once

// The message box's tables and arithmetic: which buttons and icon a style
// word gives, how large the box grows with its text, where the background
// tiles and the buttons go. Plain functions, so they are checked without a
// screen.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

// The style word: button set in the low four bits, icon in the next four.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_TYPEMASK = 0x0F;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_ICONMASK = 0xF0;

// Results, the standard dialog results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Command IDs of the answer buttons; each is also the number of the string
// that gives the button's caption.
inline constexpr int ID_MB_OK = 8016;
inline constexpr int ID_MB_CANCEL = 6084;
inline constexpr int ID_MB_ABORT = 903;
inline constexpr int ID_MB_RETRY = 910;
inline constexpr int ID_MB_IGNORE = 902;
inline constexpr int ID_MB_YES = 11323;
inline constexpr int ID_MB_NO = 11320;
// The caption close button's command and its tooltip string.
inline constexpr int ID_MB_CLOSE = 2;
inline constexpr int IDS_MB_CLOSE_TIP = 11268;

// The answer buttons of a style, left to right (command IDs).
std::vector<int> MessageBoxButtons(unsigned nStyle);
// Whether the box has the caption close button.
bool MessageBoxHasCloseButton(unsigned nStyle);
// The result of a command (an answer button or the close button); 0 for any
// other command.
int MessageBoxResult(int nCommandId);
// The icon image for a style: a path relative to the program folder, or
// empty for none. `callerIcon` is used only by button sets 6 to 15.
QString MessageBoxIconPath(unsigned nStyle, const QString& callerIcon);

// The box's size and text rectangle. `oneLine` is the text measured on one
// line; `measureWrapped(width)` measures it wrapped at `width`.
struct MessageBoxGeometry
{
    int nWrapWidth = 0;
    QSize sizeText;
    QSize sizeBox;
    QRect rectText;
};
MessageBoxGeometry ComputeMessageBoxGeometry(QSize oneLine,
                                             const std::function<QSize(int)>& measureWrapped);

// The smallest box; the pieces' fixed sizes.
inline constexpr int MB_MIN_WIDTH = 468;
inline constexpr int MB_MIN_HEIGHT = 208;
inline constexpr int MB_LEFT_WIDTH = 456;
inline constexpr int MB_TILE = 50;
inline constexpr int MB_RIGHT_WIDTH = 12;
inline constexpr int MB_TOP_HEIGHT = 162;
inline constexpr int MB_BOTTOM_HEIGHT = 46;

// Where the middle tiles of one direction go: every 50 pixels from `nStart`
// while whole tiles fit into `nExtra`, then once more so that the last tile
// ends flush at nStart + nExtra.
std::vector<int> MessageBoxTileOffsets(int nExtra, int nStart);

// The nine background pieces, [row][column]: rows top, mid, bottom; columns
// left, mid, right.
struct MessageBoxPieces
{
    QImage piece[3][3];
};
// Composes the background of a box of `size` on the key colour; missing
// pieces leave the key colour showing.
QImage ComposeMessageBoxBackground(QSize size, const MessageBoxPieces& pieces);

// The rectangle of answer button `nIndex`, counted from the right, in a box
// whose client area is `client`.
QRect MessageBoxButtonRect(QSize client, int nIndex);
