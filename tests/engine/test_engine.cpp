#include "Checksums.h"
#include "EngineSupport.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LanternDoc.h"
#include "LocalTimeMemo.h"
#include "NamedMutex.h"
#include "QtPrint.h"
#include "TimeZone.h"
#include "TreeSearch.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A tree of N files in the root, with the volume record's counts given.
QString FlatScript(int files, int countedFiles, const QString& extra = QString())
{
    QString s = u"counts 0 %1\n"_s.arg(countedFiles) + extra;
    for (int i = 0; i < files; ++i)
        s += u"file F%1.BIN 1\n"_s.arg(i, 4, 10, QLatin1Char('0'));
    return s;
}

// Loads a tree from `path` into `root` (a fresh one when null).
STATUS Load(CImageEngine& engine, const QString& path, CLTDataItem* root = nullptr)
{
    CLTDataItem fresh(u"r"_s, KIND_ROOT, 0, 0);
    return engine.LoadTree(path, root ? root : &fresh);
}

TEST(ComponentLoader, MissingModuleOrExportLeavesTheEngineWithoutIt)
{
    for (const QString& module :
         {u"/nonexistent/VBE.so"_s, QStringLiteral(LANTERN_NO_EXPORTS_VBE)}) {
        CImageEngine engine(module);
        EXPECT_FALSE(engine.HasSdk()) << module;
        ScriptedImage image(FlatScript(1, 1));
        EXPECT_EQ(Load(engine, image.Path()), STATUS_UNEXPECTED);
        EXPECT_EQ(engine.CanOpenImage(image.Path()), STATUS_UNEXPECTED);
        EXPECT_TRUE(image.Log().isEmpty());
    }
    CComponentLoader loader;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(loader.CreateObject(vbe::CLSID_SdkEngine, vbe::IID_ISdkEngine, &object), STATUS_FAIL);
    EXPECT_EQ(object, nullptr);
}

TEST(LoadTree, BuildsTheTreeBreadthFirstAndSortsEachFolder)
{
    CImageEngine engine(FakeModulePath());
    ASSERT_TRUE(engine.HasSdk());
    ScriptedImage image(u"label   My Disc  \nfile b.txt 5 1600000000\ndir A\n"
                        "file A\\B.TXT 10 1600000001\ndir A\\Empty\ndir a2\nfile A.TXT 3\n"_s);
    CLTDataItem root(u"r"_s, KIND_ROOT, 0, 0);
    ASSERT_EQ(engine.LoadTree(image.Path(), &root), STATUS_OK);
    EXPECT_EQ(root.m_strDisplayName, u"My Disc") << "the label, trimmed";
    EXPECT_EQ(root.m_nSortState[SORT_COLUMN_NAME], 1);
    // Folders first, then files, each by name without regard to case.
    QStringList names;
    for (const CLTDataItem* c : root.m_children)
        names << c->m_strFileName;
    EXPECT_EQ(names.join(u' '), u"A a2 A.TXT b.txt");
    const CLTDataItem* b = root.GetChildAt(0)->GetChildAt(1);
    EXPECT_EQ(b->m_strFolderPath + b->m_strFileName, u"\\A\\B.TXT");
    EXPECT_EQ(b->m_ftModified, UnixTimeToFileTime(1600000001)) << "local time back to UTC";
    EXPECT_EQ(root.GetChildAt(0)->GetChildAt(0)->m_nSortState[SORT_COLUMN_NAME], 0)
        << "an empty folder is not sorted";
    EXPECT_EQ(root.m_nSize, 18u);
    EXPECT_EQ(engine.GetImagePath(), image.Path());
    EXPECT_TRUE(engine.HasImage()) << "the image stays attached for extraction";

    EXPECT_EQ(image.Log().filter(u"findfirst"_s),
              (QStringList{u"findfirst "_s, u"findfirst A"_s, u"findfirst a2"_s,
                           u"findfirst A\\Empty"_s}))
        << "breadth first";

    // An empty root loads, unsorted.
    ScriptedImage none(u"label EMPTY\n"_s);
    CLTDataItem empty(u"r"_s, KIND_ROOT, 0, 0);
    EXPECT_EQ(engine.LoadTree(none.Path(), &empty), STATUS_OK);
    EXPECT_EQ(empty.GetChildCount(), 0);
    EXPECT_EQ(empty.m_nSortState[SORT_COLUMN_NAME], 0);
}

