#pragma once

// Where the program's companion files lie. Everything the program loads at
// run time (the reading module, the language resources, the skin images) lies
// beside the program file, in the build tree as in an installed tree.

#include <QString>

// The folder of the running program file, symbolic links resolved, without a
// trailing separator. Never the current directory.
QString ProgramFolder();

// Overrides ProgramFolder() (tests run from their own folder); an empty text
// restores the default.
void SetProgramFolderForTesting(const QString& folder);

// A path written with backslashes relative to the program folder, such as
// "Image\Dialogs\MessageBox\icon_warning.png", as a native absolute path.
QString ProgramRelativePath(const QString& backslashPath);
