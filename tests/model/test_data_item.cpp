#include "FakeTypeSource.h"
#include "LTDataItem.h"
#include "QtPrint.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace Qt::StringLiterals;

namespace {

TEST(DataItem, NamesComeFromThePath)
{
    ScopedFakeCache cache;
    CLTDataItem root(u"My Disc"_s, KIND_ROOT, 0, 0);
    EXPECT_EQ(root.m_strDisplayName, u"My Disc");
    EXPECT_TRUE(root.m_strFolderPath.isEmpty());
    EXPECT_FALSE(root.IsFolder() || root.IsFile());
    EXPECT_EQ(cache.Source().fileQueries.size(), 0) << "the root is never looked up";

    CLTDataItem* readme = root.AddChild(u"\\README.TXT"_s, KIND_FILE, 10);
    EXPECT_EQ(readme->m_strDisplayName, u"README.TXT");
    EXPECT_EQ(readme->m_strFileName, u"README.TXT");
    EXPECT_EQ(readme->m_strFolderPath, u"\\");
    EXPECT_TRUE(readme->IsFile());
    CLTDataItem* video = root.AddChild(u"\\VIDEO_TS"_s, KIND_FOLDER, 2048);
    CLTDataItem* ifo = video->AddChild(u"\\VIDEO_TS\\VTS_01_0.IFO"_s, KIND_FILE, 1);
    EXPECT_EQ(ifo->m_strFolderPath, u"\\VIDEO_TS\\");
    EXPECT_EQ(ifo->m_strFileName, u"VTS_01_0.IFO");
    EXPECT_EQ(ifo->GetParent(), video);
    EXPECT_TRUE(video->IsFolder());
    EXPECT_EQ(video->m_nIconIndex, 3);
    EXPECT_EQ(video->m_nOpenIconIndex, 4);
    // The type text is copied as it is; a percent sign means nothing.
    EXPECT_EQ(ifo->m_strTypeName, u"ifo file (100% sure)");
    EXPECT_EQ(ifo->m_nOpenIconIndex, ifo->m_nIconIndex);
    // The size comes in two 32-bit halves.
    EXPECT_EQ(CLTDataItem(u"\\big.bin"_s, KIND_FILE, 2, 1).m_nSize, 0x100000002ull);

    // A failed type lookup still makes the record, with no icon and type.
    cache.Source().bFail = true;
    CLTDataItem* file = root.AddChild(u"\\a.pdf"_s, KIND_FILE, 5);
    CLTDataItem* folder = root.AddChild(u"\\d"_s, KIND_FOLDER, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(file->m_nIconIndex, 0);
    EXPECT_TRUE(file->m_strTypeName.isEmpty());
    EXPECT_EQ(folder->m_nIconIndex, 0);
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
            auto fields = [](const CLTDataItem* item) {
                return QStringList{item->m_strDisplayName,
                                   item->m_strFileName,
                                   item->m_strFolderPath,
                                   item->m_strTypeName,
                                   QString::number(item->m_nIconIndex),
                                   QString::number(item->m_nOpenIconIndex)};
            };
            EXPECT_EQ(fields(parts), fields(whole));
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
    root.AddChild(folder, u"x.ifo"_s, KIND_FILE, 0);
    root.AddChild(folder, u"y.\u00c4B"_s, KIND_FILE, 0);
    EXPECT_EQ(cache.Source().fileQueries.size(), queries);
}

// Builds a random tree and checks every invariant of every record: each
// folder's size is its own size plus everything below it, the counts match
// the children, and every child points back at its parent.
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

// A double delete would trip the sanitizer; a missed one shows in the
// count and as a leak.
TEST(DataItem, DestroyingTheRootDestroysEveryRecordOnceWithoutRecursion)
{
    ScopedFakeCache cache;
    const auto before = CLTDataItem::LiveCount();
    {
        // A deep chain, linked by hand: AddChild would walk the whole chain
        // per record. A destructor that recursed would run out of stack.
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

} // namespace
