#include "FileBytes.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "TimeZone.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A menu in one line: "TEXT[...]" popup, "ID TEXT" command, "-" separator; or its shape.
QString Describe(const std::vector<CResMenuItem>& items, bool bTexts = true)
{
    QStringList parts;
    for (const CResMenuItem& item : items) {
        const QString text = bTexts ? item.strText : QString();
        if (item.nKind == CResMenuItem::Popup)
            parts << text + u'[' + Describe(item.children, bTexts) + u']';
        else
            parts << (item.nKind == CResMenuItem::Separator
                          ? u"-"_s
                          : QString::number(item.nId) + u' ' + text);
    }
    return parts.join(u'|');
}

TEST(LangResources, ReadsStringsMenusAndIcons)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ADTRC.lang"_s);
    ASSERT_TRUE(WriteBytes(path, "\xEF\xBB\xBF# comment\n[language]\ncode = DEU\nname = Deutsch\n"
                                 "[strings]\n100 = Lantern\n; another comment\n"
                                 "656 =   Zeile eins\\nZeile \\\"zwei\\\" \\\\ ende  \n"
                                 "5013 = \" Name \"\n700 = a = b\n701 = 100% \\q\n702 =\n"
                                 "[menu 128]\npopup &Datei\n"
                                 "    item 639 &\xC3\x96"
                                 "ffnen...\\tCtrl+O\n"
                                 "    separator\n    popup Mehr\n        item 643 Klein\n    end\n"
                                 "    item 57665 &Beenden\nend\n"
                                 "[icons]\n649 = Icons/649.png\n"));
    CLangResources res;
    ASSERT_TRUE(res.LoadFile(path));
    EXPECT_EQ(res.Warnings(), QStringList());
    // Unknown escapes stay as written; an empty value is there all the same.
    EXPECT_EQ(
        (QStringList{res.LanguageCode(), res.LanguageName(), res.String(100), res.String(656),
                     res.String(5013), res.String(700), res.String(701), res.String(702)}),
        (QStringList{u"DEU"_s, u"Deutsch"_s, u"Lantern"_s, u"Zeile eins\nZeile \"zwei\" \\ ende"_s,
                     u" Name "_s, u"a = b"_s, u"100% \\q"_s, u""_s}));
    EXPECT_TRUE(res.HasString(702));

    ASSERT_NE(res.Menu(128), nullptr);
    EXPECT_EQ(Describe(res.Menu(128)->items),
              QString::fromUtf8("&Datei[639 &\xC3\x96"
                                "ffnen...\tCtrl+O|-|Mehr[643 Klein]|57665 &Beenden]"));

    SetProgramFolderForTesting(u"/opt/lantern"_s);
    EXPECT_EQ(res.IconPath(649), u"/opt/lantern/Icons/649.png");
    SetProgramFolderForTesting(QString());
}

TEST(LangResources, DamagedLinesAreSkippedAndReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"bad.lang"_s);
    ASSERT_TRUE(WriteBytes(path, "stray text\n[strings]\nabc = not a number\n-5 = negative\n"
                                 "no equals sign\n100 = first\n100 = second\n"
                                 "[menu 128]\nend\nitem x Broken\npopup Open\n    item 1 One\n"
                                 "[strings]\n101 = after the menu\r\n[colours]\n1 = red\n"));
    CLangResources res;
    ASSERT_TRUE(res.LoadFile(path));
    // The last of a repeated number counts; a CR before the line end is not text.
    EXPECT_EQ(res.String(100) + u'|' + res.String(101), u"second|after the menu");
    EXPECT_FALSE(res.HasString(1)) << "values of an unknown section are ignored";
    EXPECT_EQ(res.Warnings().size(), 9) << res.Warnings();
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
    EXPECT_FALSE(res.LoadFile(u"/nonexistent/ADTRC.lang"_s));
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
    ScopedEnv environment;
    for (const Case& c : cases) {
        environment.Set("LANGUAGE", QLatin1String(c.language));
        environment.Set("LC_ALL", QLatin1String(c.all));
        environment.Set("LC_MESSAGES", QLatin1String(c.messages));
        environment.Set("LANG", QLatin1String(c.lang));
        EXPECT_EQ(LocaleLanguageCode(), QString::fromLatin1(c.code))
            << c.language << "|" << c.all << "|" << c.messages << "|" << c.lang;
    }
}

