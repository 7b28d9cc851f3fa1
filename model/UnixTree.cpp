#include "UnixTree.h"

#include "LTDataItem.h"

#include <QStringList>
#include <unordered_set>
#include <vector>

namespace {

// As many links as the kernel follows for one path.
constexpr int kMaxLinkHops = 40;

CLTDataItem* RootOf(CLTDataItem* record)
{
    while (record->GetParent())
        record = record->GetParent();
    return record;
}

CLTDataItem* ChildNamed(const CLTDataItem* folder, const QString& name)
{
    for (CLTDataItem* child : folder->Children())
        if (child->m_strFileName == name)
            return child;
    return nullptr;
}

} // namespace

std::uint64_t DataSizeOf(const QList<CLTDataItem*>& records)
{
    std::uint64_t total = 0;
    std::unordered_set<std::uint64_t> shared;
    std::vector<const CLTDataItem*> stack(records.begin(), records.end());
    while (!stack.empty()) {
        const CLTDataItem* record = stack.back();
        stack.pop_back();
        if (!record)
            continue;
        if (record->IsFolder() || record->GetChildCount() > 0) {
            for (const CLTDataItem* child : record->Children())
                stack.push_back(child);
            continue;
        }
        if (record->m_unix.IsSharedFile() && !shared.insert(record->m_unix.nFileId).second)
            continue;
        total += record->m_nSize;
    }
    return total;
}

CLTDataItem* ResolveLink(CLTDataItem* record)
{
    int hops = 0;
    while (record && record->IsSymlink()) {
        if (++hops > kMaxLinkHops)
            return nullptr;
        const QString& target = record->m_strLinkTarget;
        if (target.isEmpty())
            return nullptr;
        CLTDataItem* at =
            target.startsWith(QLatin1Char('/')) ? RootOf(record) : record->GetParent();
        // Walk the components; a link met on the way is followed from where
        // it lies, with the rest of the path after it.
        QStringList rest = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        while (at && !rest.isEmpty()) {
            const QString part = rest.takeFirst();
            if (part == u".")
                continue;
            if (part == u"..") {
                at = at->GetParent(); // above the root is outside the image
                continue;
            }
            CLTDataItem* next = ChildNamed(at, part);
            if (next && next->IsSymlink() && !rest.isEmpty()) {
                if (++hops > kMaxLinkHops)
                    return nullptr;
                const QString& inner = next->m_strLinkTarget;
                rest = inner.split(QLatin1Char('/'), Qt::SkipEmptyParts) + rest;
                next = inner.startsWith(QLatin1Char('/')) ? RootOf(next) : next->GetParent();
            } else if (next && !rest.isEmpty() && !next->IsFolder()) {
                return nullptr;
            }
            at = next;
        }
        record = at;
    }
    return record;
}
