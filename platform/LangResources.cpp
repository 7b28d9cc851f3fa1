#include "LangResources.h"

#include "ProgramPaths.h"

#include <QFile>
#include <QLocale>
#include <algorithm>

namespace {

CLangResources* g_pLangResources = nullptr;

enum class Section
{
    None,
    Language,
    Strings,
    Menu,
    Icons,
    Unknown
};

// Splits "key = value" at the first '='; false when there is none.
bool SplitKeyValue(QStringView line, QStringView* key, QStringView* value)
{
    const auto eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *key = line.left(eq).trimmed();
    *value = line.mid(eq + 1).trimmed();
    return true;
}

// A value as written: trimmed, optionally enclosed in double quotes that
// keep its blanks, with escapes undone.
QString ParseValue(QStringView raw)
{
    if (raw.size() >= 2 && raw.front() == QLatin1Char('"') && raw.back() == QLatin1Char('"'))
        raw = raw.mid(1, raw.size() - 2);
    return UnescapeResText(raw);
}

bool ParseNumber(QStringView text, int* value)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0)
        return false;
    *value = n;
    return true;
}

} // namespace

QString UnescapeResText(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case '\\':
        case '"':
            out += next;
            break;
        default: // unknown escape: keep it as written
            out += c;
            out += next;
            break;
        }
    }
    return out;
}

bool CLangResources::LoadFile(const QString& path)
{
    *this = CLangResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    m_strFilePath = path;

    Section section = Section::None;
    int menuId = 0;
    // The popups being filled, innermost last; empty when items go to the
    // menu's top level.
    std::vector<CResMenuItem*> popups;
    auto warn = [&](int lineNo, const QString& what) {
        m_warnings << QStringLiteral("%1:%2: %3").arg(path).arg(lineNo).arg(what);
    };
    auto currentItems = [&]() -> std::vector<CResMenuItem>& {
        return popups.empty() ? m_menus[menuId].items : popups.back()->children;
    };
    auto closeMenu = [&](int lineNo) {
        if (section == Section::Menu && !popups.empty())
            warn(lineNo, QStringLiteral("menu %1 has a popup without \"end\"").arg(menuId));
        popups.clear();
    };

    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i + 1);
        QStringView line = QStringView(lines[i]).trimmed();
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;

        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            closeMenu(lineNo);
            const QStringView name = line.mid(1, line.size() - 2).trimmed();
            if (name == u"language") {
                section = Section::Language;
            } else if (name == u"strings") {
                section = Section::Strings;
            } else if (name == u"icons") {
                section = Section::Icons;
            } else if (name.startsWith(u"menu") && ParseNumber(name.mid(4).trimmed(), &menuId)) {
                section = Section::Menu;
                m_menus[menuId] = CResMenu();
            } else {
                section = Section::Unknown;
                warn(lineNo, QStringLiteral("unknown section ") + name.toString());
            }
            continue;
        }

        QStringView key, value;
        switch (section) {
        case Section::Unknown:
            break;
        case Section::None:
            warn(lineNo, QStringLiteral("text outside a section"));
            break;
        case Section::Language:
            if (!SplitKeyValue(line, &key, &value)) {
                warn(lineNo, QStringLiteral("expected key = value"));
            } else if (key == u"code") {
                m_strCode = ParseValue(value);
            } else if (key == u"name") {
                m_strName = ParseValue(value);
            }
            break;
        case Section::Strings:
        case Section::Icons: {
            int id = 0;
            if (!SplitKeyValue(line, &key, &value) || !ParseNumber(key, &id)) {
                warn(lineNo, QStringLiteral("expected number = text"));
                break;
            }
            auto& table = section == Section::Strings ? m_strings : m_icons;
            if (table.contains(id))
                warn(lineNo, QStringLiteral("number %1 given twice; the last one counts").arg(id));
            table.insert(id, ParseValue(value));
            break;
        }
        case Section::Menu: {
            const auto blank = line.indexOf(QLatin1Char(' '));
            const QStringView word = blank < 0 ? line : line.left(blank);
            const QStringView rest = blank < 0 ? QStringView() : line.mid(blank + 1).trimmed();
            if (word == u"separator") {
                CResMenuItem item;
                item.nKind = CResMenuItem::Separator;
                currentItems().push_back(item);
            } else if (word == u"popup") {
                CResMenuItem item;
                item.nKind = CResMenuItem::Popup;
                item.strText = ParseValue(rest);
                auto& items = currentItems();
                items.push_back(std::move(item));
                popups.push_back(&items.back());
            } else if (word == u"end") {
                if (popups.empty())
                    warn(lineNo, QStringLiteral("\"end\" without a popup"));
                else
                    popups.pop_back();
            } else if (word == u"item") {
                const auto gap = rest.indexOf(QLatin1Char(' '));
                CResMenuItem item;
                if (!ParseNumber(gap < 0 ? rest : rest.left(gap), &item.nId)) {
                    warn(lineNo, QStringLiteral("expected item NUMBER TEXT"));
                    break;
                }
                item.strText = gap < 0 ? QString() : ParseValue(rest.mid(gap + 1).trimmed());
                currentItems().push_back(std::move(item));
            } else {
                warn(lineNo, QStringLiteral("unknown menu line"));
            }
            break;
        }
        }
    }
    closeMenu(static_cast<int>(lines.size()));
    m_bLoaded = true;
    return true;
}

