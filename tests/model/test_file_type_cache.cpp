#include "FakeTypeSource.h"
#include "IconRegistry.h"
#include "LTDataItem.h"
#include "QtPrint.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(FileTypeCache, ExtensionKey)
{
    QStringList keys;
    for (const char* path : {"\\a\\b.txt", "\\a.b\\README", "\\x.tar.gz", "\\.profile", "\\ends."})
        keys << CFileTypeCache::ExtensionKey(QString::fromLatin1(path));
    EXPECT_EQ(keys.join(u' '), u".TXT  .GZ .PROFILE .");
}

TEST(FileTypeCache, CachesByExtensionExceptProgramsIconsAndLinks)
{
    ScopedFakeCache fake;
    FakeTypeSource& source = fake.Source();
    CFileTypeCache& cache = fake.Cache();
    FileTypeInfo a, b;

    ASSERT_TRUE(cache.Lookup(u"\\docs\\a.txt"_s, false, a));
    ASSERT_TRUE(cache.Lookup(u"\\B.TXT"_s, false, b));
    EXPECT_EQ(source.fileQueries.size(), 1) << ".txt and .TXT share one entry";
    EXPECT_EQ(std::pair(a.nIconIndex, a.strTypeName), std::pair(b.nIconIndex, b.strTypeName));
    EXPECT_EQ(b.strKey, u".TXT");
    // The source is asked by the file name alone.
    EXPECT_EQ(source.fileQueries.first(), u"a.txt");

    for (const char* name :
         {"\\setup.exe", "\\Other.EXE", "\\a.ico", "\\b.ico", "\\c.lnk", "\\d.LNK"}) {
        const auto before = source.fileQueries.size();
        FileTypeInfo info;
        ASSERT_TRUE(cache.Lookup(QString::fromLatin1(name), false, info));
        EXPECT_EQ(source.fileQueries.size(), before + 1) << name << " must be looked up itself";
    }
    FileTypeInfo again;
    cache.Lookup(u"\\setup.exe"_s, false, again);
    EXPECT_EQ(source.fileQueries.size(), 8) << "a program is looked up every time";
    cache.Lookup(u"\\Makefile"_s, false, again);
    cache.Lookup(u"\\README"_s, false, again);
    EXPECT_EQ(source.fileQueries.size(), 10) << "names without extension are typed one by one";
    EXPECT_EQ(cache.CachedCount(), 1);
}

TEST(FileTypeCache, FoldersAndFailuresAreNeverCached)
{
    ScopedFakeCache fake;
    FakeTypeSource& source = fake.Source();
    CFileTypeCache& cache = fake.Cache();
    FileTypeInfo info;
    ASSERT_TRUE(cache.Lookup(u"\\A"_s, true, info));
    ASSERT_TRUE(cache.Lookup(u"\\B"_s, true, info));
    EXPECT_EQ(source.folderQueries, 2);
    EXPECT_EQ(std::pair(info.nIconIndex, info.nOpenIconIndex), std::pair(3, 4));
    EXPECT_TRUE(source.fileQueries.isEmpty());

    source.bFail = true;
    FileTypeInfo failed;
    EXPECT_FALSE(cache.Lookup(u"\\x.pdf"_s, false, failed));
    EXPECT_EQ(failed.nIconIndex, 0);
    source.bFail = false;
    EXPECT_TRUE(cache.Lookup(u"\\x.pdf"_s, false, failed));
    EXPECT_EQ(source.fileQueries.size(), 2) << "a failed lookup must not be remembered";
}

// The real source: types from the MIME database by name, icons through the
// registry, nothing read from disk (none of these files exists).
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
