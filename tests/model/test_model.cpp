#include "FileTypeCache.h"
#include "IconRegistry.h"
#include "LTDataItem.h"
#include "QtPrint.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace Qt::StringLiterals;

namespace {

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
struct ScopedFakeCache
{
    FakeTypeSource* pSource = new FakeTypeSource;
    CFileTypeCache cache{std::unique_ptr<IFileTypeSource>(pSource)};
    ScopedFakeCache() { CFileTypeCache::SetGlobal(&cache); }
    ~ScopedFakeCache() { CFileTypeCache::SetGlobal(nullptr); }
    FakeTypeSource& Source() { return *pSource; }
    CFileTypeCache& Cache() { return cache; }
};

// Name, file name, folder, type, icon and open icon of a record.
QString Fields(const CLTDataItem* item)
{
    return QStringList{item->m_strDisplayName,
                       item->m_strFileName,
                       item->m_strFolderPath,
                       item->m_strTypeName,
                       QString::number(item->m_nIconIndex),
                       QString::number(item->m_nOpenIconIndex)}
        .join(u'|');
}

TEST(DataItem, NamesComeFromThePath)
{
    ScopedFakeCache cache;
    CLTDataItem root(u"My Disc"_s, KIND_ROOT, 0, 0);
    EXPECT_EQ(Fields(&root), u"My Disc|My Disc|||0|0");
    EXPECT_FALSE(root.IsFolder() || root.IsFile());
    EXPECT_EQ(cache.Source().fileQueries.size(), 0) << "the root is never looked up";
    CLTDataItem* readme = root.AddChild(u"\\README.TXT"_s, KIND_FILE, 10);
    EXPECT_EQ(Fields(readme), u"README.TXT|README.TXT|\\|txt file (100% sure)|11|11");
    CLTDataItem* video = root.AddChild(u"\\VIDEO_TS"_s, KIND_FOLDER, 2048);
    CLTDataItem* ifo = video->AddChild(u"\\VIDEO_TS\\VTS_01_0.IFO"_s, KIND_FILE, 1);
    // The type text is copied as it is; a percent sign means nothing.
    EXPECT_EQ(Fields(ifo), u"VTS_01_0.IFO|VTS_01_0.IFO|\\VIDEO_TS\\|ifo file (100% sure)|12|12");
    EXPECT_EQ(Fields(video), u"VIDEO_TS|VIDEO_TS|\\|Folder|3|4");
    EXPECT_TRUE(readme->IsFile() && video->IsFolder() && !video->IsFile());
    EXPECT_EQ(ifo->GetParent(), video);
    // The size comes in two 32-bit halves.
    EXPECT_EQ(CLTDataItem(u"\\big.bin"_s, KIND_FILE, 2, 1).m_nSize, 0x100000002ull);

    // A failed type lookup still makes the record, with no icon and type.
    cache.Source().bFail = true;
    EXPECT_EQ(Fields(root.AddChild(u"\\a.pdf"_s, KIND_FILE, 5)), u"a.pdf|a.pdf|\\||0|0");
    EXPECT_EQ(Fields(root.AddChild(u"\\d"_s, KIND_FOLDER, 0)), u"d|d|\\||0|0");
    EXPECT_EQ(root.GetChildCount(), 4);
}

TEST(DataItem, FolderAndNameMakeTheSameRecordAsThePath)
{
    ScopedFakeCache cache;
    CLTDataItem root(u"r"_s, KIND_ROOT, 0, 0);
    const QString folder = u"\\VIDEO_TS\\"_s;
    for (const auto kind : {KIND_FILE, KIND_FOLDER}) {
        for (const QString& name : {u"VTS_01_0.IFO"_s, u"b\u00c4r.\u00e4b"_s, u".profile"_s}) {
            CLTDataItem* whole = root.AddChild(folder + name, kind, 5);
            CLTDataItem* parts = root.AddChild(folder, name, kind, 5);
            EXPECT_EQ(Fields(parts), Fields(whole));
            EXPECT_EQ(parts->m_nSize, 5u);
            EXPECT_EQ(parts->GetParent(), &root);
        }
    }
    EXPECT_EQ(root.m_nFileCount, 6u);
    EXPECT_EQ(root.m_nFolderCount, 6u);
    EXPECT_EQ(root.m_nSize, 12u * 5u);
    // Extensions differing only in case share one cached type, whatever the letters.
    const auto queries = cache.Source().fileQueries.size();
    root.AddChild(folder, u"x.ifo"_s, KIND_FILE, 0);
    root.AddChild(folder, u"y.\u00c4B"_s, KIND_FILE, 0);
    EXPECT_EQ(cache.Source().fileQueries.size(), queries);
}

// Every record of a random tree: sizes include everything below, counts match, parents right.
TEST(DataItem, InvariantsHoldAfterManyAdditions)
{
    ScopedFakeCache cache;
    std::mt19937_64 random(20261205);
    CLTDataItem root(u"root"_s, KIND_ROOT, 0, 0);
    std::map<const CLTDataItem*, std::uint64_t> ownSize{{&root, 0}};
    std::vector<CLTDataItem*> folders{&root};
    for (int i = 0; i < 20000; ++i) {
        CLTDataItem* parent = folders[random() % folders.size()];
        const bool bFolder = random() % 5 == 0;
        // Sizes up to 2^40 so that totals pass 32 bits many times over.
        const std::uint64_t size = random() % (1ull << 40);
        const QString path = parent->m_strFolderPath + parent->m_strFileName + u"\\n%1"_s.arg(i);
        CLTDataItem* child = parent->AddChild(path, bFolder ? KIND_FOLDER : KIND_FILE, size);
        ASSERT_NE(child, nullptr);
        ownSize[child] = size;
        if (bFolder)
            folders.push_back(child);
    }

    std::size_t visited = 0;
    std::function<std::uint64_t(const CLTDataItem*)> check =
        [&](const CLTDataItem* item) -> std::uint64_t {
        ++visited;
        std::uint64_t below = 0;
        std::uint32_t nFolders = 0, nFiles = 0;
        int position = item->GetStartPosition();
        int seen = 0;
        while (const CLTDataItem* child = item->GetNextChild(position)) {
            EXPECT_EQ(child->GetParent(), item);
            EXPECT_EQ(child, item->GetChildAt(seen));
            ++seen;
            nFolders += child->IsFolder();
            nFiles += child->IsFile();
            below += check(child);
        }
        EXPECT_EQ(item->GetNextChild(position), nullptr) << "the end stays the end";
        EXPECT_EQ(seen, item->GetChildCount());
        EXPECT_EQ(item->m_nFolderCount, nFolders);
        EXPECT_EQ(item->m_nFileCount, nFiles);
        EXPECT_EQ(item->m_nSize, ownSize.at(item) + below);
        return item->m_nSize;
    };
    check(&root);
    EXPECT_EQ(visited, ownSize.size());
}

// A double delete trips the sanitizer; a missed one shows in the count.
TEST(DataItem, DestroyingTheRootDestroysEveryRecordOnceWithoutRecursion)
{
    ScopedFakeCache cache;
    const auto before = CLTDataItem::LiveCount();
    {
        // A deep chain linked by hand (AddChild walks it): recursion would run out of stack.
        auto root = std::make_unique<CLTDataItem>(u"root"_s, KIND_ROOT, 0, 0);
        CLTDataItem* item = root.get();
        for (int i = 0; i < 300000; ++i) {
            auto* child = new CLTDataItem(u"\\d"_s, KIND_FOLDER, 0, 0);
            child->SetParent(item);
            item->Children().push_back(child);
            item = child;
        }
        EXPECT_EQ(CLTDataItem::LiveCount() - before, 300001);
    }
    EXPECT_EQ(CLTDataItem::LiveCount(), before);
}

// One entry per extension, whatever its case; programs, icons, links, names without an
// extension, folders and failures are asked for every time.
TEST(FileTypeCache, CachesByExtensionExceptProgramsIconsLinksFoldersAndFailures)
{
    ScopedFakeCache fake;
    FakeTypeSource& source = fake.Source();
    CFileTypeCache& cache = fake.Cache();
    FileTypeInfo a, b;
    ASSERT_TRUE(cache.Lookup(u"\\docs\\a.txt"_s, false, a));
    ASSERT_TRUE(cache.Lookup(u"\\B.TXT"_s, false, b));
    EXPECT_EQ(source.fileQueries, QStringList{u"a.txt"_s}) << "asked once, by the file name";
    EXPECT_EQ(std::pair(a.nIconIndex, a.strTypeName), std::pair(b.nIconIndex, b.strTypeName));
    EXPECT_EQ(b.strKey, u".TXT");
    for (const char* name : {"\\setup.exe", "\\Other.EXE", "\\a.ico", "\\b.ico", "\\c.lnk",
                             "\\d.LNK", "\\setup.exe", "\\Makefile", "\\README"}) {
        const auto before = source.fileQueries.size();
        ASSERT_TRUE(cache.Lookup(QString::fromLatin1(name), false, a));
        EXPECT_EQ(source.fileQueries.size(), before + 1) << name << " must be looked up itself";
    }
    EXPECT_EQ(cache.CachedCount(), 1);

    const auto files = source.fileQueries.size();
    ASSERT_TRUE(cache.Lookup(u"\\A"_s, true, a));
    ASSERT_TRUE(cache.Lookup(u"\\B"_s, true, a));
    EXPECT_EQ(source.folderQueries, 2);
    EXPECT_EQ(std::pair(a.nIconIndex, a.nOpenIconIndex), std::pair(3, 4));
    source.bFail = true;
    FileTypeInfo failed;
    EXPECT_FALSE(cache.Lookup(u"\\x.pdf"_s, false, failed));
    EXPECT_EQ(failed.nIconIndex, 0);
    source.bFail = false;
    EXPECT_TRUE(cache.Lookup(u"\\x.pdf"_s, false, failed));
    EXPECT_EQ(source.fileQueries.size(), files + 2) << "a failed lookup must not be remembered";
}

// The real source: MIME types by name alone (none of these files exists), icons registered.
TEST(MimeTypeSource, TypesFilesByNameAlone)
{
    CMimeTypeSource source;
    int textIcon = 0, isoIcon = 0, folderIcon = 0, openIcon = 0;
    QString textType, isoType, folderType;
    ASSERT_TRUE(source.QueryFile(u"no-such-file.txt"_s, &textIcon, &textType));
    ASSERT_TRUE(source.QueryFile(u"no-such-disc.iso"_s, &isoIcon, &isoType));
    EXPECT_TRUE(!textType.isEmpty() && !isoType.isEmpty() && textType != isoType);
    EXPECT_GT(textIcon, 0);
    EXPECT_NE(textIcon, isoIcon);
    EXPECT_TRUE(CIconRegistry::Instance().Names(textIcon).contains(u"text-plain"));

    ASSERT_TRUE(source.QueryFolder(&folderIcon, &openIcon, &folderType));
    EXPECT_NE(folderIcon, openIcon);
    EXPECT_EQ(CIconRegistry::Instance().Names(folderIcon).first(), u"folder");
    EXPECT_FALSE(folderType.isEmpty());
}

} // namespace
