#include "FileTypeCache.h"

#include "IconRegistry.h"

#include <QMimeDatabase>

namespace {

CFileTypeCache* g_pCacheOverride = nullptr;

bool IsNeverCached(const QString& key)
{
    return key == u".EXE" || key == u".ICO" || key == u".LNK";
}

} // namespace

bool CMimeTypeSource::QueryFile(const QString& fileName, int* pIconIndex, QString* pTypeName)
{
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid())
        return false;
    *pIconIndex = CIconRegistry::Instance().Register(type.iconName(), type.genericIconName());
    *pTypeName = type.comment();
    return true;
}

bool CMimeTypeSource::QueryFolder(int* pIconIndex, int* pOpenIconIndex, QString* pTypeName)
{
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(QStringLiteral("inode/directory"));
    if (!type.isValid())
        return false;
    *pIconIndex = CIconRegistry::Instance().Register(QStringLiteral("folder"));
    *pOpenIconIndex =
        CIconRegistry::Instance().Register(QStringLiteral("folder-open"), QStringLiteral("folder"));
    *pTypeName = type.comment();
    return true;
}

CFileTypeCache::CFileTypeCache(std::unique_ptr<IFileTypeSource> source)
    : m_source(std::move(source))
{
    m_entries.reserve(256);
}

QString CFileTypeCache::ExtensionKey(const QString& path)
{
    const auto slash = path.lastIndexOf(QLatin1Char('\\'));
    const auto dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        return {};
    return path.mid(dot).toUpper();
}

bool CFileTypeCache::Lookup(const QString& path, bool bFolder, FileTypeInfo& info)
{
    if (!m_source)
        return false;
    if (bFolder) {
        m_folderInfo = FileTypeInfo();
        if (!m_source->QueryFolder(&m_folderInfo.nIconIndex, &m_folderInfo.nOpenIconIndex,
                                   &m_folderInfo.strTypeName))
            return false;
        info = m_folderInfo;
        return true;
    }

    const QString key = ExtensionKey(path);
    // A name without an extension is typed by the whole name (Makefile,
    // README), so it is never cached either.
    const bool bCacheable = !key.isEmpty() && !IsNeverCached(key);
    if (bCacheable) {
        for (const FileTypeInfo& entry : m_entries) {
            if (entry.strKey == key) {
                info = entry;
                return true;
            }
        }
    }

    FileTypeInfo found;
    found.strKey = key;
    const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1);
    if (!m_source->QueryFile(fileName, &found.nIconIndex, &found.strTypeName))
        return false;
    found.nOpenIconIndex = found.nIconIndex;
    if (bCacheable)
        m_entries.push_back(found);
    info = found;
    return true;
}

CFileTypeCache& CFileTypeCache::Global()
{
    if (g_pCacheOverride)
        return *g_pCacheOverride;
    static CFileTypeCache cache(std::make_unique<CMimeTypeSource>());
    return cache;
}

void CFileTypeCache::SetGlobal(CFileTypeCache* pCache)
{
    g_pCacheOverride = pCache;
}
