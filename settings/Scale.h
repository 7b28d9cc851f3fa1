#pragma once

// The factors by which fonts, images and window sizes follow the display's
// resolution, and the user-interface font face. Scaling is off unless the
// machine-wide "EnableDPIAware" turns it on.

#include <QString>
#include <functional>

inline constexpr int IDS_UI_FONT_FACE = 8012;

// The machine-wide "EnableDPIAware" value, read once per process; 0 when
// absent.
bool IsDpiScalingEnabled();

// The display's horizontal resolution / 96, or 1.0 while scaling is off and
// `bForce` is not given.
double GetDpiScale(bool bForce = false);

// 1.5 when scaling is on and GetDpiScale() is at least 1.5, else 1.0.
double GetImageScale();

// The face named by string 8012; `defaultFace` when that names "Segoe UI" on
// a system older than version 6, or when the string is missing.
QString GetUIFontName(const QString& defaultFace);

// Where the display's resolution comes from: the widget layer installs a
// source that asks the screen; without one it is 96 pixels per inch.
void SetDisplayDpiSource(std::function<double()> source);

// Forgets the value read once, so tests can change it.
void ResetScaleSettingsForTesting();
