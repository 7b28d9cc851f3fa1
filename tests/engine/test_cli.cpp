// lantern-cli end to end, on images made by genisoimage from trees the test
// writes, read by the real module.

#include "FileBytes.h"
#include "Hashlib.h"
#include "ImageEngine.h"
#include "NamedMutex.h"
#include "QtPrint.h"
#include "TreeFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

RunResult RunCli(const QStringList& args)
{
    return RunProgram(QStringLiteral(LANTERN_CLI), args);
}

// The listing lantern-cli should print for a tree: kind, size, path;
// folders carry the total of what is below them.
QStringList ExpectedListing(const QString& root)
{
    const TreeEntries tree = ReadTree(root);
    QStringList lines;
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        qsizetype size = it->content.size();
        for (auto below = tree.begin(); it->kind == 'd' && below != tree.end(); ++below) {
            if (below->kind == 'f' && below.key().startsWith(it.key() + u'/'))
                size += below->content.size();
        }
        lines << u"%1\t%2\t%3"_s.arg(it->kind == 'd' ? u"D"_s : u"F"_s).arg(size).arg(it.key());
    }
    lines.sort();
    return lines;
}

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(u"genisoimage"_s).isEmpty())
            GTEST_SKIP() << "genisoimage is not installed";
        m_tree = m_dir.filePath(u"tree"_s);
        QByteArray random(300000, '\0');
        for (int i = 0; i < random.size(); ++i)
            random[i] = static_cast<char>((i * 2654435761u) >> 13);
        const std::pair<QString, QByteArray> files[] = {
            {u"readme.txt"_s, "hello\n"},
            {u"empty.dat"_s, {}},
            {u"Docs/Größe und Maß.txt"_s, QByteArray(5000, 'g')},
            {u"Docs/a name with spaces.md"_s, "x"},
            {u"Docs/deep/er/still/data.bin"_s, random},
            {QString(150, QLatin1Char('L')) + u".txt"_s, "long"},
        };
        qint64 t = 1700000000;
        for (const auto& [name, bytes] : files) {
            ASSERT_TRUE(WriteBytes(m_tree + u'/' + name, bytes));
            ASSERT_TRUE(SetModifiedTime(m_tree + u'/' + name, t++));
        }
        QDir().mkpath(m_tree + u"/Empty Folder"_s);
        m_image = m_dir.filePath(u"test.iso"_s);
        ASSERT_TRUE(MakeIso(m_tree, m_image, {u"-R"_s, u"-J"_s, u"-joliet-long"_s}));
    }

    QTemporaryDir m_dir;
    QString m_tree, m_image;
};

TEST_F(CliTest, ListingEqualsTheTree)
{
    // The viewer holds the image: lantern-cli only reads and is not kept out.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    CNamedMutex::Result held = CNamedMutex::Result::Failed;
    const auto viewer = CNamedMutex::Create(CImageEngine::ImageMutexName(m_image), &held);
    ASSERT_EQ(held, CNamedMutex::Result::Created);
    const RunResult r = RunCli({u"list"_s, m_image});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList listed;
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        ASSERT_EQ(f.size(), 4) << line;
        listed << u"%1\t%2\t%3"_s.arg(f[0], f[1], f[3]);
        EXPECT_TRUE(f[3] != u"readme.txt" || f[2] == u"2023-11-14 22:13:20") << f[2];
    }
    QStringList sorted = listed;
    sorted.sort();
    EXPECT_EQ(sorted, ExpectedListing(m_tree));
    // The tree's order: a folder's contents follow it, folders before files.
    EXPECT_TRUE(listed.first().startsWith(u"D\t")) << listed.first();
}

