// lantern-cli end to end, on images made by genisoimage from trees the test
// writes, read by the real module.

#include "QtPrint.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
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
    r = RunCli({QStringLiteral("bogus")});
    EXPECT_EQ(r.code, 2);
}

} // namespace