QList<int> CLangResources::StringIds() const
{
    QList<int> ids = m_strings.keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

const CResMenu* CLangResources::Menu(int id) const
{
    const auto it = m_menus.constFind(id);
    return it == m_menus.constEnd() ? nullptr : &it.value();
}

QString CLangResources::IconPath(int id) const
{
    const QString relative = m_icons.value(id);
    return relative.isEmpty() ? QString() : ProgramRelativePath(relative);
}

CLangResources* GetLangResources()
{
    return g_pLangResources;
}

void SetLangResources(CLangResources* pResources)
{
    g_pLangResources = pResources;
}

QString LoadResString(int id)
{
    return g_pLangResources ? g_pLangResources->String(id) : QString();
}

QString FormatResText(const QString& text, std::initializer_list<QString> args)
{
    QString out;
    out.reserve(text.size() + 64);
    auto next = args.begin();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('%') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar spec = text[i + 1];
        if (spec == QLatin1Char('%')) {
            out += c;
            ++i;
        } else if (spec == QLatin1Char('s') || spec == QLatin1Char('c') ||
                   spec == QLatin1Char('d')) {
            if (next != args.end())
                out += *next++;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString LocaleLanguageCode()
{
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (value.isEmpty())
            continue;
        // The first entry of a list; "de_DE.UTF-8@euro" names German.
        QString first = value.section(QLatin1Char(':'), 0, 0);
        first = first.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
        if (first.isEmpty())
            continue;
        if (first == u"C" || first == u"POSIX")
            return QStringLiteral("ENU");
        const QLocale::Language language = QLocale(first).language();
        if (language == QLocale::C || language == QLocale::English ||
            language == QLocale::AnyLanguage)
            return QStringLiteral("ENU");
        return QLocale::languageToCode(language, QLocale::ISO639Part2T).toUpper();
    }
    return QStringLiteral("ENU");
}

QString LanguageFilePath(const QString& fileName, const QString& code)
{
    if (!code.isEmpty() && code != u"ENU") {
        const QString translated =
            ProgramRelativePath(QStringLiteral("Language\\") + code + QLatin1Char('\\') + fileName);
        if (QFile::exists(translated))
            return translated;
    }
    return ProgramRelativePath(fileName);
}

bool LoadLanguageFile(CLangResources* pResources, const QString& fileName, QString code,
                      QString* pTried)
{
    if (code.isEmpty())
        code = LocaleLanguageCode();
    QString tried = LanguageFilePath(fileName, code);
    bool bLoaded = pResources->LoadFile(tried);
    const QString english = ProgramRelativePath(fileName);
    if (!bLoaded && tried != english) {
        tried = english;
        bLoaded = pResources->LoadFile(tried);
    }
    if (pTried)
        *pTried = tried;
    return bLoaded;
}
