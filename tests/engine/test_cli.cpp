// lantern-cli end to end, on images made by genisoimage from trees the test
// writes, read by the real module.

#include "ImageEngine.h"
#include "NamedMutex.h"
#include "QtPrint.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace {

void WriteFile(const QString& path, const QByteArray& data, qint64 mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    utimbuf times{mtime, mtime};
    utime(QFile::encodeName(path).constData(), &times);
}

struct RunResult
{
    int code = -1;
    QByteArray out, err;
};

RunResult RunCli(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(LANTERN_CLI), args);
    process.waitForFinished(120000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The listing lantern-cli should print for a tree: kind, size, UTC time,
// path; folders carry the total of what is below them.
QStringList ExpectedListing(const QString& root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        qint64 size = info.size();
        if (info.isDir()) {
            size = 0;
            QDirIterator below(info.filePath(), QDir::Files | QDir::Hidden,
                               QDirIterator::Subdirectories);
            while (below.hasNext())
                size += QFileInfo(below.next()).size();
        }
        lines << QStringLiteral("%1\t%2\t%3")
                     .arg(info.isDir() ? QStringLiteral("D") : QStringLiteral("F"))
                     .arg(size)
                     .arg(relative);
    }
    lines.sort();
    return lines;
}

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("genisoimage")).isEmpty())
            GTEST_SKIP() << "genisoimage is not installed";
        m_tree = m_dir.filePath(QStringLiteral("tree"));
        const qint64 t = 1700000000;
        WriteFile(m_tree + QStringLiteral("/readme.txt"), "hello\n", t);
        WriteFile(m_tree + QStringLiteral("/empty.dat"), QByteArray(), t + 1);
        WriteFile(m_tree + QStringLiteral("/Docs/Größe und Maß.txt"), QByteArray(5000, 'g'), t + 2);
        WriteFile(m_tree + QStringLiteral("/Docs/a name with spaces.md"), "x", t + 3);
        QByteArray random(300000, '\0');
        for (int i = 0; i < random.size(); ++i)
            random[i] = static_cast<char>((i * 2654435761u) >> 13);
        WriteFile(m_tree + QStringLiteral("/Docs/deep/er/still/data.bin"), random, t + 4);
        QDir().mkpath(m_tree + QStringLiteral("/Empty Folder"));
        WriteFile(m_tree + QStringLiteral("/") + QString(150, QLatin1Char('L')) +
                      QStringLiteral(".txt"),
                  "long", t + 5);
        m_image = m_dir.filePath(QStringLiteral("test.iso"));
        QProcess mk;
        mk.start(QStringLiteral("genisoimage"),
                 {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-J"),
                  QStringLiteral("-joliet-long"), QStringLiteral("-o"), m_image, m_tree});
        ASSERT_TRUE(mk.waitForFinished(60000));
        ASSERT_EQ(mk.exitCode(), 0) << mk.readAllStandardError().toStdString();
    }

    QTemporaryDir m_dir;
    QString m_tree;
    QString m_image;
};

TEST_F(CliTest, ListingEqualsTheTree)
{
    // The viewer holds the image: lantern-cli only reads and is not kept out.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    CNamedMutex::Result held = CNamedMutex::Result::Failed;
    const auto viewer = CNamedMutex::Create(CImageEngine::ImageMutexName(m_image), &held);
    ASSERT_EQ(held, CNamedMutex::Result::Created);
    const RunResult r = RunCli({QStringLiteral("list"), m_image});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList listed;
    for (const QString& line : QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        ASSERT_EQ(f.size(), 4) << line;
        listed << QStringLiteral("%1\t%2\t%3").arg(f[0], f[1], f[3]);
        if (f[3] == u"readme.txt") {
            EXPECT_EQ(f[2], u"2023-11-14 22:13:20");
        }
    }
    QStringList sorted = listed;
    sorted.sort();
    EXPECT_EQ(sorted, ExpectedListing(m_tree));
    // The tree's order: a folder's contents follow it, folders before files.
    EXPECT_TRUE(listed.first().startsWith(u"D\t")) << listed.first();
}

