// Find, Checksum and Verify through the window's own commands, on images
// genisoimage makes from a tree the test writes, read by the real module.

#include "AppFixtures.h"
#include "Hashlib.h"
#include "ResultListDlg.h"
#include "TreeFixtures.h"

#include <QLineEdit>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

// Two images of one tree: "good" with a true md5sum.txt, "bad" where one
// listed file changed and one is gone.
class FindAndVerify : public Frame
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new ScratchDir;
        s_tree = s_dir->filePath(u"tree"_s);
        QByteArray random(200000, '\0');
        for (int i = 0; i < random.size(); ++i)
            random[i] = static_cast<char>((i * 2654435761u) >> 11);
        for (const auto& [name, bytes] : std::initializer_list<std::pair<QString, QByteArray>>{
                 {u"readme.txt"_s, "hello\n"},
                 {u"Docs/Note.txt"_s, "abc"},
                 {u"Docs/deep/NOTE.bin"_s, random},
                 {u"Docs/other.dat"_s, "x"}})
            WriteBytes(s_tree + u'/' + name, bytes);
        QFile::setPermissions(s_tree + u"/Docs/Note.txt"_s,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const QString opts = u"-quiet -R -J"_s;
        s_ok = WriteMd5List(s_tree) && QFile::link(u"../readme.txt"_s, s_tree + u"/Docs/link"_s) &&
               Sh(u"genisoimage -quiet -J -o '%1/joliet.iso' '%2' && "
                  "genisoimage -quiet -udf -o '%1/udf.iso' '%2'"_s.arg(s_dir->path(), s_tree)) &&
               Sh(u"genisoimage %1 -o '%2/good.iso' '%3' && cp -a '%3' '%2/bad' && "
                  "echo changed >> '%2/bad/Docs/other.dat' && rm '%2/bad/readme.txt' && "
                  "genisoimage %1 -o '%2/bad.iso' '%2/bad'"_s.arg(opts, s_dir->path(), s_tree));
    }
    static void TearDownTestSuite() { delete s_dir; }
    void SetUp() override
    {
        if (!s_ok)
            GTEST_SKIP() << "genisoimage or python3 is missing";
        Frame::SetUp();
    }
    QString ModulePath() const override { return RealModulePath(); }
    static QString Image(const char* name) { return s_dir->filePath(QString::fromLatin1(name)); }

    // Types into the search line and waits for the search to end; the
    // results as "folder name", sorted.
    QStringList Find(const QString& text)
    {
        List()->FindLine()->clear();
        QTest::keyClicks(List()->FindLine(), text);
        EXPECT_TRUE(WaitFor([this] { return !List()->FindRunning(); }));
        QStringList found;
        for (int row = 0; row < List()->Model()->rowCount(); ++row) {
            const QModelIndex name = List()->Model()->index(row, 0);
            found << name.siblingAtColumn(CFileListModel::kFolderColumn).data().toString() + u' ' +
                         name.data().toString();
        }
        found.sort();
        return found;
    }
    // Runs a command and reads the result window it raises: its summary,
    // then its rows as Copy puts them on the clipboard, sorted.
    QStringList Results(int id, std::vector<ModalAnswerer::Step> before = {})
    {
        QStringList seen;
        before.push_back([&seen](QWidget* w) {
            auto* dlg = qobject_cast<CResultListDlg*>(w);
            ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
            seen = dlg->CopiedText().split(u'\n', Qt::SkipEmptyParts);
            seen.sort();
            seen.prepend(dlg->Summary());
            dlg->reject();
        });
        ModalAnswerer answerer(std::move(before));
        Trigger(id);
        EXPECT_EQ(answerer.Forced(), 0);
        return seen;
    }

    static inline ScratchDir* s_dir = nullptr;
    static inline QString s_tree;
    static inline bool s_ok = false;
};

