#include "TreeSearch.h"

#include "LTDataItem.h"

namespace {

QChar Folded(QChar c)
{
    return c.toCaseFolded();
}

// A shell's match of one name, case folded on the fly: on a mismatch after a
// star, the star takes one character more and the rest is tried again from
// there. Only the last star is ever retried, so the work stays within the
// product of the two lengths.
bool GlobMatches(QStringView pattern, QStringView name)
{
    qsizetype p = 0, n = 0;
    qsizetype starAt = -1, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == Folded(name[n]))) {
            ++p;
            ++n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

CNamePattern::CNamePattern(const QString& text)
    : m_bWildcards(text.contains(u'*') || text.contains(u'?'))
{
    m_text = m_bWildcards ? text.toCaseFolded() : text;
}

bool CNamePattern::Matches(QStringView name) const
{
    if (m_text.isEmpty())
        return false;
    if (m_bWildcards)
        return GlobMatches(m_text, name);
    return name.contains(m_text, Qt::CaseInsensitive);
}

CTreeSearch::CTreeSearch(const CLTDataItem* root, const QString& pattern) : m_pattern(pattern)
{
    if (root && !m_pattern.IsEmpty())
        m_stack.emplace_back(root, 0);
}

bool CTreeSearch::Step(std::size_t budget)
{
    while (!m_stack.empty() && budget > 0) {
        auto& [folder, next] = m_stack.back();
        if (next == folder->Children().size()) {
            m_stack.pop_back();
            continue;
        }
        const CLTDataItem* item = folder->Children()[next++];
        --budget;
        if (m_pattern.Matches(item->m_strDisplayName))
            m_found.push_back(item);
        if (!item->Children().empty())
            m_stack.emplace_back(item, 0); // `folder` and `next` are not used past here
    }
    return m_stack.empty();
}

std::vector<const CLTDataItem*> FindInTree(const CLTDataItem* root, const QString& pattern)
{
    CTreeSearch search(root, pattern);
    search.Step(static_cast<std::size_t>(-1));
    return search.TakeFound();
}

QString FolderOf(const CLTDataItem* item)
{
    QString folder = item->m_strFolderPath;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}
