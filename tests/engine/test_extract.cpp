#include "EngineSupport.h"
#include "LTDataItem.h"
#include "QtPrint.h"
#include "VolumeCheck.h"

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

using namespace Qt::StringLiterals;

namespace {

// While a FailingClose names a file, its close() releases the descriptor
// and gives EIO, as on NFS or over a quota.
std::atomic<bool> g_bFailClose{false};
std::mutex g_failCloseMutex;
std::string g_failClosePath;

struct FailingClose
{
    explicit FailingClose(const QString& path)
    {
        std::lock_guard lock(g_failCloseMutex);
        g_failClosePath = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
        g_bFailClose = true;
    }
    ~FailingClose() { g_bFailClose = false; }
};

} // namespace

extern "C" int close(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "close"));
    bool bFail = false;
    if (g_bFailClose) {
        char link[64], path[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = ::readlink(link, path, sizeof path - 1);
        std::lock_guard lock(g_failCloseMutex);
        bFail = n > 0 && g_failClosePath == std::string(path, static_cast<std::size_t>(n));
    }
    const int r = real(fd);
    if (bFail) {
        ::usleep(20000); // the failure comes late
        errno = EIO;
    }
    return bFail ? -1 : r;
}

namespace {

class Extraction : public ::testing::Test
{
protected:
    // Loads a scripted image into the engine.
    void Load(const QString& script)
    {
        m_image = std::make_unique<ScriptedImage>(script);
        m_root = std::make_unique<CLTDataItem>(u"r"_s, KIND_ROOT, 0, 0);
        ASSERT_EQ(m_engine.LoadTree(m_image->Path(), m_root.get()), STATUS_OK);
        m_image->ClearLog();
        m_notes.Attach(m_engine);
    }
    QString Target(const QString& name) const { return m_out.filePath(name); }
    STATUS Folder(const QString& source)
    {
        return m_engine.ExtractFolder(source, m_out.path() + u'/');
    }
    // One file fails with `status` (STATUS_OK: any failure) and, of the failure
    // notices, only `notice` (naming the target); no file is left at the target
    // unless it was locked.
    void ExpectFails(const char* source, const QString& target, STATUS status, std::uint32_t notice)
    {
        m_notes.events.clear();
        const STATUS r = m_engine.ExtractFile(QString::fromLatin1(source), target, 0);
        EXPECT_TRUE(status == STATUS_OK ? r < 0 : r == status) << std::hex << r;
        for (const std::uint32_t n : {NOTIFY_READ_FAILED, NOTIFY_WRITE_FAILED, NOTIFY_ACCESS_DENIED,
                                      NOTIFY_VOLUME_UNSUITABLE})
            EXPECT_EQ(m_notes.Has(n), n == notice) << std::hex << n;
        if (notice && notice != NOTIFY_READ_FAILED) {
            EXPECT_EQ(m_notes.ParamOf(notice), target);
        }
        if (notice != NOTIFY_ACCESS_DENIED) {
            EXPECT_FALSE(QFileInfo::exists(target));
        }
    }