TEST(LoadTree, PercentFollowsTheEntriesAndStaysInBounds)
{
    CImageEngine engine(FakeModulePath());
    std::vector<int> percents;
    engine.SetMessagePump([&] {
        int p = -1;
        engine.GetProgress(PROGRESS_LOAD, &p);
        percents.push_back(p);
    });
    // The scan reports up to 1.7: the attach part must still stop at 50.
    ScriptedImage image(FlatScript(1000, 1000, u"scan 10 1.7\n"_s));
    ASSERT_EQ(Load(engine, image.Path()), STATUS_OK);
    ASSERT_EQ(percents.size(), 10u + 1000u);
    EXPECT_LE(*std::max_element(percents.begin(), percents.begin() + 10), 50);
    EXPECT_EQ(percents[10 + 499], 75) << "after the 500th of 1000 entries";
    EXPECT_EQ(percents.back(), 100);

    // More entries than the volume record counts: never above 100.
    percents.clear();
    ScriptedImage more(FlatScript(40, 10));
    ASSERT_EQ(Load(engine, more.Path()), STATUS_OK);
    EXPECT_LE(*std::max_element(percents.begin(), percents.end()), 100);

    // A record that counts nothing keeps the percent where the scan left it.
    percents.clear();
    ScriptedImage none(FlatScript(5, 0));
    ASSERT_EQ(Load(engine, none.Path()), STATUS_OK);
    EXPECT_EQ(percents.back(), 50);

    int untouched = 1234;
    EXPECT_EQ(engine.GetProgress(4999, &untouched), STATUS_OK);
    EXPECT_EQ(untouched, 1234);
}

// Cancelled before the first wait, the scan is aborted and nothing is
// added; between entries, what was added stays. Either way the image is
// let go, its mutex with it.
TEST(LoadTree, CancelAbortsAndDetaches)
{
    CImageEngine engine(FakeModulePath());
    NotifyLog notes;
    notes.Attach(engine);
    notes.onEvent = [&](std::uint32_t code) {
        if (code == NOTIFY_OPEN_BEGIN)
            engine.SetCancel(true);
    };
    ScriptedImage image(FlatScript(10, 10));
    CLTDataItem root(u"r"_s, KIND_ROOT, 0, 0);
    EXPECT_EQ(engine.LoadTree(image.Path(), &root), STATUS_CANCELLED);
    EXPECT_EQ(notes.ParamOf(NOTIFY_OPEN_BEGIN), image.Path());
    EXPECT_TRUE(notes.Has(NOTIFY_CANCELLING));
    EXPECT_EQ(image.Count(u"abort"_s), 1);
    EXPECT_EQ(image.Count(u"endtask"_s), 1);
    EXPECT_EQ(image.Count(u"findfirst"_s), 0);
    EXPECT_FALSE(engine.HasImage());
    EXPECT_EQ(root.GetChildCount(), 0);

    notes.onEvent = nullptr;
    int pumps = 0;
    engine.SetMessagePump([&] {
        if (engine.IsLoading() && ++pumps == 3 + 2) // two scan steps, then entries
            engine.SetCancel(true);
    });
    EXPECT_EQ(engine.LoadTree(image.Path(), &root), STATUS_CANCELLED);
    EXPECT_EQ(root.GetChildCount(), 3);
    EXPECT_FALSE(engine.HasImage());
    engine.SetMessagePump(nullptr);
    EXPECT_EQ(Load(engine, image.Path()), STATUS_OK);
}

TEST(LoadTree, FailuresDetachAndPassTheStatusOn)
{
    for (const auto& [fault, expected] : {std::pair{"open * 80070005", 0x80070005u},
                                          {"endtask * eb010002", 0xEB010002u},
                                          {"volume * 80004005", 0x80004005u},
                                          {"findfirst D 80070017", 0x80070017u}}) {
        CImageEngine engine(FakeModulePath());
        ScriptedImage image(u"fail %1\ndir D\nfile D\\x 1\n"_s.arg(QLatin1String(fault)));
        EXPECT_EQ(Load(engine, image.Path()), static_cast<STATUS>(expected)) << fault;
        EXPECT_TRUE(!engine.HasImage() && engine.GetImagePath().isEmpty()) << fault;
    }
}

// The per-image mutex keeps a second open of the same image out, from any
// process of the user, before the module is asked anything.
TEST(AttachImage, SecondOpenFromAnotherProcessIsRefused)
{
    ScriptedImage image(FlatScript(2, 2));
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CImageEngine holder(FakeModulePath());
        const char ok = Load(holder, image.Path()) == STATUS_OK ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    image.ClearLog();

    CImageEngine engine(FakeModulePath());
    EXPECT_EQ(Load(engine, image.Path()), STATUS_FAIL);
    EXPECT_TRUE(image.Log().isEmpty()) << "the module was asked: " << image.Log();

    (void)!write(release[1], "x", 1);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(Load(engine, image.Path()), STATUS_OK) << "the holder's mutex went with it";
}

