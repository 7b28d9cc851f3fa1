#include "FileBytes.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "QtPrint.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// A menu in one line: "TEXT[...]" for a popup, "ID TEXT" for a command, "-"
// for a separator; without texts, its shape and commands alone.
QString Describe(const std::vector<CResMenuItem>& items, bool bTexts = true)
{
    QStringList parts;
    for (const CResMenuItem& item : items) {
        const QString text = bTexts ? item.strText : QString();
        if (item.nKind == CResMenuItem::Popup)
            parts << text + u'[' + Describe(item.children, bTexts) + u']';
        else
            parts << (item.nKind == CResMenuItem::Separator
                          ? QStringLiteral("-")
                          : QString::number(item.nId) + u' ' + text);
    }
    return parts.join(u'|');
}

TEST(LangResources, ReadsStringsMenusAndIcons)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ADTRC.lang"));
    ASSERT_TRUE(WriteBytes(path, "\xEF\xBB\xBF# comment\n"
                                 "[language]\n"
                                 "code = DEU\n"
                                 "name = Deutsch\n"
                                 "[strings]\n"
                                 "100 = Lantern\n"
                                 "; another comment\n"
                                 "656 =   Zeile eins\\nZeile \\\"zwei\\\" \\\\ ende  \n"
                                 "5013 = \" Name \"\n"
                                 "700 = a = b\n"
                                 "701 = 100% \\q\n"
                                 "702 =\n"
                                 "[menu 128]\n"
                                 "popup &Datei\n"
                                 "    item 639 &\xC3\x96"
                                 "ffnen...\\tCtrl+O\n"
                                 "    separator\n"
                                 "    popup Mehr\n"
                                 "        item 643 Klein\n"
                                 "    end\n"
                                 "    item 57665 &Beenden\n"
                                 "end\n"
                                 "[icons]\n"
                                 "649 = Icons/649.png\n"));
    CLangResources res;
    ASSERT_TRUE(res.LoadFile(path));
    EXPECT_TRUE(res.Warnings().isEmpty()) << res.Warnings().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(res.LanguageCode(), u"DEU");
    EXPECT_EQ(res.LanguageName(), u"Deutsch");
    EXPECT_EQ(res.String(100), u"Lantern");
    EXPECT_EQ(res.String(656), u"Zeile eins\nZeile \"zwei\" \\ ende");
    EXPECT_EQ(res.String(5013), u" Name ");
    EXPECT_EQ(res.String(700), u"a = b");
    EXPECT_EQ(res.String(701), u"100% \\q") << "unknown escapes stay as written";
    EXPECT_TRUE(res.HasString(702));
    EXPECT_TRUE(res.String(702).isEmpty());

    ASSERT_NE(res.Menu(128), nullptr);
    EXPECT_EQ(Describe(res.Menu(128)->items),
              QString::fromUtf8("&Datei[639 &\xC3\x96"
                                "ffnen...\tCtrl+O|-|Mehr[643 Klein]|57665 &Beenden]"));

    SetProgramFolderForTesting(QStringLiteral("/opt/lantern"));
    EXPECT_EQ(res.IconPath(649), u"/opt/lantern/Icons/649.png");
    SetProgramFolderForTesting(QString());
}

