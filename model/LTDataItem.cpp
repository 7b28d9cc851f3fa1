#include "LTDataItem.h"

#include "FileTypeCache.h"

#include <atomic>
#include <new>

namespace {

std::atomic<std::int64_t> g_nLiveItems{0};

} // namespace

CLTDataItem::CLTDataItem(const QString& path, std::uint32_t kind, std::uint32_t sizeLow,
                         std::uint32_t sizeHigh)
    : m_nKind(kind), m_nSize((std::uint64_t{sizeHigh} << 32) | sizeLow)
{
    g_nLiveItems.fetch_add(1, std::memory_order_relaxed);
    if (kind == KIND_ROOT) {
        m_strDisplayName = path;
        m_strFileName = path;
        return;
    }
    const auto slash = path.lastIndexOf(QLatin1Char('\\'));
    m_strFileName = QStringView(path).mid(slash + 1);
    m_strDisplayName = m_strFileName;
    m_strFolderPath = QStringView(path).left(slash + 1);
    LookUpType(path);
}

CLTDataItem::CLTDataItem(const CItemText& folderPath, const QString& name, std::uint32_t kind,
                         std::uint64_t size)
    : m_nKind(kind), m_strFolderPath(folderPath), m_strFileName(name), m_nSize(size)
{
    m_strDisplayName = m_strFileName;
    g_nLiveItems.fetch_add(1, std::memory_order_relaxed);
    // The type depends on the name alone.
    LookUpType(name);
}

void CLTDataItem::LookUpType(const QString& path)
{
    FileTypeInfo info;
    if (CFileTypeCache::Global().Lookup(path, IsFolder(), info)) {
        m_nIconIndex = info.nIconIndex;
        m_nOpenIconIndex = info.nOpenIconIndex;
        m_strTypeName = info.strTypeName;
    }
}

CLTDataItem::~CLTDataItem()
{
    // Take the children out and destroy them in array order, each one's own
    // children first. A child whose children are taken over has none left
    // when its destructor runs, so the destructor never recurses deeper than
    // one level.
    std::vector<CLTDataItem*> stack;
    stack.reserve(m_children.size());
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        stack.push_back(*it);
    m_children.clear();
    while (!stack.empty()) {
        CLTDataItem* item = stack.back();
        if (!item->m_children.empty()) {
            for (auto it = item->m_children.rbegin(); it != item->m_children.rend(); ++it)
                stack.push_back(*it);
            item->m_children.clear();
            continue;
        }
        stack.pop_back();
        delete item;
    }
    g_nLiveItems.fetch_sub(1, std::memory_order_relaxed);
}

CLTDataItem* CLTDataItem::AddChild(const QString& path, std::uint32_t kind, std::uint64_t size)
{
    CLTDataItem* child = nullptr;
    try {
        child = new CLTDataItem(path, kind, static_cast<std::uint32_t>(size),
                                static_cast<std::uint32_t>(size >> 32));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return Link(child, size);
}

CLTDataItem* CLTDataItem::AddChild(const CItemText& folderPath, const QString& name,
                                   std::uint32_t kind, std::uint64_t size)
{
    CLTDataItem* child = nullptr;
    try {
        child = new CLTDataItem(folderPath, name, kind, size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return Link(child, size);
}

CLTDataItem* CLTDataItem::Link(CLTDataItem* child, std::uint64_t size)
{
    try {
        m_children.push_back(child);
    } catch (const std::bad_alloc&) {
        delete child;
        return nullptr;
    }
    child->m_pParent = this;
    if (child->IsFolder())
        ++m_nFolderCount;
    else if (child->IsFile())
        ++m_nFileCount;
    for (CLTDataItem* p = this; p; p = p->m_pParent)
        p->m_nSize += size;
    return child;
}

CLTDataItem* CLTDataItem::GetNextChild(int& position) const
{
    if (position < 0 || position >= GetChildCount())
        return nullptr;
    return m_children[static_cast<std::size_t>(position++)];
}

std::int64_t CLTDataItem::LiveCount()
{
    return g_nLiveItems.load(std::memory_order_relaxed);
}
