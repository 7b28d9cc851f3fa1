#pragma once

// Finding entries of the loaded tree by name, for the window's search line
// and for lantern-cli find: one walk over the records in memory, nothing
// read from the image.

#include <QString>
#include <cstddef>
#include <utility>
#include <vector>

class CLTDataItem;

// What the user typed. Plain text matches any name that contains it; text
// with * (any run of characters) or ? (any one character) is matched against
// the whole name, as a shell matches file names. Both ignore case.
class CNamePattern
{
public:
    explicit CNamePattern(const QString& text);

    bool IsEmpty() const { return m_text.isEmpty(); }
    bool Matches(QStringView name) const;

private:
    QString m_text; // case-folded when it holds wildcards
    bool m_bWildcards = false;
};

// A search of the tree below a root, in the tree's order (a folder, then
// what it holds), the root itself left out. It keeps no recursion, so any
// depth is safe, and runs in steps, so that a window can take keystrokes
// between them and drop a search the next keystroke makes stale. The tree
// must not change while a search is under way.
class CTreeSearch
{
public:
    CTreeSearch(const CLTDataItem* root, const QString& pattern);

    // Looks at up to `budget` more records; true once the whole tree is done.
    bool Step(std::size_t budget);
    bool Done() const { return m_stack.empty(); }
    const std::vector<const CLTDataItem*>& Found() const { return m_found; }
    std::vector<const CLTDataItem*> TakeFound() { return std::move(m_found); }

private:
    CNamePattern m_pattern;
    // Each level is a folder and the position of its next child.
    std::vector<std::pair<const CLTDataItem*, std::size_t>> m_stack;
    std::vector<const CLTDataItem*> m_found;
};

// The whole search at once: every matching record below `root`.
std::vector<const CLTDataItem*> FindInTree(const CLTDataItem* root, const QString& pattern);

// The folder of a record as the window's Folder column shows it, with the
// separator of this system: "/" for the root's entries, else "/A/B".
QString FolderOf(const CLTDataItem* item);