    CImageEngine m_engine{FakeModulePath()};
    std::unique_ptr<ScriptedImage> m_image;
    std::unique_ptr<CLTDataItem> m_root;
    NotifyLog m_notes;
    QTemporaryDir m_out;
};

// Files of every size around the chunk size come out whole, read a chunk
// at a time, with the record's time to the second.
TEST_F(Extraction, ChunkBoundariesContentsTimeAndProgress)
{
    Load(u"file EMPTY 0\nfile ONE 1\nfile EXACT 32768\nfile OVER 32769\nfile BIG 1000000\n"_s);
    // The percent counts the bytes of the whole command, all five files.
    m_engine.SetBytesTotal(1065538);
    m_engine.SetBytesWritten(0);
    for (const auto& [file, size, reads, percentAfter] : {std::tuple{"EMPTY", 0, 0, 0},
                                                          {"ONE", 1, 1, 0},
                                                          {"EXACT", 32768, 1, 3},
                                                          {"OVER", 32769, 2, 6},
                                                          {"BIG", 1000000, 31, 100}}) {
        SCOPED_TRACE(file);
        m_image->ClearLog();
        const QString name = QString::fromLatin1(file);
        ASSERT_EQ(
            m_engine.ExtractFile(name, Target(name), UnixTimeToFileTime(1234567890, 987654321)),
            STATUS_OK);
        int percent = -1;
        m_engine.GetProgress(PROGRESS_EXTRACT, &percent);
        EXPECT_EQ(std::pair(m_image->Count(u"read"_s), percent), std::pair(reads, percentAfter));
        EXPECT_TRUE(HasFakeContent(Target(name), file, size));
        struct stat st = {};
        ASSERT_EQ(stat(QFile::encodeName(Target(name)).constData(), &st), 0);
        EXPECT_EQ(std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), std::pair(1234567890L, 0L))
            << "whole seconds";
    }
    EXPECT_EQ(m_engine.GetBytesWritten(), 1065538u);
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_EXTRACT_BEGIN), u"EMPTY");
    EXPECT_FALSE(m_engine.IsExtracting());
}

TEST_F(Extraction, CancelledLargeFileLeavesNothing)
{
    Load(u"file HUGE 200000000\n"_s);
    int chunks = 0;
    m_engine.SetMessagePump([&] {
        if (++chunks == 100)
            m_engine.SetCancel(true);
    });
    const QString target = Target(u"HUGE"_s);
    EXPECT_EQ(m_engine.ExtractFile(u"HUGE"_s, target, 0), STATUS_CANCELLED);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_LT(m_image->Count(u"read"_s), 200) << "the reading stopped at once";
    EXPECT_EQ(m_image->Count(u"closefile"_s), 1);

    // In a folder, the files the writers had not finished go too; the
    // ones that stay are whole.
    QString script = u"dir D\n"_s;
    for (int i = 0; i < 400; ++i)
        script += u"file D\\%1 %2\n"_s.arg(i).arg(i % 3 ? i : 300000);
    m_engine.SetCancel(false);
    Load(script);
    chunks = 0;
    EXPECT_EQ(Folder(u"D"_s), STATUS_CANCELLED);
    const QStringList left = QDir(Target(u"D"_s)).entryList(QDir::Files);
    EXPECT_LT(left.size(), 400);
    for (const QString& name : left)
        EXPECT_TRUE(HasFakeContent(Target(u"D/"_s + name), qPrintable(u"D\\"_s + name),
                                   name.toInt() % 3 ? name.toUInt() : 300000))
            << qPrintable(name);
}

TEST_F(Extraction, ReadFailuresLeaveNoFile)
{
    // Nothing is read before an image is attached.
    EXPECT_EQ(m_engine.ExtractFile(u"A"_s, Target(u"A"_s), 0), STATUS_UNEXPECTED);
    EXPECT_EQ(Folder(u"A"_s), STATUS_FAIL);
    Load(QStringLiteral("file BAD 100000\nfail read BAD eb010003 2\nfile SHORT 10\nshort SHORT\n"
                        "file A 1\n"));
    ExpectFails("BAD", Target(u"BAD"_s), static_cast<STATUS>(0xEB010003), NOTIFY_READ_FAILED);
    // A module that stops giving bytes early must not hang the copy.
    ExpectFails("SHORT", Target(u"SHORT"_s), STATUS_OK, NOTIFY_READ_FAILED);
    // A file the image lacks still removes the file it was to replace.
    ASSERT_TRUE(WriteBytes(Target(u"old"_s), "old"));
    ExpectFails("NOPE", Target(u"old"_s), STATUS_OK, 0);
    // /proc is no file system a file may be written to.
    m_image->ClearLog();
    ExpectFails("A", u"/proc/lantern-test"_s, STATUS_FAIL, NOTIFY_VOLUME_UNSUITABLE);
    EXPECT_EQ(m_image->Count(u"read"_s), 0);
}

