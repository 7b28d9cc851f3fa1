#pragma once

// Trees on disk for the tests that make images and extract them with other programs.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>
#include <sys/types.h>

struct RunResult
{
    int code = -1; // -1: did not start, crashed or took over two minutes
    QByteArray out, err;
};

RunResult RunProgram(const QString& program, const QStringList& args);
// `sh -c command`; true when it exits 0.
bool Sh(const QString& command);

// genisoimage writes `image` from `tree` (Rock Ridge by default); a failure says why.
::testing::AssertionResult MakeIso(const QString& tree, const QString& image,
                                   const QStringList& options = {QStringLiteral("-R")});

struct TreeEntry
{
    char kind = '?';    // f file, d folder, l symbolic link, o anything else
    unsigned mode = 0;  // st_mode & 07777
    QByteArray content; // a file's bytes, a link's target
    ino_t inode = 0;
    nlink_t links = 0;
};

// Every entry below root by relative path; links are not followed.
using TreeEntries = QMap<QString, TreeEntry>;
TreeEntries ReadTree(const QString& root);

// One line per entry (path, kind, mode, content), to compare trees in one expectation.
QStringList DescribeTree(const TreeEntries& tree);

// The sets of names of files that share an inode, for files of several names.
std::set<QStringList> HardLinkGroups(const TreeEntries& tree);

// A temporary folder whose folders are made writable before it is removed.
class ScratchDir
{
public:
    ~ScratchDir();
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