TEST_F(FindAndVerify, FindSearchesTheWholeImageAndLeadsToTheFolder)
{
    Open(Image("good.iso"));
    Trigger(ID_FIND);
    ASSERT_TRUE(List()->FindLine()->isVisible());
    const struct
    {
        const char* text;
        QStringList found;
    } cases[] = {
        {"note", {u"/Docs Note.txt"_s, u"/Docs/deep NOTE.bin"_s}},
        {"*.TXT", {u"/ md5sum.txt"_s, u"/ readme.txt"_s, u"/Docs Note.txt"_s}},
        {"?ote*", {u"/Docs Note.txt"_s, u"/Docs/deep NOTE.bin"_s}},
        {"d*", {u"/ Docs"_s, u"/Docs deep"_s}},
        {"*.dat?", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(QString::fromLatin1(c.text)), c.found) << c.text;

    // Extract works on results as on any rows, byte for byte.
    Find(u"note"_s);
    SelectRows({u"Note.txt"_s, u"NOTE.bin"_s});
    ScratchDir out;
    EXPECT_EQ(ExtractTo(out.path())->Handled(), 1);
    EXPECT_EQ(ReadBytes(out.filePath(u"NOTE.bin"_s)), ReadBytes(s_tree + u"/Docs/deep/NOTE.bin"_s));
    EXPECT_EQ(ReadBytes(out.filePath(u"Note.txt"_s)), "abc");

    // Enter on a result opens its folder with it selected; the search ends.
    SelectRows({u"NOTE.bin"_s});
    List()->ListCtrl()->setCurrentIndex(List()->ListCtrl()->selectionModel()->selectedRows()[0]);
    QTest::keyClick(List()->ListCtrl(), Qt::Key_Return);
    EXPECT_FALSE(List()->ShowsResults());
    EXPECT_FALSE(List()->FindLine()->isVisible());
    ASSERT_EQ(m_doc.m_pCurrentFolder->m_strFileName, u"deep");
    ASSERT_EQ(List()->SelectedRecords().size(), 1);
    EXPECT_EQ(List()->SelectedRecords()[0]->m_strFileName, u"NOTE.bin");

    // Escape, or an empty line, goes back to the folder.
    for (const bool bEscape : {true, false}) {
        Trigger(ID_FIND);
        Find(u"o"_s);
        ASSERT_TRUE(List()->ShowsResults());
        if (bEscape)
            QTest::keyClick(List()->FindLine(), Qt::Key_Escape);
        else
            QTest::keyClick(List()->FindLine(), Qt::Key_Backspace);
        EXPECT_FALSE(List()->ShowsResults()) << bEscape;
        EXPECT_EQ(List()->Model()->Folder(), m_doc.m_pCurrentFolder);
    }
}

TEST_F(FindAndVerify, ChecksumsAndVerifyAgreeWithHashlib)
{
    Open(Image("good.iso"));
    // A folder stands for each file in it.
    SelectRows({u"Docs"_s, u"readme.txt"_s});
    QStringList expected;
    const QMap<QString, QStringList> digests = HashlibDigests(s_tree);
    for (auto it = digests.begin(); it != digests.end(); ++it) {
        if (it.key() != u"md5sum.txt")
            expected << (u"/"_s + it.key() + u'\t' + it.value().join(u'\t'));
    }
    expected.sort();
    expected.prepend(u"Checksums of 4 files, computed from the image."_s);
    EXPECT_EQ(Results(ID_CHECKSUM), expected);

    const QString all = digests[u"Docs/deep/NOTE.bin"_s][1];
    EXPECT_EQ(Results(ID_VERIFY).value(0),
              u"Matching: 4. Differing: 0. Missing: 0. Unreadable: 0. Not listed: 0. "
              "Checked against /md5sum.txt."_s);

    Open(Image("bad.iso"));
    const QStringList bad = Results(ID_VERIFY);
    ASSERT_EQ(bad.size(), 5) << bad;
    EXPECT_TRUE(bad[0].startsWith(u"Matching: 2. Differing: 1. Missing: 1."_s)) << bad[0];
    EXPECT_TRUE(bad.contains(u"Differs\t/Docs/other.dat\tMD5 "_s + digests[u"Docs/other.dat"_s][1] +
                             u'\t' + HashlibDigests(Image("bad"))[u"Docs/other.dat"_s][1]))
        << bad;
    EXPECT_TRUE(bad.contains(u"Missing from the image\t/readme.txt\tMD5 "_s +
                             digests[u"readme.txt"_s][1] + u'\t'))
        << bad;
    EXPECT_TRUE(bad.contains(u"Matches\t/Docs/deep/NOTE.bin\tMD5 "_s + all + u'\t' + all)) << bad;

    // A list beside the download names the image file itself.
    const QString sums = s_dir->filePath(u"SHA256SUMS"_s);
    const QString sha = HashlibDigests(s_dir->path())[u"bad.iso"_s].value(3);
    ASSERT_TRUE(
        WriteBytes(sums, (u"%1  other.iso\n%2 *bad.iso\n"_s.arg(QString(64, u'0'), sha)).toUtf8()));
    const QStringList outside = Results(ID_VERIFY_WITH, {ChooseFile(sums)});
    EXPECT_EQ(outside.value(1), u"Matches\tbad.iso\tSHA-256 "_s + sha + u'\t' + sha) << outside;
    EXPECT_EQ(outside.size(), 2) << outside;
}

// Properties of a result row, per image: what each tree calls it and what
// it records; with nothing selected, the image's own facts.
TEST_F(FindAndVerify, PropertiesTellWhatEachTreeRecords)
{
    const struct
    {
        const char* image;
        const char* find;
        QStringList rows; // among the rows shown
        QStringList absent;
    } cases[] = {
        {"good.iso",
         "note.txt",
         {u"Name (ISO 9660)\tNOTE.TXT;1"_s, u"Name (Rock Ridge)\tNote.txt"_s,
          u"Name (Joliet)\tNote.txt"_s, u"Path\t/Docs/Note.txt"_s, u"Size in bytes\t3"_s,
          u"Unix mode\t-rw-r----- (0640)"_s, u"Links\t1"_s, u"Hidden\tno"_s},
         {u"Name (UDF)"_s}},
        {"good.iso", "link", {u"Link target\t../readme.txt"_s}, {}},
        {"joliet.iso",
         "note.txt",
         {u"Name (Joliet)\tNote.txt"_s},
         {u"Name (Rock Ridge)"_s, u"Unix mode"_s}},
        {"udf.iso", "note.txt", {u"Name (UDF)\tNote.txt"_s, u"Name (ISO 9660)\tNOTE.TXT;1"_s}, {}},
        {"good.iso",
         nullptr,
         {u"File systems\tISO 9660, Rock Ridge, Joliet"_s, u"Boot\tnone"_s},
         {u"Path"_s}},
    };
    for (const auto& c : cases) {
        Open(Image(c.image));
        if (c.find) {
            Trigger(ID_FIND);
            const QStringList found = Find(QString::fromLatin1(c.find));
            ASSERT_EQ(found.size(), 1) << c.image << " " << found;
            SelectRows({found[0].section(u' ', 1)});
        } else {
            List()->ListCtrl()->clearSelection();
        }
        const QStringList shown = Results(ID_PROPERTIES);
        for (const QString& row : c.rows)
            EXPECT_TRUE(shown.contains(row)) << c.image << " " << row << "\n" << shown;
        for (const QString& key : c.absent)
            EXPECT_FALSE(shown.join(u'\n').contains(key + u'\t')) << c.image << " " << key;
    }
    // From the tree: its current folder.
    FocusTree(Tree()->topLevelItem(0)->child(0));
    EXPECT_TRUE(Results(ID_PROPERTIES).contains(u"Path\t/Docs"_s));
}

} // namespace