// A disk that takes nothing, one that fills up mid-file, and an error told
// only by close(), with or without data written.
TEST_F(Extraction, WriteFailuresLeaveNoFile)
{
    Load(u"file DATA 500000\nfile EMPTY 0\nfile OTHER 10\n"_s);
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const rlim_t room : {rlim_t{0}, rlim_t{100000}}) {
        SCOPED_TRACE(room);
        rlimit small = before;
        small.rlim_cur = room;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        ExpectFails("DATA", Target(u"DATA%1"_s.arg(room)), STATUS_FAIL, NOTIFY_WRITE_FAILED);
        setrlimit(RLIMIT_FSIZE, &before);
    }
    std::signal(SIGXFSZ, oldHandler);
    for (const char* name : {"DATA", "EMPTY"}) {
        SCOPED_TRACE(name);
        const FailingClose failing(Target(QString::fromLatin1(name)));
        ExpectFails(name, Target(QString::fromLatin1(name)), STATUS_FAIL, NOTIFY_WRITE_FAILED);
    }
    // Other files close as usual.
    EXPECT_EQ(m_engine.ExtractFile(u"OTHER"_s, Target(u"OTHER"_s), 0), STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(u"OTHER"_s), "OTHER", 10));
}

// A read-only file and a link in the way.
TEST_F(Extraction, TargetsInTheWay)
{
    Load(u"file DATA 10\n"_s);
    // A link at the target is replaced, not written through.
    const QString outside = Target(u"OUTSIDE"_s), link = Target(u"DATA"_s);
    WriteBytes(outside, "mine");
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(link).constData()),
              0);
    EXPECT_EQ(m_engine.ExtractFile(u"DATA"_s, link, 0), STATUS_OK);
    EXPECT_TRUE(!QFileInfo(link).isSymLink() && HasFakeContent(link, "DATA", 10));
    EXPECT_EQ(ReadBytes(outside), QByteArray("mine"));
    const QString target = Target(u"locked"_s);
    ASSERT_TRUE(WriteBytes(target, "old"));
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
    ExpectFails("DATA", target, STATUS_FAIL, NOTIFY_ACCESS_DENIED);
    EXPECT_EQ(ReadBytes(target), "old");
    if (bImmutable)
        std::system(("chattr -i '" + path + "'").constData());
}

TEST_F(Extraction, FolderKeepsItsShapeBelowTheTarget)
{
    Load(u"dir A\nfile A\\top.bin 5\ndir A\\DATA\ndir A\\DATA\\A\nfile A\\DATA\\A\\deep.bin 40000\n"
         "dir A\\DATA\\empty\nfile A\\DATA\\mid.bin 3 1400000000\ndir A\\..\nfile OTHER 1\n"_s);
    ASSERT_EQ(Folder(u"A"_s), STATUS_OK);
    for (const auto& [name, size] :
         {std::pair{"A\\top.bin", 5}, {"A\\DATA\\A\\deep.bin", 40000}, {"A\\DATA\\mid.bin", 3}})
        EXPECT_TRUE(
            HasFakeContent(Target(QString::fromLatin1(name).replace(u'\\', u'/')), name, size));
    EXPECT_TRUE(QFileInfo(Target(u"A/DATA/empty"_s)).isDir());
    EXPECT_EQ(QFileInfo(Target(u"A/DATA/mid.bin"_s)).lastModified().toSecsSinceEpoch(), 1400000000);
    // A name that would climb out of the target is never followed.
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{u"A"_s});
}

