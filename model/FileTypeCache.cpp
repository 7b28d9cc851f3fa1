#include "FileTypeCache.h"

#include "IconRegistry.h"

#include <QMimeDatabase>

namespace {

CFileTypeCache* g_pCacheOverride = nullptr;

bool IsNeverCached(const QString& key)
{
    return key == u".EXE" || key == u".ICO" || key == u".LNK";
}

// True when `extension` is all ASCII and upper-cases to `key`; false
// otherwise, also for any other character, which the full comparison
// handles.
bool MatchesKeyAscii(QStringView extension, const QString& key)
{
    if (extension.size() != key.size())
        return false;
    const QChar* k = key.constData();
    for (qsizetype i = 0; i < extension.size(); ++i) {
        char16_t c = extension[i].unicode();
        if (c >= 0x80)
            return false;
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - (u'a' - u'A'));
        if (c != k[i].unicode())
            return false;
    }
    return true;
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
        // Asked for every folder, and kept as one shared text while the
        // answer stays the same.
        int nIcon = 0;
        int nOpenIcon = 0;
        QString typeName;
        if (!m_source->QueryFolder(&nIcon, &nOpenIcon, &typeName))
            return false;
        m_folderInfo.nIconIndex = nIcon;
        m_folderInfo.nOpenIconIndex = nOpenIcon;
        if (m_folderInfo.strTypeName != typeName)
            m_folderInfo.strTypeName = typeName;
        info = m_folderInfo;
        return true;
    }

    // Nearly every name has a short ASCII extension already cached: find it
    // without building the key. Keys that are never cached are not in the
    // list, so a match is always a cached answer; an ASCII extension that
    // matches none is not cached at all.
    const auto slash = path.lastIndexOf(QLatin1Char('\\'));
    const auto dot = path.lastIndexOf(QLatin1Char('.'));
    const QStringView extension = dot > slash ? QStringView(path).mid(dot) : QStringView();
    bool bAscii = true;
    for (const QChar c : extension)
        bAscii = bAscii && c.unicode() < 0x80;
    if (bAscii) {
        for (const FileTypeInfo& entry : m_entries) {
            if (MatchesKeyAscii(extension, entry.strKey)) {
                info = entry;
                return true;
            }
        }
    }

    QString key;
    if (!bAscii) {
        key = extension.toString().toUpper();
        for (const FileTypeInfo& entry : m_entries) {
            if (entry.strKey == key) {
                info = entry;
                return true;
            }
        }
    }

    FileTypeInfo found;
    const QString fileName = slash < 0 ? path : path.mid(slash + 1);
    QString typeName;
    if (!m_source->QueryFile(fileName, &found.nIconIndex, &typeName))
        return false;
    found.strTypeName = typeName;
    if (bAscii)
        key = extension.toString().toUpper();
    // A name without an extension is typed by the whole name (Makefile,
    // README), so it is never cached either.
    const bool bCacheable = !key.isEmpty() && !IsNeverCached(key);
    found.strKey = key;
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