// find prints the lines list prints for what matches, and exits 1 for none;
// checksum and verify agree with hashlib, verify exits 0 only when all match.
TEST_F(CliTest, FindChecksumAndVerify)
{
    const auto paths = [](const RunResult& r) {
        QStringList out;
        for (const QString& line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts))
            out << line.section(u'\t', 3);
        return out;
    };
    EXPECT_EQ(paths(RunCli({u"find"_s, m_image, u"GRÖ"_s})),
              QStringList{u"Docs/Größe und Maß.txt"_s});
    EXPECT_EQ(paths(RunCli({u"find"_s, m_image, u"*.?d"_s})),
              QStringList{u"Docs/a name with spaces.md"_s});
    EXPECT_EQ(RunCli({u"find"_s, m_image, u"*.md?"_s}).code, 1);

    const QMap<QString, QStringList> digests = HashlibDigests(m_tree);
    const QString data = u"Docs/deep/er/still/data.bin"_s;
    RunResult r = RunCli({u"checksum"_s, u"--algo"_s, u"crc32,sha256"_s, m_image, u"Docs/deep"_s});
    EXPECT_EQ(QString::fromUtf8(r.out), u"CRC32 (%1) = %2\nSHA256 (%1) = %3\n"_s.arg(
                                            data, digests[data][0], digests[data][3]));
    r = RunCli({u"checksum"_s, u"--algo=md5"_s, m_image, u"readme.txt"_s});
    EXPECT_EQ(QString::fromUtf8(r.out), digests[u"readme.txt"_s][1] + u"  readme.txt\n"_s);

    // A list in the image: true, then with one file changed and one gone.
    ASSERT_TRUE(WriteMd5List(m_tree));
    const QString listed = m_dir.filePath(u"listed.iso"_s),
                  broken = m_dir.filePath(u"broken.iso"_s);
    ASSERT_TRUE(MakeIso(m_tree, listed, {u"-R"_s}));
    r = RunCli({u"verify"_s, listed});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("6 matched, 0 differed, 0 missing, 0 unreadable, 0 not listed "
                               "(md5sum.txt)\n"))
        << r.out.toStdString();
    ASSERT_TRUE(WriteBytes(m_tree + u"/readme.txt"_s, "changed\n"));
    ASSERT_TRUE(QFile::remove(m_tree + u"/empty.dat"_s));
    ASSERT_TRUE(MakeIso(m_tree, broken, {u"-R"_s}));
    r = RunCli({u"verify"_s, broken});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("readme.txt: FAILED\n") && r.out.contains("empty.dat: MISSING\n"))
        << r.out.toStdString();

    // A list beside the image, for the image file itself.
    const QString sums = m_dir.filePath(u"SHA256SUMS"_s);
    r = RunCli({u"checksum"_s, broken});
    ASSERT_TRUE(WriteBytes(sums, r.out.replace(broken.toUtf8(), "broken.iso")));
    EXPECT_EQ(r.out.left(64), HashlibDigests(m_dir.path())[u"broken.iso"_s].value(3).toLatin1());
    EXPECT_EQ(RunCli({u"verify"_s, broken, sums}).code, 0);
    ASSERT_TRUE(WriteBytes(sums, r.out.replace("broken.iso", "listed.iso")));
    r = RunCli({u"verify"_s, listed, sums});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith("listed.iso: FAILED\n")) << r.out.toStdString();
}

TEST_F(CliTest, ExtractionEqualsTheTreeAndNeverReplacesUnasked)
{
    const QString dest = m_dir.filePath(u"out"_s);
    RunResult r = RunCli({u"extract"_s, m_image, dest});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const TreeEntries source = ReadTree(m_tree), copy = ReadTree(dest);
    ASSERT_EQ(copy.keys(), source.keys());
    for (auto it = source.begin(); it != source.end(); ++it) {
        const QString& name = it.key();
        EXPECT_TRUE(copy[name].kind == it->kind && copy[name].content == it->content) << name;
        EXPECT_TRUE(it->kind != 'f' || QFileInfo(dest + u'/' + name).lastModified() ==
                                           QFileInfo(m_tree + u'/' + name).lastModified())
            << name;
    }

    // Once more: every file exists now, and nothing is replaced.
    const QString readme = dest + u"/readme.txt"_s;
    ASSERT_TRUE(WriteBytes(readme, "mine"));
    r = RunCli({u"extract"_s, m_image, dest, u"Docs"_s, u"readme.txt"_s});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("exists")) << r.err.toStdString();
    EXPECT_EQ(ReadBytes(readme), "mine");
    r = RunCli({u"extract"_s, u"--overwrite"_s, m_image, dest, u"/readme.txt"_s});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadBytes(readme), "hello\n");
}

