#pragma once

// The language resources: every text, menu and icon of the user interface,
// addressed by number. One resource set is one UTF-8 text file (ADTRC.lang)
// that a translator fills with any text editor; docs/ARCHITECTURE.md
// describes the format. A number that the set lacks gives an empty text, a
// null menu or an empty icon path, never a failure.

#include <QHash>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <vector>

struct CResMenuItem
{
    enum Kind
    {
        Command,
        Separator,
        Popup
    };
    Kind nKind = Command;
    int nId = 0;                        // command ID for Command, 0 otherwise
    QString strText;                    // with '&' mnemonics and an optional "\t" + shortcut
    std::vector<CResMenuItem> children; // Popup only
};

struct CResMenu
{
    std::vector<CResMenuItem> items;
};

class CLangResources
{
public:
    // Reads a resource set. Lines it cannot understand are skipped and listed
    // in Warnings(); the call fails only when the file cannot be read at all.
    bool LoadFile(const QString& path);

    bool IsLoaded() const { return m_bLoaded; }
    QString FilePath() const { return m_strFilePath; }
    QString LanguageCode() const { return m_strCode; }
    QString LanguageName() const { return m_strName; }
    const QStringList& Warnings() const { return m_warnings; }

    QString String(int id) const { return m_strings.value(id); }
    bool HasString(int id) const { return m_strings.contains(id); }
    QList<int> StringIds() const; // ascending
    // The menu with this number, or null.
    const CResMenu* Menu(int id) const;
    // The icon file of this number as a native absolute path (icons are named
    // relative to the program folder), or empty.
    QString IconPath(int id) const;

private:
    bool m_bLoaded = false;
    QString m_strFilePath;
    QString m_strCode;
    QString m_strName;
    QHash<int, QString> m_strings;
    QHash<int, CResMenu> m_menus;
    QHash<int, QString> m_icons;
    QStringList m_warnings;
};

// The resource set the program uses; null until one is installed. The
// application installs it at start-up; tests install their own.
CLangResources* GetLangResources();
void SetLangResources(CLangResources* pResources);

// String `id` of the installed set, or an empty text.
QString LoadResString(int id);

// Fills a resource text's placeholders in order: "%s" takes a text, "%c" a
// character (given as a one-character text), "%d" a number given as text;
// "%%" is a percent sign. A placeholder without an argument is left empty;
// an argument without a placeholder is dropped, so a translation may leave a
// value out.
QString FormatResText(const QString& text, std::initializer_list<QString> args);

// Undoes the escapes of a value: \n \r \t \\ \".
QString UnescapeResText(QStringView value);

// The language the user's locale asks for, as the three-letter code of the
// language folders ("DEU"): the first of LANGUAGE (a colon-separated list),
// LC_ALL, LC_MESSAGES and LANG that is set; "ENU" for English, for C and
// POSIX, and when none is set.
QString LocaleLanguageCode();

// Loads the resource file `fileName` in language `code` (empty: the one the
// locale asks for), or the English one where that set is missing or cannot
// be read. `pTried` gets the last path tried.
bool LoadLanguageFile(CLangResources* pResources, const QString& fileName, QString code,
                      QString* pTried = nullptr);

// The resource file `fileName` of language `code` ("Language/<code>/" below
// the program folder) when it exists, else the English one beside the
// program.
QString LanguageFilePath(const QString& fileName, const QString& code);
