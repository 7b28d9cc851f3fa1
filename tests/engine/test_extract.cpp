#include "EngineSupport.h"
#include "FileBytes.h"
#include "LTDataItem.h"
#include "QtPrint.h"
#include "VolumeCheck.h"
#include "fakevbe/FakeContent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file whose close() fails, as an NFS server or a full quota makes it
// fail: the descriptor is released and EIO returned.
std::atomic<bool> g_bFailClose{false};
std::mutex g_failCloseMutex;
std::string g_failClosePath;

bool CloseShouldFail(int fd)
{
    if (!g_bFailClose)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    std::lock_guard lock(g_failCloseMutex);
    return g_failClosePath == std::string(path, static_cast<std::size_t>(n));
}

// Makes close() fail for one path while it lives.
class FailingClose
{
public:
    explicit FailingClose(const QString& path)
    {
        std::lock_guard lock(g_failCloseMutex);
        g_failClosePath = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
        g_bFailClose = true;
    }
    ~FailingClose() { g_bFailClose = false; }
};

} // namespace

// This executable's close(): the C library's, but for the path a
// FailingClose names.
extern "C" int close(int fd)
{
    using Close = int (*)(int);
    static const auto real = reinterpret_cast<Close>(::dlsym(RTLD_NEXT, "close"));
    const bool bFail = CloseShouldFail(fd);
    const int r = real(fd);
    if (bFail) {
        errno = EIO;
        return -1;
    }
    return r;
}

namespace {

// Checks a file written from the scripted module byte for byte.
::testing::AssertionResult HasFakeContent(const QString& diskPath, const std::string& imagePath,
                                          std::uint64_t size)
{
    QFile file(diskPath);
    if (!file.open(QIODevice::ReadOnly))
        return ::testing::AssertionFailure() << diskPath.toStdString() << " is missing";
    const QByteArray bytes = file.readAll();
    if (static_cast<std::uint64_t>(bytes.size()) != size)
        return ::testing::AssertionFailure() << "size " << bytes.size() << ", expected " << size;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (static_cast<std::uint8_t>(bytes[i]) !=
            FakeByte(imagePath, static_cast<std::uint64_t>(i)))
            return ::testing::AssertionFailure() << "byte " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

class Extraction : public ::testing::Test
{
protected:
    // Loads a scripted image into the engine.
    void Load(const QString& script)
    {
        m_image = std::make_unique<ScriptedImage>(script);
        m_root = std::make_unique<CLTDataItem>(QStringLiteral("r"), KIND_ROOT, 0, 0);
        ASSERT_EQ(m_engine.LoadTree(m_image->Path(), m_root.get()), STATUS_OK);
        m_image->ClearLog();
        m_notes.Attach(m_engine);
    }
    QString Target(const QString& name) const { return m_out.filePath(name); }

    CImageEngine m_engine{FakeModulePath()};
    std::unique_ptr<ScriptedImage> m_image;
    std::unique_ptr<CLTDataItem> m_root;
    NotifyLog m_notes;
    QTemporaryDir m_out;
};

TEST_F(Extraction, ChunkBoundariesAndContents)
{
    Load(QStringLiteral("file EMPTY 0\nfile ONE 1\nfile EXACT 32768\nfile OVER 32769\n"
                        "file BIG 1000000\n"));
    struct Row
    {
        const char* name;
        std::uint64_t size;
        int reads;
    };
    for (const Row& row : {Row{"EMPTY", 0, 0}, Row{"ONE", 1, 1}, Row{"EXACT", 32768, 1},
                           Row{"OVER", 32769, 2}, Row{"BIG", 1000000, 31}}) {
        m_image->ClearLog();
        const QString name = QString::fromLatin1(row.name);
        ASSERT_EQ(m_engine.ExtractFile(name, Target(name), UnixTimeToFileTime(1500000000)),
                  STATUS_OK)
            << row.name;
        EXPECT_EQ(m_image->Count(QStringLiteral("read")), row.reads) << row.name;
        EXPECT_TRUE(HasFakeContent(Target(name), row.name, row.size)) << row.name;
    }
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_EXTRACT_BEGIN), u"EMPTY");
    EXPECT_FALSE(m_engine.IsExtracting());
}