// Every failure says on one line what went wrong; a wrong call exits 2.
TEST_F(CliTest, FailuresNameTheirCause)
{
    const QString sheet = m_dir.filePath(u"game.cue"_s);
    ASSERT_TRUE(WriteBytes(sheet, "FILE \"game.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                                  "    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(u"o3/readme.txt"_s)));
    const struct
    {
        QStringList args;
        int code;
        const char* says;
    } cases[] = {
        {{u"list"_s, m_dir.filePath(u"missing.iso"_s)}, 1, "no such file"},
        {{u"list"_s, m_tree + u"/readme.txt"_s}, 1, "readme.txt"},
        {{u"info"_s, m_tree + u"/readme.txt"_s}, 1, "no file system"},
        {{u"extract"_s, m_image, m_dir.filePath(u"o2"_s), u"nothing/here"_s}, 1, "nothing/here"},
        // Told by the writer after lantern-cli has moved on.
        {{u"extract"_s, u"--overwrite"_s, m_image, m_dir.filePath(u"o3"_s), u"readme.txt"_s},
         1,
         "cannot write"},
        // A cue sheet whose BIN is gone says which file is missing.
        {{u"list"_s, sheet}, 1, "game.bin"},
        {{u"bogus"_s}, 2, "usage:"},
        {{u"info"_s}, 2, "usage:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const RunResult r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        if (c.code == 1) {
            EXPECT_EQ(r.err.count('\n'), 1) << "one line: " << r.err.toStdString();
        }
    }
}

// What lantern-cli shows on a terminal 200 columns wide (made by script(1))
// as its standard error; its standard output goes nowhere.
RunResult RunOnTerminal(const QStringList& args)
{
    QString command = u"stty cols 200 rows 24; exec '%1'"_s.arg(QStringLiteral(LANTERN_CLI));
    for (const QString& a : args)
        command += u" '%1'"_s.arg(a);
    RunResult r = RunProgram(u"script"_s, {u"-qec"_s, command + u" >/dev/null"_s, u"/dev/null"_s});
    r.err = r.out;
    return r;
}

