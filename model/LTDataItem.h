#pragma once

// The in-memory tree of the open image: one root record, and one record for
// every folder and file the tree loader found. Paths inside the image are
// backslash-separated with a leading backslash (\VIDEO_TS\VTS_01_0.IFO).

#include "FileTime.h"
#include "ItemText.h"

#include <QString>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

// Kind words, tested by bit. The values are ordered so that comparing kinds
// as numbers puts folders before files.
inline constexpr std::uint32_t KIND_ROOT = 1;
inline constexpr std::uint32_t KIND_FOLDER = 2;
inline constexpr std::uint32_t KIND_FILE = 4;

// What the image records about an entry as a Unix file; every field is 0
// where it records nothing (plain ISO 9660, Joliet).
struct CUnixFacts
{
    std::uint32_t nMode = 0;   // kind and permission bits, as st_mode
    std::uint32_t nLinks = 0;  // link count
    std::uint64_t nFileId = 0; // one value for every name of one file; 0: none

    std::uint32_t Kind() const { return nMode & 0170000u; }
    bool IsSymlink() const { return Kind() == 0120000u; }
    // Device nodes, FIFOs and sockets: nothing an extraction creates.
    bool IsSpecial() const
    {
        const std::uint32_t kind = Kind();
        return kind != 0 && kind != 0100000u && kind != 0040000u && kind != 0120000u;
    }
    // One of several names of one file: the names to join as hard links.
    bool IsSharedFile() const { return nLinks > 1 && nFileId != 0 && Kind() == 0100000u; }
};

// Columns of the file list, the index of m_nSortState.
inline constexpr int SORT_COLUMN_NAME = 0;
inline constexpr int SORT_COLUMN_SIZE = 1;
inline constexpr int SORT_COLUMN_TYPE = 2;
inline constexpr int SORT_COLUMN_MODIFIED = 3;
inline constexpr int SORT_COLUMN_COUNT = 4;

class CLTDataItem;

// A record's children: one pointer, since most records are files and have
// none. The array itself is made at the first child.
class CChildList
{
public:
    using iterator = CLTDataItem**;
    using const_iterator = CLTDataItem* const*;

    bool empty() const { return !m_pItems || m_pItems->empty(); }
    std::size_t size() const { return m_pItems ? m_pItems->size() : 0; }
    CLTDataItem* operator[](std::size_t i) const { return (*m_pItems)[i]; }
    iterator begin() { return m_pItems ? m_pItems->data() : nullptr; }
    iterator end() { return begin() + size(); }
    const_iterator begin() const { return m_pItems ? m_pItems->data() : nullptr; }
    const_iterator end() const { return begin() + size(); }
    std::reverse_iterator<const_iterator> rbegin() const
    {
        return std::reverse_iterator<const_iterator>(end());
    }
    std::reverse_iterator<const_iterator> rend() const
    {
        return std::reverse_iterator<const_iterator>(begin());
    }
    // Throws std::bad_alloc as a vector's push_back does.
    void push_back(CLTDataItem* item)
    {
        if (!m_pItems)
            m_pItems = std::make_unique<std::vector<CLTDataItem*>>();
        m_pItems->push_back(item);
    }
    void clear() { m_pItems.reset(); }
    // Gives back the room kept for more children.
    void shrink_to_fit()
    {
        if (m_pItems)
            m_pItems->shrink_to_fit();
    }

private:
    std::unique_ptr<std::vector<CLTDataItem*>> m_pItems;
};

class CLTDataItem
{
public:
    // A record for `path` of kind `kind` and `size` bytes. A root takes the
    // path as its label; any other kind derives its names from the path and
    // asks the file-type cache for its icons and type text.
    CLTDataItem(const QString& path, std::uint32_t kind, std::uint32_t sizeLow,
                std::uint32_t sizeHigh);
    // The same record from its two parts: `folderPath` ends in a backslash
    // and `name` holds none. The folder path's text is shared with every
    // sibling made from the same string, not copied.
    CLTDataItem(const CItemText& folderPath, const QString& name, std::uint32_t kind,
                std::uint64_t size);
    // Destroys the whole subtree, children first, in array order. Works
    // without recursion, so any depth of nesting is safe.
    virtual ~CLTDataItem();

    CLTDataItem(const CLTDataItem&) = delete;
    CLTDataItem& operator=(const CLTDataItem&) = delete;

    // Creates a child, links it at the end of this record's children and adds
    // its size to this record and every ancestor. Null when memory runs out.
    CLTDataItem* AddChild(const QString& path, std::uint32_t kind, std::uint64_t size);
    // The same for a child given as its folder path (ending in a backslash)
    // and a name without backslashes.
    CLTDataItem* AddChild(const CItemText& folderPath, const QString& name, std::uint32_t kind,
                          std::uint64_t size);

    bool IsFolder() const { return (m_nKind & KIND_FOLDER) != 0; }
    bool IsFile() const { return (m_nKind & KIND_FILE) != 0; }
    bool IsSymlink() const { return m_unix.IsSymlink(); }

    CLTDataItem* GetParent() const { return m_pParent; }
    void SetParent(CLTDataItem* pParent) { m_pParent = pParent; }

    int GetChildCount() const { return static_cast<int>(m_children.size()); }
    // The caller keeps 0 <= i < GetChildCount().
    CLTDataItem* GetChildAt(int i) const { return m_children[static_cast<std::size_t>(i)]; }
    // Iteration: take the start position, then each call returns the child
    // at the position and advances it, or null at the end.
    int GetStartPosition() const { return 0; }
    CLTDataItem* GetNextChild(int& position) const;
    // The children in display order; sorting reorders them in place.
    CChildList& Children() { return m_children; }
    const CChildList& Children() const { return m_children; }

    // Records alive in the process; a test aid that costs one counter.
    static std::int64_t LiveCount();

    // The fields are ordered and sized so that a record of a million is no
    // larger than it must be: a sort state is 1, -1 or 0.
    std::int8_t m_nSortState[SORT_COLUMN_COUNT] = {0, 0, 0, 0};
    std::uint32_t m_nKind = 0;
    CItemText m_strDisplayName;
    CItemText m_strFolderPath;
    CItemText m_strFileName;
    CLTDataItem* m_pParent = nullptr;
    CChildList m_children;
    CItemText m_strTypeName;
    FILETIME64 m_ftModified = 0;
    std::uint32_t m_nFolderCount = 0;
    std::uint32_t m_nFileCount = 0;
    std::uint64_t m_nSize = 0;
    int m_nIconIndex = 0;
    int m_nOpenIconIndex = 0;
    CUnixFacts m_unix;
    // A symbolic link's target as the image records it.
    CItemText m_strLinkTarget;

private:
    void LookUpType(const QString& path);
    CLTDataItem* Link(CLTDataItem* child, std::uint64_t size);
};