TEST_F(Extraction, ModificationTimeToTheSecond)
{
    Load(QStringLiteral("file T 10\n"));
    const FILETIME64 when = UnixTimeToFileTime(1234567890, 987654321);
    ASSERT_EQ(m_engine.ExtractFile(QStringLiteral("T"), Target(QStringLiteral("T")), when),
              STATUS_OK);
    struct stat st
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(Target(QStringLiteral("T"))).constData(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0) << "whole seconds";
}

TEST_F(Extraction, ProgressCountsBytesOfTheWholeCommand)
{
    Load(QStringLiteral("file A 300000\nfile B 100000\n"));
    m_engine.SetBytesTotal(400000);
    m_engine.SetBytesWritten(0);
    ASSERT_EQ(m_engine.ExtractFile(QStringLiteral("A"), Target(QStringLiteral("A")), 0), STATUS_OK);
    int percent = 0;
    m_engine.GetProgress(PROGRESS_EXTRACT, &percent);
    EXPECT_EQ(percent, 75);
    ASSERT_EQ(m_engine.ExtractFile(QStringLiteral("B"), Target(QStringLiteral("B")), 0), STATUS_OK);
    m_engine.GetProgress(PROGRESS_EXTRACT, &percent);
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(m_engine.GetBytesWritten(), 400000u);
}

TEST_F(Extraction, CancelledLargeFileLeavesNothing)
{
    Load(QStringLiteral("file HUGE 200000000\n"));
    int chunks = 0;
    m_engine.SetMessagePump([&] {
        if (++chunks == 100)
            m_engine.SetCancel(true);
    });
    const QString target = Target(QStringLiteral("HUGE"));
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("HUGE"), target, 0), STATUS_CANCELLED);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_LT(m_image->Count(QStringLiteral("read")), 200) << "the reading stopped at once";
    EXPECT_EQ(m_image->Count(QStringLiteral("closefile")), 1);
}

TEST_F(Extraction, ReadFailureRemovesThePartialFile)
{
    Load(QStringLiteral("file BAD 100000\nfail read BAD eb010003 2\nfile SHORT 10\nshort SHORT\n"));
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("BAD"), Target(QStringLiteral("BAD")), 0),
              static_cast<STATUS>(0xEB010003));
    EXPECT_TRUE(m_notes.Has(NOTIFY_READ_FAILED));
    EXPECT_FALSE(QFileInfo::exists(Target(QStringLiteral("BAD"))));
    // A module that stops giving bytes early must not hang the copy.
    EXPECT_LT(m_engine.ExtractFile(QStringLiteral("SHORT"), Target(QStringLiteral("SHORT")), 0), 0);
    EXPECT_FALSE(QFileInfo::exists(Target(QStringLiteral("SHORT"))));
}

TEST_F(Extraction, MissingSourceDeletesAnExistingTarget)
{
    Load(QStringLiteral("file A 1\n"));
    const QString target = Target(QStringLiteral("old"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    EXPECT_LT(m_engine.ExtractFile(QStringLiteral("NOPE"), target, 0), 0);
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(Extraction, FullDiskReportsWriteFailureAndLeavesNoFile)
{
    Load(QStringLiteral("file DATA 500000\n"));
    // A disk that takes nothing at all, then one that fills in the middle of
    // the file: the system takes part of what it is given, then nothing.
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const rlim_t room : {rlim_t{0}, rlim_t{100000}}) {
        rlimit small = before;
        small.rlim_cur = room;
        m_notes.events.clear();
        const QString target = Target(QStringLiteral("DATA%1").arg(room));
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const STATUS r = m_engine.ExtractFile(QStringLiteral("DATA"), target, 0);
        setrlimit(RLIMIT_FSIZE, &before);
        EXPECT_EQ(r, STATUS_FAIL) << room;
        EXPECT_EQ(m_notes.ParamOf(NOTIFY_WRITE_FAILED), target) << room;
        EXPECT_FALSE(m_notes.Has(NOTIFY_ACCESS_DENIED)) << room;
        EXPECT_FALSE(QFileInfo::exists(target)) << room;
    }
    std::signal(SIGXFSZ, oldHandler);
}

// A link where the file goes is replaced itself; what it points to stays as
// it was.
TEST_F(Extraction, LinkAtTargetIsReplacedNotWrittenThrough)
{
    Load(QStringLiteral("file DATA 1000\n"));
    const QString outside = Target(QStringLiteral("OUTSIDE"));
    WriteBytes(outside, "mine");
    const QString target = Target(QStringLiteral("DATA"));
    ASSERT_EQ(
        symlink(QFile::encodeName(outside).constData(), QFile::encodeName(target).constData()), 0);
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("DATA"), target, 0), STATUS_OK);
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(QFileInfo(target).size(), 1000);
    EXPECT_EQ(ReadBytes(outside), QByteArray("mine"));
}