// A folder stops at its first failing file (the module cannot open it, or
// it cannot be created); the engine extracts again afterwards. The files
// around the failure are many, so that the writers work on several at once:
// none after the failing one is left, every one before it is whole.
TEST_F(Extraction, FolderWriterFailsOneFileAndServesTheNextCommand)
{
    QString script =
        u"dir F\ndir K\ndir G\nfile G\\4 40000\nfile H 3\n"
        u"dir E\nfile E\\1 10\nfile E\\2 10\nfile E\\3 10\nfail openfile E\\2 80070005\n"_s;
    for (const char16_t* folder : {u"F", u"K"})
        for (int i = 0; i < 300; ++i)
            script += u"file %1\\%2 %3\n"_s.arg(folder).arg(i, 3, 10, QChar(u'0')).arg(i % 50);
    Load(script);
    EXPECT_EQ(Folder(u"E"_s), static_cast<STATUS>(0x80070005));
    EXPECT_TRUE(QFileInfo::exists(Target(u"E/1"_s)));
    EXPECT_FALSE(QFileInfo::exists(Target(u"E/3"_s)));

    // A folder in the way fails at once; a close that fails (slowly) fails
    // when the other writers are well past the file.
    ASSERT_TRUE(QDir().mkpath(Target(u"F/150"_s)));
    EXPECT_EQ(Folder(u"F"_s), STATUS_FAIL);
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_WRITE_FAILED), Target(u"F/150"_s));
    EXPECT_TRUE(QFileInfo(Target(u"F/150"_s)).isDir());
    m_notes.events.clear();
    {
        const FailingClose failing(Target(u"K/150"_s));
        EXPECT_EQ(Folder(u"K"_s), STATUS_FAIL);
    }
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_WRITE_FAILED), Target(u"K/150"_s));
    EXPECT_FALSE(QFileInfo::exists(Target(u"K/150"_s)));
    for (const QString& folder : {u"F"_s, u"K"_s}) {
        for (int i = 0; i < 300; ++i) {
            const QString name = u"%1/%2"_s.arg(folder).arg(i, 3, 10, QChar(u'0'));
            const QByteArray source = QString(name).replace(u'/', u'\\').toLatin1();
            if (i < 150) {
                EXPECT_TRUE(HasFakeContent(Target(name), source, i % 50)) << qPrintable(name);
            } else if (i > 150) {
                EXPECT_FALSE(QFileInfo::exists(Target(name))) << qPrintable(name);
            }
        }
    }

    EXPECT_EQ(Folder(u"G"_s), STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(u"G/4"_s), "G\\4", 40000));
    EXPECT_EQ(m_engine.ExtractFile(u"H"_s, Target(u"H"_s), 0), STATUS_OK);
    EXPECT_TRUE(HasFakeContent(Target(u"H"_s), "H", 3));
}

// Each file's size is weighed against the file system of its own target folder.
TEST_F(Extraction, FolderWeighsEveryFileAgainstItsTargetFolder)
{
    Load(
        u"dir F\nfile F\\small 10\ndir F\\FAT\nfile F\\FAT\\ok 20\nfile F\\FAT\\big 3221225472\n"_s);
    const QString root = QFileInfo(m_out.path()).canonicalFilePath();
    const QByteArray table = "1 0 0:1 / / rw - ext4 /dev/a rw\n"
                             "2 1 0:2 / " +
                             QFile::encodeName(root) + "/F/FAT rw - msdos /dev/b rw\n";
    SetMountTableForTesting(&table);
    EXPECT_EQ(m_engine.ExtractFolder(u"F"_s, root + QLatin1Char('/')), STATUS_FAIL);
    SetMountTableForTesting(nullptr);
    EXPECT_TRUE(HasFakeContent(root + u"/F/small"_s, "F\\small", 10));
    EXPECT_TRUE(HasFakeContent(root + u"/F/FAT/ok"_s, "F\\FAT\\ok", 20));
    EXPECT_EQ(m_notes.ParamOf(NOTIFY_VOLUME_UNSUITABLE), root + u"/F/FAT/big"_s);
    EXPECT_FALSE(QFileInfo::exists(root + u"/F/FAT/big"_s));
}

} // namespace