TEST_F(CliTest, ProgressLineShowsOnATerminalOnlyAndVersionIsOneLine)
{
    const QString file = u"Docs/deep/er/still/data.bin"_s;
    const auto run = [&](bool bTerminal, bool bQuiet) {
        QStringList args{u"extract"_s};
        if (bQuiet)
            args << u"--quiet"_s;
        args << m_image << m_dir.filePath(u"out%1%2"_s.arg(bTerminal).arg(bQuiet)) << file;
        const RunResult r = bTerminal ? RunOnTerminal(args) : RunCli(args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QString::fromUtf8(r.err);
    };
    EXPECT_EQ(run(true, true), QString()) << "--quiet";
    EXPECT_EQ(run(false, false), QString()) << "a pipe";
    // Redrawn in place: percent, bytes of the total, speed, file; cleared at the end.
    const QString shown = run(true, false);
    EXPECT_TRUE(shown.contains(QRegularExpression(
        u"^\\r[^\\n]*100%  293.0 KiB of 293.0 KiB[^\\n]*/s  %1[^\\n]*\\r\x1b\\[K$"_s.arg(
            QRegularExpression::escape(file)))))
        << qPrintable(shown);

    const RunResult r = RunCli({u"--version"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(
        QRegularExpression(u"^lantern-cli \\d+\\.\\d+\\.\\d+\n$"_s)))
        << r.out.toStdString();
}

// `info` on images of every kind, made by the usual tools: the lines that
// tell the kinds apart.
TEST_F(CliTest, InfoTellsWhatEachKindOfImageHolds)
{
    const QString d = m_dir.path(), tree = m_tree, small = d + u"/small"_s;
    const QString scripts = QStringLiteral(LANTERN_SDK_TEST_SCRIPTS "/");
    ASSERT_TRUE(WriteBytes(small + u"/a_long_file_name.text"_s, "x"));
    ASSERT_TRUE(WriteBytes(small + u"/boot/boot.img"_s, QByteArray(2048, 'b')));
    ASSERT_TRUE(WriteBytes(small + u"/boot/efi.img"_s, QByteArray(4096, 'e')));
    ASSERT_TRUE(WriteBytes(d + u"/two/added.txt"_s, "second\n"));
    struct Case
    {
        const char* name;
        QString make; // a shell command that writes $IMG
        std::vector<const char*> lines;
    } cases[] = {
        {"Rock Ridge and Joliet",
         u"genisoimage -quiet -R -J -joliet-long -V TESTVOL -o \"$IMG\" '%1'"_s.arg(tree),
         {"Volume label:    TESTVOL", "File systems:    ISO 9660, Rock Ridge, Joliet",
          "Shown:           ISO 9660 with Rock Ridge names",
          "ISO 9660:        level 1, label \"TESTVOL\"", "Rock Ridge:      yes, RRIP_1991A",
          "Joliet:          yes, level 3, label \"TESTVOL\"", "UDF:             no",
          "Sessions:        1", "Boot:            none",
          "Sectors:         2048 bytes (user data only)",
          "Contents:        6 files in 5 folders, 305011 bytes (297.9 KiB)"}},
        {"plain level 2",
         u"genisoimage -quiet -iso-level 2 -o \"$IMG\" '%1'"_s.arg(small),
         {"File systems:    ISO 9660", "Shown:           ISO 9660",
          "ISO 9660:        level 2, label \"CDROM\"", "Rock Ridge:      no",
          "Joliet:          no"}},
        {"El Torito for BIOS and UEFI",
         QStringLiteral("xorriso -as mkisofs -quiet -R -b boot/boot.img -no-emul-boot "
                        "-boot-load-size 4 -eltorito-alt-boot -e boot/efi.img -no-emul-boot "
                        "-o \"$IMG\" '%1' 2>/dev/null")
             .arg(small),
         {"Boot:            El Torito, 2 entries",
          "Boot entry:      x86 BIOS, no emulation, 4 sectors at block ",
          "Boot entry:      UEFI, no emulation, "}},
        {"UDF bridge",
         u"genisoimage -quiet -udf -V BRIDGE -o \"$IMG\" '%1'"_s.arg(small),
         {"File systems:    ISO 9660, UDF", "Shown:           UDF",
          "UDF:             revision 1.02, physical partition, read-only, label \"BRIDGE\""}},
        {"UDF alone, 512-byte blocks",
         u"mkudffs --new-file --media-type=hd --label=Plain \"$IMG\" 30000 >/dev/null"_s,
         {"Volume label:    Plain", "File systems:    UDF", "ISO 9660:        no",
          "UDF:             revision 2.01, physical partition, overwritable, "
          "label \"Plain\""}},
        {"UDF on CD-RW",
         QStringLiteral("mkudffs --new-file --media-type=cdrw --udfrev=1.50 \"$IMG\" 30000 "
                        ">/dev/null"),
         {"UDF:             revision 1.50, sparable partition, rewritable"}},
        {"UDF on CD-R",
         u"mkudffs --new-file --media-type=cdr \"$IMG\" 30000 >/dev/null"_s,
         {"UDF:             revision 2.01, virtual (VAT) partition, write-once"}},
        {"two sessions",
         QStringLiteral("genisoimage -quiet -R -o \"$IMG.1\" '%1' && "
                        "next=$(( $(stat -c %s \"$IMG.1\") / 2048 + 150 )) && "
                        "genisoimage -quiet -R -M \"$IMG.1\" -C 0,$next -o \"$IMG.2\" '%2' && "
                        "cp \"$IMG.1\" \"$IMG\" && truncate -s $((next * 2048)) \"$IMG\" && "
                        "cat \"$IMG.2\" >> \"$IMG\"")
             .arg(small, d + u"/two"_s),
         {"Sessions:        2, the last read (from block "}},
        {"raw sectors",
         QStringLiteral("genisoimage -quiet -R -o \"$IMG.iso\" '%1' && python3 '%2' mode1 "
                        "\"$IMG.iso\" \"$IMG\"")
             .arg(small, scripts + u"wrap_raw.py"_s),
         {"Sectors:         2352 bytes (raw sectors)", "Rock Ridge:      yes"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString image = d + u"/kind%1.rdf"_s.arg(n++);
        const QString tool = c.make.section(QLatin1Char(' '), 0, 0);
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            ADD_FAILURE() << tool << " is not installed";
            continue;
        }
        ASSERT_TRUE(Sh(u"IMG='%1'; "_s.arg(image) + c.make));
        const RunResult r = RunCli({u"info"_s, image});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QString out = QString::fromUtf8(r.out);
        for (const char* line : c.lines)
            EXPECT_TRUE(out.contains(u'\n' + QLatin1String(line))) << line << "\nin:\n"
                                                                   << qPrintable(out);
    }
}

} // namespace