// An error reported only when the file is closed fails the file like a short
// write, whether data was written or not.
TEST_F(Extraction, ErrorAtCloseReportsWriteFailureAndLeavesNoFile)
{
    Load(QStringLiteral("file DATA 500000\nfile EMPTY 0\nfile OTHER 10\n"));
    for (const char* name : {"DATA", "EMPTY"}) {
        const QString target = Target(QString::fromLatin1(name));
        FailingClose failing(target);
        m_notes.events.clear();
        EXPECT_EQ(m_engine.ExtractFile(QString::fromLatin1(name), target, 0), STATUS_FAIL) << name;
        EXPECT_EQ(m_notes.ParamOf(NOTIFY_WRITE_FAILED), target) << name;
        EXPECT_FALSE(QFileInfo::exists(target)) << name;
    }
    // Other files close as usual.
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("OTHER"), Target(QStringLiteral("OTHER")), 0),
              STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("OTHER")), "OTHER", 10));
}

TEST_F(Extraction, ReadOnlyTargetReportsAccessDenied)
{
    Load(QStringLiteral("file DATA 10\n"));
    const QString target = Target(QStringLiteral("locked"));
    QFile locked(target);
    ASSERT_TRUE(locked.open(QIODevice::WriteOnly));
    locked.close();
    // Root ignores permission bits; the immutable flag stops even root.
    const QByteArray path = QFile::encodeName(target);
    bool bImmutable = false;
    if (geteuid() == 0) {
        bImmutable = std::system(("chattr +i '" + path + "' 2>/dev/null").constData()) == 0;
        if (!bImmutable)
            GTEST_SKIP() << "no way to make a file read-only for root here";
    } else {
        ASSERT_EQ(chmod(path.constData(), 0444), 0);
    }
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("DATA"), target, 0), STATUS_FAIL);
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_ACCESS_DENIED), target);
    EXPECT_FALSE(m_notes.Has(NOTIFY_WRITE_FAILED));
    if (bImmutable)
        std::system(("chattr -i '" + path + "'").constData());
}

TEST_F(Extraction, UnsuitableVolumeIsRefusedBeforeWriting)
{
    Load(QStringLiteral("file A 1\n"));
    // /proc is no file system a file may be written to.
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("A"), QStringLiteral("/proc/lantern-test"), 0),
              STATUS_FAIL);
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_VOLUME_UNSUITABLE), u"/proc/lantern-test");
    EXPECT_EQ(m_image->Count(QStringLiteral("read")), 0);
}

TEST_F(Extraction, FolderKeepsItsShapeBelowTheTarget)
{
    Load(QStringLiteral("dir A\n"
                        "file A\\top.bin 5\n"
                        "dir A\\DATA\n"
                        "dir A\\DATA\\A\n"
                        "file A\\DATA\\A\\deep.bin 40000\n"
                        "dir A\\DATA\\empty\n"
                        "file A\\DATA\\mid.bin 3 1400000000\n"
                        "dir A\\..\n"
                        "file OTHER 1\n"));
    ASSERT_EQ(m_engine.ExtractFolder(QStringLiteral("A"), m_out.path() + QLatin1Char('/')),
              STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("A/top.bin")), "A\\top.bin", 5));
    EXPECT_TRUE(
        HasFakeContent(Target(QStringLiteral("A/DATA/A/deep.bin")), "A\\DATA\\A\\deep.bin", 40000));
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("A/DATA/mid.bin")), "A\\DATA\\mid.bin", 3));
    EXPECT_TRUE(QFileInfo(Target(QStringLiteral("A/DATA/empty"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(Target(QStringLiteral("OTHER"))));
    EXPECT_EQ(QFileInfo(Target(QStringLiteral("A/DATA/mid.bin"))).lastModified().toSecsSinceEpoch(),
              1400000000);
    // A name that would climb out of the target is never followed.
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("A")});
}