TEST_F(CliTest, ExtractionEqualsTheTreeAndNeverReplacesUnasked)
{
    const QString dest = m_dir.filePath(QStringLiteral("out"));
    RunResult r = RunCli({QStringLiteral("extract"), m_image, dest});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QDirIterator it(m_tree, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString source = it.next();
        const QString copy = dest + QLatin1Char('/') + QDir(m_tree).relativeFilePath(source);
        QFile a(source), b(copy);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly));
        ASSERT_TRUE(b.open(QIODevice::ReadOnly)) << copy;
        EXPECT_EQ(QCryptographicHash::hash(a.readAll(), QCryptographicHash::Sha256),
                  QCryptographicHash::hash(b.readAll(), QCryptographicHash::Sha256))
            << copy;
        EXPECT_EQ(QFileInfo(copy).lastModified().toSecsSinceEpoch(),
                  QFileInfo(source).lastModified().toSecsSinceEpoch())
            << copy;
        ++files;
    }
    EXPECT_EQ(files, 6);
    EXPECT_TRUE(QFileInfo(dest + QStringLiteral("/Empty Folder")).isDir());

    // Once more: every file exists now, and nothing is replaced.
    WriteFile(dest + QStringLiteral("/readme.txt"), "mine", 1);
    r = RunCli({QStringLiteral("extract"), m_image, dest, QStringLiteral("Docs"),
                QStringLiteral("readme.txt")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("exists")) << r.err.toStdString();
    QFile mine(dest + QStringLiteral("/readme.txt"));
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), "mine");
    mine.close();
    r = RunCli({QStringLiteral("extract"), QStringLiteral("--overwrite"), m_image, dest,
                QStringLiteral("/readme.txt")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), "hello\n");
}

TEST_F(CliTest, FailuresNameTheirCause)
{
    RunResult r = RunCli({QStringLiteral("list"), m_dir.filePath(QStringLiteral("missing.iso"))});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("no such file")) << r.err.toStdString();
    r = RunCli({QStringLiteral("list"), m_tree + QStringLiteral("/readme.txt")});
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err.count('\n'), 1) << "one line: " << r.err.toStdString();
    r = RunCli({QStringLiteral("extract"), m_image, m_dir.filePath(QStringLiteral("o2")),
                QStringLiteral("nothing/here")});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("nothing/here")) << r.err.toStdString();
    // A cue sheet whose BIN is gone says which file is missing.
    const QString sheet = m_dir.filePath(QStringLiteral("game.cue"));
    WriteFile(sheet, "FILE \"game.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n", 0);
    for (const char* command : {"list", "info"}) {
        r = RunCli({QLatin1String(command), sheet});
        EXPECT_NE(r.code, 0);
        EXPECT_TRUE(r.err.contains("game.bin")) << command << ": " << r.err.toStdString();
    }
    r = RunCli({QStringLiteral("bogus")});
    EXPECT_EQ(r.code, 2);
}

// Runs lantern-cli with its standard error on a pseudo-terminal, as in a
// terminal window; standard output goes nowhere. What the terminal showed.
RunResult RunOnTerminal(const QStringList& args)
{
    RunResult result;
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 200;
    size.ws_row = 24;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0)
        return result;
    std::vector<QByteArray> argv8{QByteArrayLiteral(LANTERN_CLI)};
    for (const QString& a : args)
        argv8.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : argv8)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(master);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(slave);
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
        result.err.append(buf, n);
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool Sh(const QString& command)
{
    QProcess sh;
    sh.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    return sh.waitForFinished(120000) && sh.exitCode() == 0;
}

