#pragma once

// The images opened last, for File > Open Recent: at most ten, the most
// recent first, kept in the user's settings as the values File1 to File10
// under SETTINGS_KEY\Recent File List.

#include <QStringList>

inline constexpr int RECENT_IMAGES_MAX = 10;

// The stored list; empty values and repeats are left out.
QStringList LoadRecentImages();
// Puts path at the top of the list (moving it up when it is already there)
// and stores the list.
void AddRecentImage(const QString& path);
// Takes path out of the list and stores the list.
void RemoveRecentImage(const QString& path);
void ClearRecentImages();
