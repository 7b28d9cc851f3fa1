#include "FakeTypeSource.h"
#include "LTDataItem.h"
#include "QtPrint.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>

namespace {

TEST(DataItem, NamesComeFromThePath)
{
    ScopedFakeCache cache;
    CLTDataItem root(QStringLiteral("My Disc"), KIND_ROOT, 0, 0);
    EXPECT_EQ(root.m_strDisplayName, u"My Disc");
    EXPECT_EQ(root.m_strFileName, u"My Disc");
    EXPECT_TRUE(root.m_strFolderPath.isEmpty());
    EXPECT_FALSE(root.IsFolder());
    EXPECT_FALSE(root.IsFile());
    EXPECT_EQ(root.m_nIconIndex, 0);
    EXPECT_TRUE(root.m_strTypeName.isEmpty());
    EXPECT_EQ(cache.Source().fileQueries.size(), 0) << "the root is never looked up";

    CLTDataItem* readme = root.AddChild(QStringLiteral("\\README.TXT"), KIND_FILE, 10);
    EXPECT_EQ(readme->m_strDisplayName, u"README.TXT");
    EXPECT_EQ(readme->m_strFileName, u"README.TXT");
    EXPECT_EQ(readme->m_strFolderPath, u"\\");
    EXPECT_TRUE(readme->IsFile());

    CLTDataItem* video = root.AddChild(QStringLiteral("\\VIDEO_TS"), KIND_FOLDER, 2048);
    CLTDataItem* ifo = video->AddChild(QStringLiteral("\\VIDEO_TS\\VTS_01_0.IFO"), KIND_FILE, 1);
    EXPECT_EQ(ifo->m_strFolderPath, u"\\VIDEO_TS\\");
    EXPECT_EQ(ifo->m_strFileName, u"VTS_01_0.IFO");
    EXPECT_EQ(ifo->GetParent(), video);
    EXPECT_TRUE(video->IsFolder());
    EXPECT_EQ(video->m_nIconIndex, 3);
    EXPECT_EQ(video->m_nOpenIconIndex, 4);
    // The type text is copied as it is; a percent sign means nothing.
    EXPECT_EQ(ifo->m_strTypeName, u"ifo file (100% sure)");
    EXPECT_EQ(ifo->m_nOpenIconIndex, ifo->m_nIconIndex);
    EXPECT_EQ(ifo->m_ftModified, 0u);
}

TEST(DataItem, FolderAndNameMakeTheSameRecordAsThePath)
{
    ScopedFakeCache cache;
    CLTDataItem root(QStringLiteral("r"), KIND_ROOT, 0, 0);
    const QString folder = QStringLiteral("\\VIDEO_TS\\");
    for (const auto kind : {KIND_FILE, KIND_FOLDER}) {
        for (const QString& name :
             {QStringLiteral("VTS_01_0.IFO"), QStringLiteral("b\u00c4r.\u00e4b"),
              QStringLiteral(".profile")}) {
            CLTDataItem* whole = root.AddChild(folder + name, kind, 5);
            CLTDataItem* parts = root.AddChild(folder, name, kind, 5);
            EXPECT_EQ(parts->m_strDisplayName, whole->m_strDisplayName) << name;
            EXPECT_EQ(parts->m_strFileName, whole->m_strFileName) << name;
            EXPECT_EQ(parts->m_strFolderPath, whole->m_strFolderPath) << name;
            EXPECT_EQ(parts->m_strTypeName, whole->m_strTypeName) << name;
            EXPECT_EQ(parts->m_nIconIndex, whole->m_nIconIndex) << name;
            EXPECT_EQ(parts->m_nOpenIconIndex, whole->m_nOpenIconIndex) << name;
            EXPECT_EQ(parts->m_nSize, 5u);
            EXPECT_EQ(parts->GetParent(), &root);
        }
    }
    EXPECT_EQ(root.m_nFileCount, 6u);
    EXPECT_EQ(root.m_nFolderCount, 6u);
    EXPECT_EQ(root.m_nSize, 12u * 5u);
    // Extensions that differ only in case are one cached type, whatever the
    // letters (".ifo", ".IFO"; ".\u00e4b", ".\u00c4B").
    const auto queries = cache.Source().fileQueries.size();
    root.AddChild(folder, QStringLiteral("x.ifo"), KIND_FILE, 0);
    root.AddChild(folder, QStringLiteral("y.\u00c4B"), KIND_FILE, 0);
    EXPECT_EQ(cache.Source().fileQueries.size(), queries);
}

TEST(DataItem, FailedTypeLookupStillMakesTheRecord)
{
    ScopedFakeCache cache;
    cache.Source().bFail = true;
    CLTDataItem root(QStringLiteral("root"), KIND_ROOT, 0, 0);
    CLTDataItem* file = root.AddChild(QStringLiteral("\\a.bin"), KIND_FILE, 5);
    CLTDataItem* folder = root.AddChild(QStringLiteral("\\d"), KIND_FOLDER, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(file->m_nIconIndex, 0);
    EXPECT_EQ(file->m_nOpenIconIndex, 0);
    EXPECT_TRUE(file->m_strTypeName.isEmpty());
    EXPECT_EQ(folder->m_nIconIndex, 0);
    EXPECT_EQ(root.GetChildCount(), 2);
}

TEST(DataItem, SizeHalvesAreJoined)
{
    ScopedFakeCache cache;
    CLTDataItem big(QStringLiteral("\\big.bin"), KIND_FILE, 0x00000002u, 0x00000001u);
    EXPECT_EQ(big.m_nSize, 0x100000002ull);
}

TEST(DataItem, FolderSizesIncludeEverythingBelow)
{
    ScopedFakeCache cache;
    CLTDataItem root(QStringLiteral("root"), KIND_ROOT, 7, 0);
    CLTDataItem* folder = root.AddChild(QStringLiteral("\\F"), KIND_FOLDER, 2048);
    folder->AddChild(QStringLiteral("\\F\\a"), KIND_FILE, 100);
    folder->AddChild(QStringLiteral("\\F\\b"), KIND_FILE, 200);
    CLTDataItem* sub = folder->AddChild(QStringLiteral("\\F\\S"), KIND_FOLDER, 2048);
    sub->AddChild(QStringLiteral("\\F\\S\\c"), KIND_FILE, 50);
    EXPECT_EQ(sub->m_nSize, 2048u + 50);
    EXPECT_EQ(folder->m_nSize, 350u + 2048 + 2048);
    EXPECT_EQ(root.m_nSize, 7u + 350 + 2048 + 2048);
    EXPECT_EQ(folder->m_nFileCount, 2u);
    EXPECT_EQ(folder->m_nFolderCount, 1u);
}

// Builds a random tree and checks every invariant of every record: each
// folder's size is its own size plus everything below it, the counts match
// the children, and every child points back at its parent.
TEST(DataItem, InvariantsHoldAfterManyAdditions)
{
    ScopedFakeCache cache;
    std::mt19937_64 random(20261205);
    CLTDataItem root(QStringLiteral("root"), KIND_ROOT, 0, 0);
    std::map<const CLTDataItem*, std::uint64_t> ownSize{{&root, 0}};
    std::vector<CLTDataItem*> folders{&root};
    for (int i = 0; i < 20000; ++i) {
        CLTDataItem* parent = folders[random() % folders.size()];
        const bool bFolder = random() % 5 == 0;
        // Sizes up to 2^40 so that totals pass 32 bits many times over.
        const std::uint64_t size = random() % (1ull << 40);
        const QString path =
            parent->m_strFolderPath + parent->m_strFileName + QStringLiteral("\\n%1").arg(i);
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
        EXPECT_EQ(seen, item->GetChildCount());
        EXPECT_EQ(item->m_nFolderCount, nFolders);
        EXPECT_EQ(item->m_nFileCount, nFiles);
        EXPECT_EQ(item->m_nSize, ownSize.at(item) + below);
        return item->m_nSize;
    };
    check(&root);
    EXPECT_EQ(visited, ownSize.size());
}

TEST(DataItem, DestroyingTheRootDestroysEveryRecordOnce)
{
    ScopedFakeCache cache;
    const auto before = CLTDataItem::LiveCount();
    {
        auto root = std::make_unique<CLTDataItem>(QStringLiteral("root"), KIND_ROOT, 0, 0);
        // A wide tree: 100 folders of 999 files.
        for (int f = 0; f < 100; ++f) {
            const QString folderPath = QStringLiteral("\\f%1").arg(f);
            CLTDataItem* folder = root->AddChild(folderPath, KIND_FOLDER, 0);
            for (int i = 0; i < 999; ++i)
                folder->AddChild(folderPath + QStringLiteral("\\x%1.txt").arg(i), KIND_FILE, 1);
        }
        EXPECT_EQ(CLTDataItem::LiveCount() - before, 100001);
    }
    // A double delete would trip the sanitizer; a missed one shows here and
    // as a leak.
    EXPECT_EQ(CLTDataItem::LiveCount(), before);
}

TEST(DataItem, DeepChainIsDestroyedWithoutRecursion)
{
    ScopedFakeCache cache;
    const auto before = CLTDataItem::LiveCount();
    {
        // Linked by hand: AddChild would walk the whole chain per record. A
        // destructor that recursed would run out of stack at this depth.
        auto root = std::make_unique<CLTDataItem>(QStringLiteral("root"), KIND_ROOT, 0, 0);
        CLTDataItem* item = root.get();
        for (int i = 0; i < 300000; ++i) {
            auto* child = new CLTDataItem(QStringLiteral("\\d"), KIND_FOLDER, 0, 0);
            child->SetParent(item);
            item->Children().push_back(child);
            item = child;
        }
        EXPECT_EQ(CLTDataItem::LiveCount() - before, 300001);
    }
    EXPECT_EQ(CLTDataItem::LiveCount(), before);
}

TEST(DataItem, IterationEndsAtTheEnd)
{
    ScopedFakeCache cache;
    CLTDataItem root(QStringLiteral("root"), KIND_ROOT, 0, 0);
    int position = root.GetStartPosition();
    EXPECT_EQ(root.GetNextChild(position), nullptr);
    CLTDataItem* a = root.AddChild(QStringLiteral("\\a"), KIND_FILE, 0);
    position = root.GetStartPosition();
    EXPECT_EQ(root.GetNextChild(position), a);
    EXPECT_EQ(root.GetNextChild(position), nullptr);
    EXPECT_EQ(root.GetNextChild(position), nullptr);
}

} // namespace
