#pragma once

// The settings the program keeps, and the folders and program paths made
// from them. Every value lives under the suite's settings key, per user
// with a machine-wide fallback; an absent value has a default, so nothing
// here fails loudly.

#include <QString>
#include <cstdint>

// The settings key and, one level up, the suite's install information.
inline const QString SETTINGS_KEY = QStringLiteral("Software\\Vantrel\\Ardent8\\8.0");
inline const QString SUITE_KEY = QStringLiteral("Software\\Vantrel\\Ardent8");

// The suite's programs by name. On Linux a program file has no extension:
// the burner is <InstallPath>/Ardent8, the virtual-drive program
// <InstallPath>/Fenmount.
inline const QString SUITE_PROGRAM_BURNER = QStringLiteral("Ardent8");
inline const QString SUITE_PROGRAM_VIRTUAL_DRIVE = QStringLiteral("Fenmount");

// The longest path the temporary folder may have, in characters with the
// terminator, as a caller's buffer would hold it.
inline constexpr int MAX_PATH_CHARS = 260;

// ---- Values of the settings key -------------------------------------------
// "CurrentLang": the language code naming Language/<CODE>/, machine-wide
// (empty when absent); stored per user only when falling back to English.
QString GetCurrentLang();
void SetCurrentLangPerUser(const QString& code);
// "oemConfirmString" (machine-wide, 0 when absent): 1 picks the alternative
// texts of the overwrite question.
std::uint32_t GetOemConfirmString();
// "DisconnectToDARevErod" (machine-wide, 0) and "NetworkConnect" (per user,
// then machine-wide, 1): whether the update notifier may start.
std::uint32_t GetDisconnectToDARevErod();
std::uint32_t GetNetworkConnect();

// The main window's placement, kept per user only as five 4-byte values
// "LTWnd_PosX", "LTWnd_PosY", "LTWnd_PosW", "LTWnd_PosH", "LTWnd_PosS".
struct WindowPlacement
{
    std::int32_t nLeft = 0;
    std::int32_t nTop = 0;
    std::int32_t nWidth = 0;
    std::int32_t nHeight = 0;
    std::int32_t bMaximized = 0;
};
// False unless the key and all five values could be read.
bool ReadWindowPlacement(WindowPlacement* pPlacement);
bool WriteWindowPlacement(const WindowPlacement& placement);

// The folder the Open dialog starts in and the default extraction target.
// On first use both become the user's documents folder, stored per user.
QString GetImagePath();
QString GetExtractPath();
void SetImagePath(const QString& folder);
void SetExtractPath(const QString& folder);

// The program's temporary folder, ending in '/', created when missing:
// <application data>/Vantrel/Ardent8/<Version>/Temp/, or <temp>/Temp/ when
// that does not fit `capacity` characters. False when `capacity` is under
// 260 or no folder could be made.
bool GetTempFolder(QString* pFolder, int capacity = MAX_PATH_CHARS);

// Creates a folder and every missing parent; true when the folder itself
// was created.
bool CreateFolderPath(const QString& path);

// The first "InstallPath" found in a subkey of `installKey` (machine-wide),
// or an empty text.
QString GetSuiteInstallPath(const QString& installKey = SUITE_KEY);
// The full path of a suite program (SUITE_PROGRAM_*), given to `pPath` even
// when the file is missing; true only when the file exists.
bool GetSuiteProgramPath(const QString& programName, QString* pPath = nullptr);

// True when a file can be created in the path's folder: the path up to its
// last '/', or the path itself when it has none.
bool IsFolderWritable(const QString& path);
// True when the folder holds no entry; a folder that cannot be listed is
// not empty.
bool IsFolderEmpty(const QString& folder);