TEST_F(CliTest, ProgressLineShowsOnATerminalOnly)
{
    const QString file = QStringLiteral("Docs/deep/er/still/data.bin");
    struct Case
    {
        const char* name;
        bool terminal;
        bool quiet;
    } cases[] = {
        {"terminal", true, false}, {"terminal, --quiet", true, true}, {"pipe", false, false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args{QStringLiteral("extract")};
        if (c.quiet)
            args << QStringLiteral("--quiet");
        args << m_image << m_dir.filePath(QStringLiteral("out%1").arg(n++)) << file;
        const RunResult r = c.terminal ? RunOnTerminal(args) : RunCli(args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        if (c.quiet || !c.terminal) {
            EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
            continue;
        }
        // Redrawn in place: a carriage return, percent, bytes of the total,
        // speed and the file; cleared at the end.
        const QString shown = QString::fromUtf8(r.err);
        EXPECT_TRUE(shown.startsWith(QLatin1Char('\r'))) << qPrintable(shown);
        EXPECT_TRUE(shown.contains(QStringLiteral("100%  293.0 KiB of 293.0 KiB")))
            << qPrintable(shown);
        EXPECT_TRUE(shown.contains(QStringLiteral("/s  ") + file)) << qPrintable(shown);
        EXPECT_FALSE(shown.contains(QLatin1Char('\n'))) << qPrintable(shown);
        EXPECT_TRUE(shown.endsWith(QStringLiteral("\r\x1b[K"))) << qPrintable(shown);
    }
}

TEST_F(CliTest, HelpAndVersion)
{
    RunResult r = RunCli({QStringLiteral("--help")});
    EXPECT_EQ(r.code, 0);
    for (const char* text : {"lantern-cli list IMAGE", "lantern-cli info IMAGE", "--quiet",
                             "--overwrite", "Exit status"})
        EXPECT_TRUE(r.out.contains(text)) << text;
    r = RunCli({QStringLiteral("--version")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(
        QRegularExpression(QStringLiteral("^lantern-cli \\d+\\.\\d+\\.\\d+\n$"))))
        << r.out.toStdString();
    r = RunCli({QStringLiteral("info")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.startsWith("usage:"));
}

// `info` on images of every kind, made here by the usual tools: the lines
// that tell the kinds apart.
TEST_F(CliTest, InfoTellsWhatEachKindOfImageHolds)
{
    const QString d = m_dir.path();
    const QString tree = m_tree;
    const QString small = d + QStringLiteral("/small");
    WriteFile(small + QStringLiteral("/a_long_file_name.text"), "x", 1700000000);
    WriteFile(small + QStringLiteral("/boot/boot.img"), QByteArray(2048, 'b'), 1700000000);
    WriteFile(small + QStringLiteral("/boot/efi.img"), QByteArray(4096, 'e'), 1700000000);
    WriteFile(d + QStringLiteral("/two/added.txt"), "second\n", 1700000000);
    struct Case
    {
        const char* name;
        QString make; // a shell command that writes $IMG
        QStringList lines;
    } cases[] = {
        {"Rock Ridge and Joliet",
         QStringLiteral("genisoimage -quiet -R -J -joliet-long -V TESTVOL -o \"$IMG\" '%1'")
             .arg(tree),
         {QStringLiteral("Volume label:    TESTVOL"),
          QStringLiteral("File systems:    ISO 9660, Rock Ridge, Joliet"),
          QStringLiteral("Shown:           ISO 9660 with Rock Ridge names"),
          QStringLiteral("ISO 9660:        level 1, label \"TESTVOL\""),
          QStringLiteral("Rock Ridge:      yes, RRIP_1991A"),
          QStringLiteral("Joliet:          yes, level 3, label \"TESTVOL\""),
          QStringLiteral("UDF:             no"), QStringLiteral("Sessions:        1"),
          QStringLiteral("Boot:            none"),
          QStringLiteral("Sectors:         2048 bytes (user data only)"),
          QStringLiteral("Contents:        6 files in 5 folders, 305011 bytes (297.9 KiB)")}},
        {"plain level 2",
         QStringLiteral("genisoimage -quiet -iso-level 2 -o \"$IMG\" '%1'").arg(small),
         {QStringLiteral("File systems:    ISO 9660"), QStringLiteral("Shown:           ISO 9660"),
          QStringLiteral("ISO 9660:        level 2, label \"CDROM\""),
          QStringLiteral("Rock Ridge:      no"), QStringLiteral("Joliet:          no")}},
        {"El Torito for BIOS and UEFI",
         QStringLiteral("xorriso -as mkisofs -quiet -R -b boot/boot.img -no-emul-boot "
                        "-boot-load-size 4 -eltorito-alt-boot -e boot/efi.img -no-emul-boot "
                        "-o \"$IMG\" '%1' 2>/dev/null")
             .arg(small),
         {QStringLiteral("Boot:            El Torito, 2 entries"),
          QStringLiteral("Boot entry:      x86 BIOS, no emulation, 4 sectors at block "),
          QStringLiteral("Boot entry:      UEFI, no emulation, ")}},
        {"UDF bridge",
         QStringLiteral("genisoimage -quiet -udf -V BRIDGE -o \"$IMG\" '%1'").arg(small),
         {QStringLiteral("File systems:    ISO 9660, UDF"), QStringLiteral("Shown:           UDF"),
          QStringLiteral(
              "UDF:             revision 1.02, physical partition, read-only, label \"BRIDGE\"")}},
        {"UDF alone, 512-byte blocks",
         QStringLiteral(
             "mkudffs --new-file --media-type=hd --label=Plain \"$IMG\" 30000 >/dev/null"),
         {QStringLiteral("Volume label:    Plain"), QStringLiteral("File systems:    UDF"),
          QStringLiteral("ISO 9660:        no"),
          QStringLiteral("UDF:             revision 2.01, physical partition, overwritable, "
                         "label \"Plain\"")}},
        {"UDF on CD-RW",
         QStringLiteral("mkudffs --new-file --media-type=cdrw --udfrev=1.50 \"$IMG\" 30000 "
                        ">/dev/null"),
         {QStringLiteral("UDF:             revision 1.50, sparable partition, rewritable")}},
        {"UDF on CD-R",
         QStringLiteral("mkudffs --new-file --media-type=cdr \"$IMG\" 30000 >/dev/null"),
         {QStringLiteral("UDF:             revision 2.01, virtual (VAT) partition, write-once")}},
        {"two sessions",
         QStringLiteral("genisoimage -quiet -R -o \"$IMG.1\" '%1' && "
                        "next=$(( $(stat -c %s \"$IMG.1\") / 2048 + 150 )) && "
                        "genisoimage -quiet -R -M \"$IMG.1\" -C 0,$next -o \"$IMG.2\" '%2' && "
                        "cp \"$IMG.1\" \"$IMG\" && truncate -s $((next * 2048)) \"$IMG\" && "
                        "cat \"$IMG.2\" >> \"$IMG\"")
             .arg(small, d + QStringLiteral("/two")),
         {QStringLiteral("Sessions:        2, the last read (from block ")}},
        {"raw sectors",
         QStringLiteral("genisoimage -quiet -R -o \"$IMG.iso\" '%1' && python3 '%2' mode1 "
                        "\"$IMG.iso\" \"$IMG\"")
             .arg(small, QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                             QStringLiteral("/../sdk/wrap_raw.py")),
         {QStringLiteral("Sectors:         2352 bytes (raw sectors)"),
          QStringLiteral("Rock Ridge:      yes")}},
        {"a cue sheet of a data and an audio track",
         QStringLiteral("genisoimage -quiet -R -o \"$IMG.iso\" '%1' && printf '{\"tracks\": "
                        "[{\"kind\": \"mode1\", \"source\": \"%s\"}, {\"kind\": \"audio\", "
                        "\"sectors\": 75}]}' \"$IMG.iso\" > \"$IMG.json\" && /usr/bin/python3 "
                        "'%2' \"$IMG.json\" \"$IMG\"")
             .arg(small, QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                             QStringLiteral("/../sdk/make_cue.py")),
         {QStringLiteral("Container:       cue sheet with BIN files"),
          QStringLiteral("Tracks:          2"),
          QStringLiteral("Track:           02: session 1, AUDIO, 75 sectors of 2352 bytes at "
                         "address ")}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString image = d + QStringLiteral("/kind%1.rdf").arg(n++);
        const QString tool = c.make.section(QLatin1Char(' '), 0, 0);
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            ADD_FAILURE() << tool << " is not installed";
            continue;
        }
        ASSERT_TRUE(Sh(QStringLiteral("IMG='%1'; ").arg(image) + c.make));
        const RunResult r = RunCli({QStringLiteral("info"), image});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const QString out = QString::fromUtf8(r.out);
        for (const QString& line : c.lines)
            EXPECT_TRUE(out.contains(QLatin1Char('\n') + line)) << qPrintable(line) << "\nin:\n"
                                                                << qPrintable(out);
    }
    // Not an image at all.
    const RunResult r = RunCli({QStringLiteral("info"), m_tree + QStringLiteral("/readme.txt")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no file system")) << r.err.toStdString();
}

} // namespace
