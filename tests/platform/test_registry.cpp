#include "FileBytes.h"
#include "QtPrint.h"
#include "Registry.h"
#include "TempSettings.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void Set(HKEY root, const QString& path, const QString& name, DWORD type, const QByteArray& data)
{
    ASSERT_TRUE(PutRawValue(root, path, name, type, data)) << name;
}

const QString kKey = u"Software\\Test\\Values"_s;

// Every kind of value survives the text file, parsed again by a store that never saw it.
TEST(Registry, EveryValueSurvivesTheTextFile)
{
    TempSettings settings;
    struct Row
    {
        const char* name;
        DWORD type;
        QByteArray data;
    };
    const QString awkward =
        u"a \"quoted\" \\path\\\nnext\tline "_s + QString::fromUtf8("\xF0\x9F\x92\xBF \xC3\xA4");
    const Row rows[] = {
        {"Text", REG_SZ, Utf16Bytes(awkward)},
        {"Terminated", REG_SZ, Utf16Bytes(u"ab"_s) + QByteArray(2, '\0')},
        {"OddBytes", REG_SZ, QByteArray("abc")},
        {"LoneSurrogate", REG_SZ, QByteArray("\x00\xD8x\x00", 4)},
        {"Expand", REG_EXPAND_SZ, Utf16Bytes(u"$HOME/x"_s)},
        {"Dword", REG_DWORD, QByteArray("\x78\x56\x34\x12", 4)},
        {"ShortDword", REG_DWORD, QByteArray("\x01", 1)},
        {"Qword", REG_QWORD, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"Binary", REG_BINARY, QByteArray("\x00\xff\x10", 3)},
        {"EmptyBinary", REG_BINARY, QByteArray()},
        {"Multi", REG_MULTI_SZ, Utf16Bytes(u"a"_s) + QByteArray(4, '\0')},
        {"", REG_SZ, Utf16Bytes(u"default value"_s)},
        {"name with \"quotes\" and \\", REG_DWORD, QByteArray(4, '\0')},
    };
    for (const Row& row : rows)
        Set(HKEY_CURRENT_USER, kKey, QString::fromUtf8(row.name), row.type, row.data);

    // A copy of the file is new to the store, so it is parsed from scratch.
    const QString copy = settings.Path() + u"/copy.reg"_s;
    ASSERT_TRUE(QFile::copy(settings.UserFile(), copy));
    settings.Set("LANTERN_USER_REGISTRY", copy);
    for (const Row& row : rows) {
        DWORD type = 0;
        EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey, QString::fromUtf8(row.name), &type), row.data)
            << row.name;
        EXPECT_EQ(type, row.type) << row.name;
    }

    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey.toLower(), u"dWORD"_s),
              QByteArray("\x78\x56\x34\x12", 4))
        << "names compare without regard to case";

    const QString text = QString::fromUtf8(ReadBytes(copy));
    EXPECT_TRUE(text.contains(u"[Software\\Test\\Values]"_s)) << text;
    EXPECT_TRUE(text.contains(u"\"Dword\"=dword:12345678"_s)) << text;
    EXPECT_TRUE(text.contains(u"\"Expand\"=expand_sz:\"$HOME/x\""_s)) << text;

    // The machine's root is a file of its own.
    Set(HKEY_LOCAL_MACHINE, kKey, u"Where"_s, REG_SZ, Utf16Bytes(u"m"_s));
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey, u"Where"_s), "<none>");
    EXPECT_TRUE(ReadBytes(settings.MachineFile()).contains("\"Where\"=sz:\"m\""));
}

// Concurrent writers in several processes keep every change (re-read under the lock).
TEST(Registry, ConcurrentWritersLoseNothing)
{
    TempSettings settings;
    constexpr int kWriters = 3;
    constexpr int kValuesEach = 60;
    pid_t children[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            for (int i = 0; i < kValuesEach; ++i) {
                HKEY key = nullptr;
                const QString path = kKey + u"\\W%1"_s.arg(i % 3);
                if (RegCreateKeyEx(HKEY_CURRENT_USER, path, KEY_WRITE, &key) != ERROR_SUCCESS)
                    _exit(1);
                const DWORD v = static_cast<DWORD>(w * 1000 + i);
                if (RegSetValueEx(key, u"w%1-%2"_s.arg(w).arg(i), REG_DWORD, &v, 4) !=
                    ERROR_SUCCESS)
                    _exit(2);
                RegCloseKey(key);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValuesEach; ++i) {
            const DWORD v = static_cast<DWORD>(w * 1000 + i);
            EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey + u"\\W%1"_s.arg(i % 3),
                               u"w%1-%2"_s.arg(w).arg(i)),
                      QByteArray(reinterpret_cast<const char*>(&v), 4))
                << "writer " << w << " value " << i;
        }
    }
    // No temporary file is left behind.
    const QStringList left = QDir(settings.Path()).entryList({u"*.new-*"_s});
    EXPECT_TRUE(left.isEmpty()) << left;
}

// A damaged file: what can be read is kept, the file copied aside, reported once.
TEST(Registry, DamagedFileIsKeptAndReportedOnce)
{
    TempSettings settings;
    const QByteArray damaged = "[Software\\Test\\Values]\n"
                               "\"Good\"=dword:00000007\n"
                               "\"Broken\"=dword:zz\n"
                               "garbage line\n"
                               "\"Text\"=sz:\"unterminated\n"
                               "[Software\\Test\\Other]\n"
                               "\"Also\"=sz:\"fine\"\n";
    ASSERT_TRUE(WriteBytes(settings.UserFile(), damaged));

    testing::internal::CaptureStderr();
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey, u"Good"_s), QByteArray("\7\0\0\0", 4));
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey, u"Broken"_s), "<none>");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, u"Software\\Test\\Other"_s, u"Also"_s),
              Utf16Bytes(u"fine"_s));
    // A change saves what could be read together with the change.
    Set(HKEY_CURRENT_USER, kKey, u"New"_s, REG_DWORD, QByteArray(4, '\2'));
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, kKey, u"Good"_s), QByteArray("\7\0\0\0", 4));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("user.reg: cannot read line 3, line 4, line 5"), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("cannot read"), messages.rfind("cannot read")) << "reported once";

    const QStringList copies = QDir(settings.Path()).entryList({u"user.reg.bad-*"_s});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(ReadBytes(settings.Path() + QLatin1Char('/') + copies[0]), damaged);
    EXPECT_FALSE(ReadBytes(settings.UserFile()).contains("garbage"));
}

} // namespace
