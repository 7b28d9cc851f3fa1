#pragma once

// Unix files of every mode and link kind, a second name in a read-only folder, two empty
// files, a file of many chunks, an empty folder, and a time of its own for each file.

#include "FileBytes.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

inline void WriteUnixTree(const QString& tree)
{
    const auto at = [&](const char* name) {
        return QFile::encodeName(tree + u'/' + QLatin1String(name));
    };
    QByteArray big(300000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + i / 7);
    const struct
    {
        const char* name;
        QByteArray bytes;
        mode_t mode;
    } files[] = {{"run.sh", "#!/bin/sh\necho hi\n", 0755},
                 {"key", "secret\n", 0600},
                 {"plain.txt", "plain\n", 0644},
                 {"empty", "", 0644},
                 {"void", "", 0644},
                 {"private/note.txt", "note\n", 0644},
                 {"ro/readonly.txt", "read only\n", 0444},
                 {"hard.txt", "two names\n", 0644},
                 {"Docs/deep/data.bin", big, 0644}};
    qint64 time = 1500000000;
    for (const auto& f : files) {
        ASSERT_TRUE(WriteBytes(QFile::decodeName(at(f.name)), f.bytes));
        ASSERT_EQ(::chmod(at(f.name).constData(), f.mode), 0);
        ASSERT_TRUE(SetModifiedTime(QFile::decodeName(at(f.name)), time += 86400 * 3 + 17));
    }
    ASSERT_EQ(::link(at("hard.txt").constData(), at("ro/hard.too").constData()), 0);
    for (const auto& [target, name] : {std::pair{"plain.txt", "rel"},
                                       {"/etc/hostname", "abs"},
                                       {"missing/nowhere", "dangling"},
                                       {"private", "to_folder"}})
        ASSERT_EQ(::symlink(target, at(name).constData()), 0);
    ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/Docs/none")));
    ASSERT_EQ(::chmod(at("ro").constData(), 0555), 0);
    ASSERT_EQ(::chmod(at("private").constData(), 0700), 0);
}
