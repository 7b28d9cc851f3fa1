// Unix modes, symbolic and hard links through lantern-cli, against bsdtar;
// and images whose links lay traps for an extractor.

#include "FileBytes.h"
#include "QtPrint.h"
#include "TreeFixtures.h"
#include "UnixTree.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

RunResult Cli(const QStringList& args)
{
    return RunProgram(QStringLiteral(LANTERN_CLI), args);
}

QString Quoted(const QString& path)
{
    return u"'%1'"_s.arg(path);
}

// An image by xorriso with Rock Ridge and hard links kept.
class ImageOfTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Both extractors apply it to the modes they create.
        ::umask(022);
        m_tree = m_dir.filePath(u"tree"_s);
        m_image = m_dir.filePath(u"image.iso"_s);
        // A FIFO and, when root runs the test, a device.
        WriteUnixTree(m_tree);
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_tree + u"/pipe"_s).constData(), 0644), 0);
        ::mknod(QFile::encodeName(m_tree + u"/null"_s).constData(), S_IFCHR | 0644, makedev(1, 3));
        ASSERT_TRUE(Sh(u"xorriso -as mkisofs -quiet -R --hardlinks -o %1 %2 2>/dev/null"_s.arg(
            Quoted(m_image), Quoted(m_tree))));
    }

    ScratchDir m_dir;
    QString m_tree, m_image;
};

TEST_F(ImageOfTree, ExtractsAsBsdtarDoes)
{
    // FIFOs and devices: lantern-cli leaves them out, and bsdtar is told to,
    // for it fails on the device numbers some writers record.
    TreeEntries source = ReadTree(m_tree);
    QStringList specials, excluded;
    for (auto it = source.begin(); it != source.end(); ++it) {
        if (it->kind == 'o')
            specials << it.key(), excluded << u"--exclude "_s + Quoted(it.key());
    }
    source.removeIf([](TreeEntries::iterator it) { return it->kind == 'o'; });
    ASSERT_TRUE(specials.contains(u"pipe"_s));

    const QString a = m_dir.filePath(u"bsdtar"_s);
    const QString b = m_dir.filePath(u"lantern"_s);
    ASSERT_TRUE(QDir().mkpath(a));
    ASSERT_TRUE(Sh(u"bsdtar -x --no-same-permissions --no-same-owner %1 -f %2 -C %3"_s.arg(
        excluded.join(u' '), Quoted(m_image), Quoted(a))));
    const RunResult r = Cli({u"extract"_s, u"--quiet"_s, m_image, b});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();

    const TreeEntries bsdtar = ReadTree(a);
    const TreeEntries lantern = ReadTree(b);
    EXPECT_EQ(DescribeTree(bsdtar), DescribeTree(source)) << "bsdtar itself";
    ASSERT_TRUE(HardLinkGroups(bsdtar).count({u"hard.txt"_s, u"ro/hard.too"_s}))
        << "bsdtar sees the two names as one file";

    // Each special entry is left out and named on a line of its own; an
    // extraction says nothing else.
    const QStringList lines = QString::fromUtf8(r.err).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& name : specials) {
        EXPECT_FALSE(lantern.contains(name)) << name;
        EXPECT_EQ(lines.filter(QRegularExpression(u"\\b%1\\b"_s.arg(name))).size(), 1)
            << name << "\n"
            << r.err.toStdString();
    }
    EXPECT_EQ(lines.size(), specials.size()) << r.err.toStdString();

    // Kinds, modes (a read-only folder still holds its files), link targets
    // and bytes; and names that share an inode share one in both trees.
    EXPECT_EQ(DescribeTree(lantern), DescribeTree(bsdtar));
    EXPECT_EQ(HardLinkGroups(lantern), HardLinkGroups(bsdtar));
    // The caller's umask, whatever it is, also for the modes set once a
    // folder's content is in.
    const QString masked = m_dir.filePath(u"masked"_s);
    ASSERT_TRUE(Sh(u"umask 077; %1 extract --quiet %2 %3"_s.arg(Quoted(QStringLiteral(LANTERN_CLI)),
                                                                Quoted(m_image), Quoted(masked))));
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(masked + u"/ro"_s).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0500u);

    // A link's line of `list` ends in its target, whatever it points to; no
    // other line carries one.
    const RunResult listed = Cli({u"list"_s, m_image});
    ASSERT_EQ(listed.code, 0) << listed.err.toStdString();
    const QStringList arrows = QString::fromUtf8(listed.out).split(u'\n').filter(u" -> "_s);
    QStringList links;
    for (auto it = source.begin(); it != source.end(); ++it)
        if (it->kind == 'l')
            links << u'\t' + it.key() + u" -> "_s + QString::fromUtf8(it->content);
    ASSERT_EQ(links.size(), 4);
    EXPECT_EQ(arrows.size(), links.size()) << listed.out.toStdString();
    for (const QString& tail : links)
        EXPECT_EQ(
            arrows.filter(QRegularExpression(u"^F\t.*"_s + QRegularExpression::escape(tail) + u'$'))
                .size(),
            1)
            << tail;
}