TEST(NamedMutex, HeldUntilItsHolderEnds)
{
    for (const QString& name :
         {u"lantern-test-%1"_s.arg(getpid()), u"Global\\lantern-test-%1"_s.arg(getpid())}) {
        CNamedMutex::Result result;
        auto first = CNamedMutex::Create(name, &result);
        ASSERT_TRUE(first) << name;
        EXPECT_EQ(result, CNamedMutex::Result::Created);
        EXPECT_FALSE(CNamedMutex::Create(name, &result));
        EXPECT_EQ(result, CNamedMutex::Result::AlreadyExists) << "also within one process";
        first.reset();
        EXPECT_TRUE(CNamedMutex::Create(name, &result));

        // A holder that dies without letting go still releases it.
        const pid_t child = fork();
        if (child == 0) {
            auto held = CNamedMutex::Create(name, &result);
            _exit(held ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(CNamedMutex::Create(name, &result)) << name;
    }
    // Names of any characters get distinct, safe files.
    EXPECT_NE(CNamedMutex::LockFilePath(u"a/b"_s), CNamedMutex::LockFilePath(u"a-b"_s));
    EXPECT_TRUE(CNamedMutex::LockFilePath(QString(5000, QLatin1Char('x'))).size() < 4096);
}

class RecordingView : public CViewBase
{
public:
    std::vector<std::intptr_t> hints;
    void OnUpdate(CViewBase*, std::intptr_t lHint) override { hints.push_back(lHint); }
};

TEST(LanternDoc, ResetLeavesALoneRootAndUpdatesSkipTheSender)
{
    CLanternDoc doc;
    doc.m_pCurrentFolder = doc.m_pRootItem->AddChild(u"\\A"_s, KIND_FOLDER, 0);
    doc.ResetTree();
    EXPECT_EQ(doc.m_pCurrentFolder, nullptr);
    EXPECT_EQ(doc.m_pRootItem->GetChildCount(), 0);
    EXPECT_EQ(doc.m_pRootItem->m_nKind, KIND_ROOT);
    RecordingView a, b;
    doc.AddView(&a);
    doc.AddView(&b);
    doc.AddView(&b);
    doc.UpdateAllViews(&a, HINT_FOLDER_CHANGED);
    doc.UpdateAllViews(nullptr, HINT_IMAGE_RELOADED);
    EXPECT_EQ(a.hints, (std::vector<std::intptr_t>{HINT_IMAGE_RELOADED}));
    EXPECT_EQ(b.hints, (std::vector<std::intptr_t>{HINT_FOLDER_CHANGED, HINT_IMAGE_RELOADED}));
    {
        RecordingView gone;
        doc.AddView(&gone);
    }
    EXPECT_EQ(doc.Views().size(), 2u) << "a destroyed view leaves its document";
}

// In a zone with summer time: the hour skipped in spring and the one
// repeated in autumn, fractions, times that share a slot of the memo, and
// times that cannot be converted.
TEST(LocalTimeMemo, AnswersAsTheConversion)
{
    const ScopedTimeZone zone("Europe/Berlin");
    std::vector<FILETIME64> locals;
    for (const SYSTEMTIME st :
         {SYSTEMTIME{2021, 3, 0, 28, 2, 30, 0, 0}, SYSTEMTIME{2021, 10, 0, 31, 2, 30, 0, 0},
          SYSTEMTIME{2021, 10, 0, 31, 3, 0, 0, 999}, SYSTEMTIME{1969, 12, 0, 31, 23, 59, 59, 0},
          SYSTEMTIME{2024, 7, 0, 1, 12, 0, 0, 123}}) {
        FILETIME64 ft = 0;
        ASSERT_TRUE(SystemTimeToFileTime(st, &ft));
        locals.push_back(ft);
        locals.push_back(ft + 256 * FILETIME_TICKS_PER_SECOND); // the same slot
        locals.push_back(ft + 1234567);
    }
    locals.push_back(0);
    locals.push_back(0x8000000000000000ULL + 5);
    CLocalTimeMemo memo;
    for (int pass = 0; pass < 2; ++pass) {
        for (const FILETIME64 local : locals) {
            FILETIME64 expected = 77, got = 77;
            const bool bExpected = LocalFileTimeToFileTime(local, &expected);
            EXPECT_EQ(memo.ToUtc(local, &got), bExpected) << local;
            EXPECT_EQ(got, expected) << local;
        }
    }
}

TEST(ItemOrdering, KindFirstThenTheColumn)
{
    CLTDataItem folder(u"r"_s, KIND_ROOT, 0, 0);
    for (const auto& [name, kind, size, time] : {std::tuple{"\\9.txt", KIND_FILE, 300, 9},
                                                 {"\\10.txt", KIND_FILE, 20, 1},
                                                 {"\\big", KIND_FOLDER, 5000, 3},
                                                 {"\\Alpha.txt", KIND_FILE, 20000, 5},
                                                 {"\\alpha", KIND_FOLDER, 1, 2}})
        folder.AddChild(QLatin1String(name), kind, size)->m_ftModified = time;
    // Digits compare as characters, letters without case; descending puts
    // files first, the largest on top.
    QStringList orders;
    for (const auto& [column, direction] : {std::pair{SORT_COLUMN_NAME, 1},
                                            {SORT_COLUMN_SIZE, 1},
                                            {SORT_COLUMN_SIZE, -1},
                                            {SORT_COLUMN_MODIFIED, 1}}) {
        SortChildren(&folder, column, direction);
        QStringList names;
        for (const CLTDataItem* c : folder.m_children)
            names << c->m_strFileName;
        orders << names.join(u' ');
    }
    EXPECT_EQ(orders, (QStringList{u"alpha big 10.txt 9.txt Alpha.txt"_s,
                                   u"alpha big 10.txt 9.txt Alpha.txt"_s,
                                   u"Alpha.txt 9.txt 10.txt big alpha"_s,
                                   u"alpha big 10.txt Alpha.txt 9.txt"_s}));
    EXPECT_EQ(GetItemOrdering(7, 1), nullptr);

    // Names compare as lower case: '_' lies between the upper- and the
    // lower-case letters, and a prefix comes first.
    for (const auto& [a, b, sign] : {std::tuple{u"_a", u"Ba", -1},
                                     {u"b", u"_", 1},
                                     {u"\u00e4b", u"\u00c4a", 1},
                                     {u"Z", u"\u00e4", -1},
                                     {u"ab", u"AB_", -1},
                                     {u"\u00c4rger", u"\u00e4RGER", 0}}) {
        const int r = CompareNoCase(QString::fromUtf16(a), QString::fromUtf16(b));
        EXPECT_EQ((r > 0) - (r < 0), sign) << QString::fromUtf16(a) << " " << QString::fromUtf16(b);
    }
}

} // namespace

// The forms distributions write their lists in; what fits none is passed over.
TEST(ChecksumList, ReadsCoreutilsAndBsdLines)
{
    const QByteArray md5(32, 'a'), sha1(40, 'b'), sha256(64, 'C'), sha512(128, 'd');
    const QByteArray text =
        "-----BEGIN PGP SIGNED MESSAGE-----\n# comment\n" + md5 + "  ./isolinux/boot.cat\r\n" +
        sha1 + " *bin/x y\n" + "SHA256 (dists/Release) = " + sha256 + "\n" + sha512 + "  big\n" +
        md5 + " no-mode\n" + "MD5 (short) = abc\n" + "zz" + md5.mid(2) + "  not-hex\n";
    std::vector<std::pair<DigestKind, QString>> read;
    for (const CListedDigest& d : ParseChecksumList(text))
        read.emplace_back(d.kind, d.strPath + u':' + d.strHash.left(1));
    const std::vector<std::pair<DigestKind, QString>> expected = {
        {DigestKind::Md5, u"isolinux/boot.cat:a"_s},
        {DigestKind::Sha1, u"bin/x y:b"_s},
        {DigestKind::Sha256, u"dists/Release:c"_s},
        {DigestKind::Sha512, u"big:d"_s}};
    EXPECT_EQ(read, expected);
}

// Plain text is found anywhere in a name, wildcards match the whole name;
// both ignore case, and a star gives back what the rest needs.
TEST(TreeSearch, PatternsMatchAsTheShellDoes)
{
    const struct
    {
        const char16_t* pattern;
        const char16_t* name;
        bool match;
    } cases[] = {
        {u"note", u"MyNotes.TXT", true}, {u"*.txt", u"a.TXT", true},
        {u"*.txt", u"a.txt.gz", false},  {u"a*b*c", u"aXbYbZc", true},
        {u"a*b*c", u"aXbYbZ", false},    {u"?.iso", u"ab.iso", false},
        {u"??.iso", u"ab.iso", true},    {u"*", u"", true},
        {u"Ä*", u"äpfel", true},         {u"x", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CNamePattern(QString::fromUtf16(c.pattern)).Matches(QString::fromUtf16(c.name)),
                  c.match)
            << QString::fromUtf16(c.pattern).toStdString() << " "
            << QString::fromUtf16(c.name).toStdString();
}
