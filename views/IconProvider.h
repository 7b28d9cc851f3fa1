#pragma once

// Turns the icon indices the records store into icons: each index stands for
// themed icon names (see CIconRegistry); a theme that lacks them gives the
// style's generic file or folder icon.

#include <QIcon>

QIcon IconForIndex(int index);
// The icon of a language resource (icons are files beside the program).
QIcon ResourceIcon(int id);
