#pragma once

// What the two views' Extract and View commands share: the target folder
// question and its checks, the overwrite question with a view's remembered
// answers, the command messages, and the paths of records in the image.

#include "EngineTypes.h"

#include <QString>
#include <cstdint>

class CLTDataItem;
class IFrameHost;
class QWidget;
struct CONFIRM_DESCRIPTION;

// A view's answers to the overwrite question during one extraction.
struct COverwriteAnswers
{
    bool& bOverwriteAll;
    bool& bSkipAll;
    bool& bCancelled;
};

enum class OverwriteAnswer
{
    Overwrite,
    Skip,
    Cancel,
};

// Answers from the remembered "all" answers, or asks the user and remembers
// an "all" answer or a cancel.
OverwriteAnswer ConfirmOverwrite(COverwriteAnswers answers, const CONFIRM_DESCRIPTION& description);

// Asks for the folder to extract into, starting in the remembered one, and
// checks it: an optical disc or a path no mount covers (650), a folder that
// cannot be written (7427). The chosen folder ends in '/'. False when the
// user cancelled or the folder was refused (the message was shown).
bool ChooseExtractTarget(QWidget* pOwner, QString* pTarget);

// Ends an extracting command, which began the engine's extraction
// (BeginExtraction) before its first file: the extraction ends (folders get
// their modes), the engine's counters back to 0 (the
// percentage too when `bResetPercent`), then the end event, which hides the
// progress dialog and enables the window again.
void EndExtractCommand(IFrameHost* pFrameHost, bool bResetPercent);

// Shows a command's message: no owner, so no disabled window can block it.
void ShowCommandMessage(const QString& text);

// The path of a record inside the image, backslash-separated, without the
// leading backslash the reader does not want.
QString ImagePathOf(const CLTDataItem* pRecord);

// The folder the user last extracted to as the remembered value holds it.
QString RememberedExtractFolder();
