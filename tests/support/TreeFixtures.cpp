#include "TreeFixtures.h"

#include "FileBytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

RunResult RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    const bool bEnded =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {bEnded ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

bool Sh(const QString& command)
{
    return RunProgram(QStringLiteral("sh"), {QStringLiteral("-c"), command}).code == 0;
}

::testing::AssertionResult MakeIso(const QString& tree, const QString& image,
                                   const QStringList& options)
{
    const RunResult r = RunProgram(QStringLiteral("genisoimage"),
                                   QStringList{QStringLiteral("-quiet")} + options +
                                       QStringList{QStringLiteral("-o"), image, tree});
    return r.code == 0 ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure()
                             << "genisoimage: " << r.code << " " << r.err.toStdString();
}

TreeEntries ReadTree(const QString& root)
{
    TreeEntries tree;
    const fs::path base(QFile::encodeName(root).toStdString());
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        struct stat st = {};
        if (::lstat(it->path().c_str(), &st) != 0)
            continue;
        TreeEntry e{'o', st.st_mode & 07777u, {}, st.st_ino, st.st_nlink};
        if (S_ISREG(st.st_mode)) {
            e.kind = 'f';
            e.content = ReadBytes(QFile::decodeName(it->path().c_str()));
        } else if (S_ISDIR(st.st_mode)) {
            e.kind = 'd';
        } else if (S_ISLNK(st.st_mode)) {
            e.kind = 'l';
            e.content = QByteArray::fromStdString(fs::read_symlink(it->path(), ec).string());
        }
        tree.insert(QFile::decodeName(it->path().lexically_relative(base).c_str()), e);
    }
    return tree;
}

QStringList DescribeTree(const TreeEntries& tree)
{
    QStringList lines;
    for (auto it = tree.begin(); it != tree.end(); ++it)
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(it.key())
                     .arg(QLatin1Char(it->kind))
                     .arg(it->mode, 4, 8, QLatin1Char('0'))
                     .arg(QString::fromLatin1(it->content.toPercentEncoding("/ ")));
    return lines;
}

std::set<QStringList> HardLinkGroups(const TreeEntries& tree)
{
    std::map<ino_t, QStringList> byInode;
    for (auto it = tree.begin(); it != tree.end(); ++it)
        if (it->kind == 'f' && it->links > 1)
            byInode[it->inode] << it.key();
    std::set<QStringList> groups;
    for (auto& [inode, names] : byInode)
        groups.insert(names);
    return groups;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    const fs::path root(QFile::encodeName(m_dir.path()).toStdString());
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
}