TEST(LangResources, DamagedLinesAreSkippedAndReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.lang"));
    ASSERT_TRUE(WriteBytes(path, "stray text\n"
                                 "[strings]\n"
                                 "abc = not a number\n"
                                 "-5 = negative\n"
                                 "no equals sign\n"
                                 "100 = first\n"
                                 "100 = second\n"
                                 "[menu 128]\n"
                                 "end\n"
                                 "item x Broken\n"
                                 "popup Open\n"
                                 "    item 1 One\n"
                                 "[strings]\n"
                                 "101 = after the menu\r\n"
                                 "[colours]\n"
                                 "1 = red\n"));
    CLangResources res;
    ASSERT_TRUE(res.LoadFile(path));
    EXPECT_EQ(res.String(100), u"second");
    EXPECT_EQ(res.String(101), u"after the menu") << "a CR before the line end is not text";
    EXPECT_FALSE(res.HasString(1)) << "values of an unknown section are ignored";
    EXPECT_EQ(res.Warnings().size(), 9) << res.Warnings().join(QLatin1Char('\n')).toStdString();
    ASSERT_NE(res.Menu(128), nullptr);
    EXPECT_EQ(Describe(res.Menu(128)->items), u"Open[1 One]")
        << "the unclosed popup keeps what it got";

    // A number the set lacks, or a set that is missing, gives nothing.
    SetLangResources(&res);
    EXPECT_TRUE(LoadResString(99999).isEmpty());
    EXPECT_EQ(res.Menu(129), nullptr);
    EXPECT_TRUE(res.IconPath(649).isEmpty());
    SetLangResources(nullptr);
    EXPECT_TRUE(LoadResString(100).isEmpty());
    EXPECT_FALSE(res.LoadFile(QStringLiteral("/nonexistent/ADTRC.lang")));
}

// The locale's language, in the order the C library reads its variables.
TEST(LocaleLanguageCode, FollowsTheLocaleVariablesInOrder)
{
    struct Case
    {
        const char *language, *all, *messages, *lang, *code;
    } cases[] = {
        {"", "", "", "", "ENU"},
        {"", "", "", "de_DE.UTF-8", "DEU"},
        {"de", "", "", "en_US.UTF-8", "DEU"},
        {"fr:de", "", "", "", "FRA"},
        {"", "C", "", "de_DE.UTF-8", "ENU"},
        {"", "", "de_AT.UTF-8@euro", "C.UTF-8", "DEU"},
        {"", "en_GB.UTF-8", "de_DE.UTF-8", "", "ENU"},
    };
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<const char*, QByteArray>> saved;
    for (const char* name : names)
        saved.emplace_back(name, qgetenv(name));
    for (const Case& c : cases) {
        const char* values[] = {c.language, c.all, c.messages, c.lang};
        for (int i = 0; i < 4; ++i)
            qputenv(names[i], values[i]);
        EXPECT_EQ(LocaleLanguageCode(), QString::fromLatin1(c.code))
            << c.language << "|" << c.all << "|" << c.messages << "|" << c.lang;
    }
    for (const auto& [name, value] : saved)
        qputenv(name, value);
}

TEST(FormatResText, FillsPlaceholdersInOrder)
{
    EXPECT_EQ(FormatResText(QStringLiteral("Copy %s to %s?"),
                            {QStringLiteral("a.txt"), QStringLiteral("/tmp")}),
              u"Copy a.txt to /tmp?");
    EXPECT_EQ(FormatResText(QStringLiteral("Drive %c: at 100%%"), {QStringLiteral("/")}),
              u"Drive /: at 100%");
    EXPECT_EQ(FormatResText(QStringLiteral("%s and %s"), {QStringLiteral("one")}), u"one and ");
    EXPECT_EQ(FormatResText(QStringLiteral("No value here"), {QStringLiteral("dropped")}),
              u"No value here");
    EXPECT_EQ(FormatResText(QStringLiteral("%.2f %x 50%"), {}), u"%.2f %x 50%");
    // An argument that itself holds a placeholder is not expanded again.
    EXPECT_EQ(FormatResText(QStringLiteral("[%s]"), {QStringLiteral("%s%%")}), u"[%s%%]");
}

// ---------------------------------------------------------------------------
// The resource sets the program ships, as laid beside the built program.

QString RuntimeDir()
{
    return QStringLiteral(LANTERN_TEST_RUNTIME_DIR);
}

