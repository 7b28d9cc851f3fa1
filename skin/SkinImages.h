#pragma once

// The skin images: PNG files beside the program, addressed by relative paths
// written with backslashes ("Image\Common\button\btn.png").
//
// Two kinds of result, as the widgets need them: LoadSkinImage gives an image
// for drawing with scaling and alpha (premultiplied ARGB); LoadSkinBitmap
// gives a 32-bit bitmap with straight alpha for code that composes pixels
// itself, taken from the skin source chosen once at start-up. Both return
// values the caller owns; a missing file gives a null image, which draws
// nothing.

#include <QImage>
#include <QString>

inline constexpr unsigned SKIN_SOURCE_NONE = 0;
// Files under a folder (the program folder at start-up).
inline constexpr unsigned SKIN_SOURCE_FOLDER = 1;
// A compiled Qt resource file (.rcc); names are looked up inside it.
inline constexpr unsigned SKIN_SOURCE_MODULE = 2;

// Chooses where LoadSkinBitmap takes its images from.
// Folder mode: a relative path is joined to the program folder; when that is
// not an existing folder, the current folder joined with the path is taken
// instead; an absolute path is taken when it is an existing folder (else the
// skin folder stays unset). Always succeeds.
// Module mode: `path` names a resource file that is registered; fails when it
// cannot be. Any other mode fails.
bool InitSkinSource(const QString& path, unsigned nMode);

// Releases the resource file in module mode. True when a source was set.
bool ExitSkinSource();

unsigned SkinSourceMode();
// The skin folder of folder mode (native, as joined), or empty.
QString SkinSourceFolder();

// The image at `relativePath` under the program folder, premultiplied ARGB,
// or a null image when the file is missing or unreadable. Colour profiles
// embedded in the file are applied only when asked for.
QImage LoadSkinImage(const QString& relativePath, bool bUseColorManagement = false);

// A 32-bit bitmap (ARGB32, straight alpha) from the skin source. Folder mode:
// the skin folder with its last element removed, then the name. When the
// name, lower-cased, contains ".png" and `bPremultiply` is set, the pixels are
// premultiplied (the result is then ARGB32_Premultiplied). Module mode: the
// name inside the resource file; a failure is written to the debug output.
// Null when nothing could be loaded.
QImage LoadSkinBitmap(const QString& name, bool bPremultiply);

// Multiplies the colour channels of every pixel of a 32-bit image with straight
// alpha by its alpha (value * alpha / 255, rounded down), keeping alpha, and
// marks the image premultiplied. Any other image is left unchanged.
void PremultiplyAlpha(QImage& image);
