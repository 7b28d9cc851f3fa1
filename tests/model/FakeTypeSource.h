#pragma once

#include "FileTypeCache.h"

#include <QHash>
#include <QStringList>

// A type source that answers from a fixed table and counts what it is asked.
class FakeTypeSource : public IFileTypeSource
{
public:
    QStringList fileQueries;
    int folderQueries = 0;
    bool bFail = false;

    bool QueryFile(const QString& fileName, int* pIconIndex, QString* pTypeName) override
    {
        fileQueries << fileName;
        if (bFail)
            return false;
        const QString ext = fileName.mid(fileName.lastIndexOf(QLatin1Char('.')) + 1).toLower();
        *pIconIndex = 10 + static_cast<int>(fileQueries.size());
        *pTypeName = ext + QStringLiteral(" file (100% sure)");
        return true;
    }
    bool QueryFolder(int* pIconIndex, int* pOpenIconIndex, QString* pTypeName) override
    {
        ++folderQueries;
        if (bFail)
            return false;
        *pIconIndex = 3;
        *pOpenIconIndex = 4;
        *pTypeName = QStringLiteral("Folder");
        return true;
    }
};

// Installs a cache over a fake source for the life of a test.
class ScopedFakeCache
{
public:
    ScopedFakeCache()
    {
        auto source = std::make_unique<FakeTypeSource>();
        m_pSource = source.get();
        m_cache = std::make_unique<CFileTypeCache>(std::move(source));
        CFileTypeCache::SetGlobal(m_cache.get());
    }
    ~ScopedFakeCache() { CFileTypeCache::SetGlobal(nullptr); }
    FakeTypeSource& Source() { return *m_pSource; }
    CFileTypeCache& Cache() { return *m_cache; }

private:
    FakeTypeSource* m_pSource;
    std::unique_ptr<CFileTypeCache> m_cache;
};