// The images of make_link_traps.py, extracted into scratch/dest beside
// scratch/outside, where the links point.
struct Trap
{
    const char* kind;
    const char* word;                // stderr names it; null: nothing is left out
    QMap<QString, QByteArray> files; // written whatever is refused
};

const QMap<QString, QByteArray> kKept{
    {u"keep.txt"_s, "keep\n"}, {u"sub/aa.txt"_s, "first\n"}, {u"sub/zz.txt"_s, "last\n"}};

class TrapImage : public ::testing::Test
{
protected:
    void Make(const char* kind)
    {
        ASSERT_TRUE(QDir().mkpath(m_outside));
        ASSERT_TRUE(Sh(u"/usr/bin/python3 %1 %2 %3 %4"_s.arg(
            Quoted(QStringLiteral(LANTERN_LINK_TRAPS)), QLatin1String(kind), Quoted(m_outside),
            Quoted(m_image))));
    }

    // Nothing written beside the target, nor where the links point.
    void ExpectNothingOutside() const
    {
        const auto all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
        EXPECT_EQ(QDir(m_scratch.path()).entryList(all), QStringList({u"dest"_s, u"outside"_s}));
        EXPECT_EQ(QDir(m_outside).entryList(all), QStringList());
    }

    ScratchDir m_images, m_scratch;
    QString m_image = m_images.filePath(u"trap.iso"_s);
    QString m_dest = m_scratch.filePath(u"dest"_s);
    QString m_outside = m_scratch.filePath(u"outside"_s);
};

class LinkTrap : public TrapImage, public ::testing::WithParamInterface<Trap>
{
};

TEST_P(LinkTrap, WritesNothingOutsideAndTheRestInside)
{
    const Trap& trap = GetParam();
    Make(trap.kind);
    const RunResult r = Cli({u"extract"_s, u"--quiet"_s, m_image, m_dest});
    ExpectNothingOutside();
    if (trap.word) {
        EXPECT_TRUE(r.err.contains(trap.word)) << r.err.toStdString();
    } else {
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    // Files of one name each: a count the other names do not bear out links
    // nothing.
    QMap<QString, QByteArray> written;
    for (const auto& [name, entry] : ReadTree(m_dest).asKeyValueRange()) {
        if (entry.kind == 'f' && entry.links == 1 && trap.files.contains(name))
            written[name] = entry.content;
    }
    EXPECT_EQ(written, trap.files) << QStringList(written.keys());
}

QMap<QString, QByteArray> KeptAnd(const QMap<QString, QByteArray>& more)
{
    QMap<QString, QByteArray> all = kKept;
    all.insert(more);
    return all;
}

const Trap kTraps[] = {
    // A link out and a folder of its name, in one folder.
    {"link_and_folder", "trapdoor", kKept},
    // sub/climber -> ../../outside and a folder sub/climber.
    {"climbing_link", "climber", kKept},
    // A link to outside/victim, then two files of its name.
    {"link_then_files", "decoys", kKept},
    // loopa -> loopb -> loopa, and a folder loopa.
    {"link_loop", "loopa", kKept},
    // One name of two says it is the only one; an empty file, which shares
    // its extent with every empty file, says it has two names.
    {"lying_counts", nullptr,
     KeptAnd({{u"sub/pair1"_s, "one file, two names\n"},
              {u"sub/pair2"_s, "one file, two names\n"},
              {u"sub/alone"_s, ""},
              {u"sub/blank"_s, ""}})},
};

INSTANTIATE_TEST_SUITE_P(Kinds, LinkTrap, ::testing::ValuesIn(kTraps),
                         [](const auto& info) { return std::string(info.param.kind); });

// one/portal, a link out, and two/portal, a folder, extracted into one
// folder: the link is made, and the folder's file is not written through it.
TEST_F(TrapImage, FolderAfterALinkOfItsNameIsRefused)
{
    Make("apart");
    const RunResult r = Cli({u"extract"_s, u"--quiet"_s, u"--overwrite"_s, m_image, m_dest,
                             u"one/portal"_s, u"two/portal"_s});
    ExpectNothingOutside();
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("portal")) << r.err.toStdString();
    const TreeEntries dest = ReadTree(m_dest);
    ASSERT_TRUE(dest.contains(u"portal"_s));
    EXPECT_EQ(dest[u"portal"_s].kind, 'l');
    EXPECT_EQ(dest[u"portal"_s].content, QFile::encodeName(m_outside));
}

} // namespace