TEST_F(Extraction, FolderStopsAtTheFirstFailingFile)
{
    Load(QStringLiteral("dir F\nfile F\\1 10\nfile F\\2 10\nfile F\\3 10\nfail openfile F\\2 "
                        "80070005\n"));
    EXPECT_EQ(m_engine.ExtractFolder(QStringLiteral("F"), m_out.path() + QLatin1Char('/')),
              static_cast<STATUS>(0x80070005));
    EXPECT_TRUE(QFileInfo::exists(Target(QStringLiteral("F/1"))));
    EXPECT_FALSE(QFileInfo::exists(Target(QStringLiteral("F/3"))));
}

// One writer serves the files of a folder: a file it cannot create fails
// alone and ends the folder, and the engine extracts again afterwards.
TEST_F(Extraction, FolderWriterFailsOneFileAndServesTheNextCommand)
{
    Load(QStringLiteral("dir F\nfile F\\1 10\nfile F\\2 70000\nfile F\\3 10\n"
                        "dir G\nfile G\\4 40000\nfile H 3\n"));
    ASSERT_TRUE(QDir().mkpath(Target(QStringLiteral("F/2"))));
    EXPECT_EQ(m_engine.ExtractFolder(QStringLiteral("F"), m_out.path() + QLatin1Char('/')),
              STATUS_FAIL);
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_WRITE_FAILED), Target(QStringLiteral("F/2")));
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("F/1")), "F\\1", 10));
    EXPECT_TRUE(QFileInfo(Target(QStringLiteral("F/2"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(Target(QStringLiteral("F/3"))));

    EXPECT_EQ(m_engine.ExtractFolder(QStringLiteral("G"), m_out.path() + QLatin1Char('/')),
              STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("G/4")), "G\\4", 40000));
    EXPECT_EQ(m_engine.ExtractFile(QStringLiteral("H"), Target(QStringLiteral("H")), 0), STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(QStringLiteral("H")), "H", 3));
}

// The file system of a folder extraction is asked about per target folder,
// and each file's size is still weighed against it.
TEST_F(Extraction, FolderWeighsEveryFileAgainstItsTargetFolder)
{
    Load(QStringLiteral("dir F\nfile F\\small 10\ndir F\\FAT\nfile F\\FAT\\ok 20\n"
                        "file F\\FAT\\big 3221225472\n"));
    const QString root = QFileInfo(m_out.path()).canonicalFilePath();
    const QByteArray table = "1 0 0:1 / / rw - ext4 /dev/a rw\n"
                             "2 1 0:2 / " +
                             QFile::encodeName(root) + "/F/FAT rw - msdos /dev/b rw\n";
    SetMountTableForTesting(&table);
    EXPECT_EQ(m_engine.ExtractFolder(QStringLiteral("F"), root + QLatin1Char('/')), STATUS_FAIL);
    SetMountTableForTesting(nullptr);
    EXPECT_TRUE(HasFakeContent(root + QStringLiteral("/F/small"), "F\\small", 10));
    EXPECT_TRUE(HasFakeContent(root + QStringLiteral("/F/FAT/ok"), "F\\FAT\\ok", 20));
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_VOLUME_UNSUITABLE), root + QStringLiteral("/F/FAT/big"));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/F/FAT/big")));
}

TEST(ExtractionWithoutImage, NeedsAnAttachedImage)
{
    CImageEngine engine(FakeModulePath());
    EXPECT_EQ(engine.ExtractFile(QStringLiteral("A"), QStringLiteral("/tmp/x"), 0),
              STATUS_UNEXPECTED);
    EXPECT_EQ(engine.ExtractFolder(QStringLiteral("A"), QStringLiteral("/tmp/")), STATUS_FAIL);
}

} // namespace
