#pragma once

// Starting the burner: its command line, its texts, the mutex that keeps it
// to one instance, and the image to burn.

#include <QString>
#include <QStringList>
#include <memory>

class CNamedMutex;
class QWidget;

struct BurnerArguments
{
    QString strImage;
    QString strDrive;       // --drive ADDRESS
    qint64 nMediumSize = 0; // --medium-size SIZE
    bool bHelp = false;
    QString strError; // what was wrong with the command line
};

// `args` as QApplication::arguments() gives them (the program first). The
// viewer passes the image path alone, unquoted, as the first argument.
BurnerArguments ParseBurnerArguments(const QStringList& args);
QString BurnerHelpText();

// Loads Ardent8.lang from the program folder and installs it.
bool LoadBurnerTexts();

// Takes the burner's mutex. When another burner holds it, says so in a
// message box over `pOwner`, sets `*pRefused` and returns null. A mutex that
// cannot be made at all gives null without refusing.
std::unique_ptr<CNamedMutex> TakeBurnerMutex(QWidget* pOwner, bool* pRefused);

// Asks for an image to burn; empty when the user declines.
QString ChooseBurnerImage(QWidget* pOwner);

// The whole program; returns its exit code.
int RunBurner(const QStringList& args);
