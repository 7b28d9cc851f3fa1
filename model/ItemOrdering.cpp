#include "ItemOrdering.h"

#include <algorithm>

namespace {

// Keys of a record for each column, compared by one template below.
struct NameKey
{
    static int Compare(const CLTDataItem* a, const CLTDataItem* b)
    {
        return CompareNoCase(a->m_strDisplayName, b->m_strDisplayName);
    }
};

struct TypeKey
{
    static int Compare(const CLTDataItem* a, const CLTDataItem* b)
    {
        return CompareNoCase(a->m_strTypeName, b->m_strTypeName);
    }
};

struct SizeKey
{
    static int Compare(const CLTDataItem* a, const CLTDataItem* b)
    {
        return a->m_nSize < b->m_nSize ? -1 : (a->m_nSize > b->m_nSize ? 1 : 0);
    }
};

struct TimeKey
{
    static int Compare(const CLTDataItem* a, const CLTDataItem* b)
    {
        return a->m_ftModified < b->m_ftModified ? -1 : (a->m_ftModified > b->m_ftModified ? 1 : 0);
    }
};

// Records whose keys are equal follow their names, so they keep one order
// from sort to sort; names that differ only in case, their exact text.
bool NameTie(const CLTDataItem* a, const CLTDataItem* b)
{
    const int c = CompareNoCase(a->m_strDisplayName, b->m_strDisplayName);
    return c != 0 ? c < 0 : a->m_strDisplayName < b->m_strDisplayName;
}

template <class Key>
bool Ascending(const CLTDataItem* a, const CLTDataItem* b)
{
    if (a->m_nKind != b->m_nKind)
        return a->m_nKind < b->m_nKind;
    const int c = Key::Compare(a, b);
    return c != 0 ? c < 0 : NameTie(a, b);
}

template <class Key>
bool Descending(const CLTDataItem* a, const CLTDataItem* b)
{
    if (a->m_nKind != b->m_nKind)
        return a->m_nKind > b->m_nKind;
    const int c = Key::Compare(a, b);
    return c != 0 ? c > 0 : NameTie(a, b);
}

} // namespace

int CompareNoCase(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* pa = a.data();
    const QChar* pb = b.data();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ca = pa[i].unicode();
        char16_t cb = pb[i].unicode();
        if (ca == cb)
            continue;
        // ASCII letters are lowered here; QChar knows the rest of Unicode.
        if (ca < 0x80 && cb < 0x80) {
            ca = ca >= u'A' && ca <= u'Z' ? static_cast<char16_t>(ca + 32) : ca;
            cb = cb >= u'A' && cb <= u'Z' ? static_cast<char16_t>(cb + 32) : cb;
        } else {
            ca = pa[i].toLower().unicode();
            cb = pb[i].toLower().unicode();
        }
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

ItemOrdering GetItemOrdering(int column, int direction)
{
    const bool bUp = direction >= 0;
    switch (column) {
    case SORT_COLUMN_NAME:
        return bUp ? &Ascending<NameKey> : &Descending<NameKey>;
    case SORT_COLUMN_SIZE:
        return bUp ? &Ascending<SizeKey> : &Descending<SizeKey>;
    case SORT_COLUMN_TYPE:
        return bUp ? &Ascending<TypeKey> : &Descending<TypeKey>;
    case SORT_COLUMN_MODIFIED:
        return bUp ? &Ascending<TimeKey> : &Descending<TimeKey>;
    default:
        return nullptr;
    }
}

void SortChildren(CLTDataItem* item, int column, int direction)
{
    const ItemOrdering ordering = GetItemOrdering(column, direction);
    if (item && ordering)
        std::sort(item->m_children.begin(), item->m_children.end(), ordering);
}
