#pragma once

// Icons of files and folders for the widgets. The records and the file-type
// cache keep icons as indices of the icon registry (IconRegistry.h); these
// turn an index into a QIcon. User-interface thread only.

#include <QIcon>

// The icon `nIndex` stands for: the first of its themed names that the icon
// theme has, else the style's generic folder picture for the "folder" family
// of names and the generic file picture for any other. Index 0 gives a null
// icon. Each index is looked up once.
QIcon RegistryIcon(int nIndex);

// The style's generic folder or file picture.
QIcon GenericEntryIcon(bool bFolder);
