#pragma once

// The process-wide cache of file-type icons and texts by file extension.
// The records of the data tree ask it once each; it asks the type source
// (the MIME database and the icon registry) once per extension.

#include "ItemText.h"

#include <QString>
#include <memory>
#include <vector>

struct FileTypeInfo
{
    QString strKey; // the upper-case extension with its dot, ".TXT"
    int nIconIndex = 0;
    int nOpenIconIndex = 0;
    CItemText strTypeName; // one text for every record of the extension
};

// Where type information comes from. Lookups by name never touch a file.
class IFileTypeSource
{
public:
    virtual ~IFileTypeSource() = default;
    // The icon and type text of a file by its name alone; false when there
    // is none.
    virtual bool QueryFile(const QString& fileName, int* pIconIndex, QString* pTypeName) = 0;
    // The closed and open icons and the type text of a folder.
    virtual bool QueryFolder(int* pIconIndex, int* pOpenIconIndex, QString* pTypeName) = 0;
};

// The type source of this platform: the shared MIME database by file name,
// and themed icons through the icon registry.
class CMimeTypeSource : public IFileTypeSource
{
public:
    bool QueryFile(const QString& fileName, int* pIconIndex, QString* pTypeName) override;
    bool QueryFolder(int* pIconIndex, int* pOpenIconIndex, QString* pTypeName) override;
};

class CFileTypeCache
{
public:
    explicit CFileTypeCache(std::unique_ptr<IFileTypeSource> source);

    // The icons and type text for the entry at `path` (backslash-separated).
    // Files are cached by extension, except .EXE, .ICO and .LNK, which may
    // each carry their own icon, and names without one; folders are never
    // cached.
    bool Lookup(const QString& path, bool bFolder, FileTypeInfo& info);

    int CachedCount() const { return static_cast<int>(m_entries.size()); }

    // The cache the records use. Created with the MIME source at first use;
    // tests install their own with SetGlobal and restore it with null.
    static CFileTypeCache& Global();
    static void SetGlobal(CFileTypeCache* pCache);

    // The upper-case extension of the last component of `path`, dot
    // included; empty when the name has no dot.
    static QString ExtensionKey(const QString& path);

private:
    std::unique_ptr<IFileTypeSource> m_source;
    std::vector<FileTypeInfo> m_entries;
    FileTypeInfo m_folderInfo; // filled anew for every folder
};