// The resource sets the program ships, as laid beside the built program.
const QString kRuntime = QStringLiteral(LANTERN_TEST_RUNTIME_DIR);

// The `IDS_... = N` numbers of the sources, by the set that must hold them.
std::map<QString, std::set<int>> NamedStrings()
{
    std::map<QString, std::set<int>> named;
    static const QRegularExpression re(u"\\bIDS_\\w+\\s*=\\s*(\\d+)"_s);
    for (const char* folder : {"app", "views", "dialogs", "engine", "skin", "settings", "model",
                               "platform", "companions"}) {
        QDirIterator it(QStringLiteral(LANTERN_SOURCE_DIR "/") + QLatin1String(folder),
                        {u"*.h"_s, u"*.cpp"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString set = path.contains(u"/companions/burner/")    ? u"Ardent8.lang"_s
                                : path.contains(u"/companions/mounter/") ? u"Fenmount.lang"_s
                                                                         : u"ADTRC.lang"_s;
            for (const auto& m : re.globalMatch(QString::fromUtf8(ReadBytes(path))))
                named[set].insert(m.captured(1).toInt());
        }
    }
    return named;
}

QStringList Placeholders(const QString& text)
{
    QStringList found;
    static const QRegularExpression re(u"%[scd%]"_s);
    for (const auto& m : re.globalMatch(text))
        found << m.captured();
    return found;
}

// Each shipped set in English and German: every named string there, the same numbers,
// placeholders and menu shapes in both.
TEST(ShippedResources, EveryNamedStringIsThereInBothLanguages)
{
    const auto named = NamedStrings();
    ASSERT_GT(named.at(u"ADTRC.lang"_s).size(), 50u);
    ASSERT_GT(named.at(u"Ardent8.lang"_s).size(), 20u);
    ASSERT_GT(named.at(u"Fenmount.lang"_s).size(), 10u);
    SetProgramFolderForTesting(kRuntime);
    for (const auto& [name, ids] : named) {
        SCOPED_TRACE(name.toStdString());
        CLangResources en, de;
        ASSERT_TRUE(en.LoadFile(kRuntime + u'/' + name));
        ASSERT_TRUE(de.LoadFile(kRuntime + u"/Language/DEU/"_s + name));
        EXPECT_EQ(en.Warnings() + de.Warnings(), QStringList());
        for (int id : ids)
            EXPECT_FALSE(en.String(id).isEmpty()) << "English lacks string " << id;
        EXPECT_EQ(en.StringIds(), de.StringIds());
        for (int id : en.StringIds())
            EXPECT_EQ(Placeholders(en.String(id)), Placeholders(de.String(id)))
                << "placeholders of string " << id << " differ";
        if (name != u"ADTRC.lang")
            continue;
        EXPECT_EQ(en.LanguageCode() + de.LanguageCode(), u"ENUDEU");
        EXPECT_EQ(ReadBytes(kRuntime + u"/Language/ENU/ADTRC.lang"_s),
                  ReadBytes(kRuntime + u"/ADTRC.lang"_s));
        for (int id : {128, 642}) {
            ASSERT_NE(en.Menu(id), nullptr) << id;
            ASSERT_NE(de.Menu(id), nullptr) << id;
            EXPECT_EQ(Describe(en.Menu(id)->items, false), Describe(de.Menu(id)->items, false));
        }
        for (const CLangResources* res : {&en, &de})
            for (int icon : {128, 131, 649})
                EXPECT_TRUE(QFileInfo(res->IconPath(icon)).isFile()) << res->IconPath(icon);
    }
    SetProgramFolderForTesting(QString());
}

} // namespace
