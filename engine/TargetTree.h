#pragma once

// The folders an extraction writes into, opened one component at a time
// from the root of the file system. A component that is a symbolic link is
// followed only when this extraction did not make it: a link from the image
// never carries anything written after it to where it points. Links the
// user already had are the user's own and are followed, as a file manager
// would.

#include <QByteArray>
#include <QString>
#include <set>
#include <vector>

class CTargetTree
{
public:
    // `ownLinks` holds the links this extraction made (Normalized paths);
    // several trees may share one set.
    explicit CTargetTree(const std::set<QByteArray>& ownLinks) : m_ownLinks(ownLinks) {}
    ~CTargetTree();

    CTargetTree(const CTargetTree&) = delete;
    CTargetTree& operator=(const CTargetTree&) = delete;

    // The absolute, cleaned form of a disk path, as the other calls take it.
    static QByteArray Normalized(const QString& path);

    // A handle (O_PATH) of the folder `path` (Normalized), owned by this
    // object and valid until the next call; -1 when it cannot be opened,
    // with `*pRefused` set when a link this extraction made stands in the
    // way.
    int OpenFolder(const QByteArray& path, bool* pRefused);

    // Closes every handle.
    void Reset() { CloseFrom(0); }

private:
    void CloseFrom(std::size_t depth);

    // The components of the folder opened last and a handle of each, the
    // root's first; the next folder reuses the part they share.
    std::vector<QByteArray> m_parts;
    std::vector<int> m_fds;
    const std::set<QByteArray>& m_ownLinks;
};

// The process's file-mode creation mask, read without changing it.
unsigned ProcessUmask();