// Every string the program refers to by number.
const int kRequiredStrings[] = {
    100,   102,   128,   138,   627,   628,   629,   630,   632,   633,   634,   635,  636,  638,
    639,   640,   641,   642,   643,   644,   645,   646,   650,   651,   652,   653,  654,  655,
    656,   657,   658,   659,   660,   661,   662,   663,   664,   665,   666,   667,  668,  669,
    671,   902,   903,   910,   5013,  5014,  5015,  5016,  5023,  5109,  6035,  6036, 6037, 6038,
    6039,  6051,  6052,  6053,  6054,  6084,  6119,  6673,  7055,  7076,  7427,  8012, 8016, 11268,
    11320, 11323, 11330, 11481, 61186, 61187, 61440, 61817, 61826, 61863, 61864, 61865};

QStringList Placeholders(const QString& text)
{
    QStringList found;
    static const QRegularExpression re(QStringLiteral("%[scd%]"));
    for (const auto& m : re.globalMatch(text))
        found << m.captured();
    return found;
}

TEST(ShippedResources, EnglishIsCompleteAndGermanMatchesIt)
{
    ASSERT_FALSE(RuntimeDir().isEmpty());
    SetProgramFolderForTesting(RuntimeDir());
    CLangResources english, german, beside;
    ASSERT_TRUE(english.LoadFile(RuntimeDir() + QStringLiteral("/Language/ENU/ADTRC.lang")));
    ASSERT_TRUE(german.LoadFile(RuntimeDir() + QStringLiteral("/Language/DEU/ADTRC.lang")));
    ASSERT_TRUE(beside.LoadFile(RuntimeDir() + QStringLiteral("/ADTRC.lang")));
    EXPECT_TRUE(english.Warnings().isEmpty()) << english.Warnings().join(u'\n').toStdString();
    EXPECT_TRUE(german.Warnings().isEmpty()) << german.Warnings().join(u'\n').toStdString();
    EXPECT_EQ(english.LanguageCode(), u"ENU");
    EXPECT_EQ(german.LanguageCode(), u"DEU");
    EXPECT_EQ(beside.LanguageCode(), u"ENU") << "English lies beside the program";

    for (int id : kRequiredStrings) {
        EXPECT_FALSE(english.String(id).isEmpty()) << "English lacks string " << id;
        EXPECT_FALSE(german.String(id).isEmpty()) << "German lacks string " << id;
    }
    EXPECT_EQ(english.StringIds(), german.StringIds());
    for (int id : english.StringIds()) {
        EXPECT_EQ(Placeholders(english.String(id)), Placeholders(german.String(id)))
            << "placeholders of string " << id << " differ";
    }

    // The companions' German sets hold every English text, with the same
    // placeholders.
    for (const char* name : {"Ardent8.lang", "Fenmount.lang"}) {
        CLangResources en, de;
        ASSERT_TRUE(en.LoadFile(RuntimeDir() + u'/' + QLatin1String(name))) << name;
        ASSERT_TRUE(
            de.LoadFile(RuntimeDir() + QStringLiteral("/Language/DEU/") + QLatin1String(name)))
            << name;
        EXPECT_TRUE(de.Warnings().isEmpty()) << name;
        EXPECT_EQ(en.StringIds(), de.StringIds()) << name;
        for (int id : en.StringIds())
            EXPECT_EQ(Placeholders(en.String(id)), Placeholders(de.String(id))) << name << id;
    }

    // Both languages' menus have the same shape and commands.
    for (int id : {128, 642}) {
        ASSERT_NE(english.Menu(id), nullptr) << id;
        ASSERT_NE(german.Menu(id), nullptr) << id;
        EXPECT_EQ(Describe(english.Menu(id)->items, false),
                  Describe(german.Menu(id)->items, false));
    }
    for (const CLangResources* res : {&english, &german})
        for (int icon : {128, 131, 649})
            EXPECT_TRUE(QFileInfo(res->IconPath(icon)).isFile()) << res->IconPath(icon);
    SetProgramFolderForTesting(QString());
}

} // namespace
