// The hand-over of one file's chunks from the reading side to the writer.

#include "CopyPipeline.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <sched.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(10);
constexpr auto kJoinStep = std::chrono::milliseconds(100);
// How long one side spins at most before it sleeps on a condition
// variable. The writer opens, writes and closes a small file in some tens of
// microseconds and the reading side hands over the next one in less: a
// short spin catches these hand-overs without the sleep and wake-up that a
// blocking wait costs. The spin never yields: on a busy machine a yielding
// thread loses its turn for a whole time slice, per file.
constexpr auto kSpinTime = std::chrono::nanoseconds(50'000);
constexpr auto kShortestSpin = std::chrono::nanoseconds(2'000);

// Each thread's spin learns from its hand-overs. A spin is pointless while
// the other side last ran on this thread's own processor (the other one
// busy with something else): it only keeps the other side from running,
// twice per file. And a spin that ends unanswered halves the next one, down
// to none, tried again whole every 16 waits; an answered one restores it.
class CSpinBudget
{
public:
    // Spins until done() holds or the budget has passed; returns done().
    // myCpu is where this thread runs, otherCpu where the other side ran
    // last.
    template <class Done>
    bool SpinUntil(Done done, std::atomic<int>& myCpu, const std::atomic<int>& otherCpu)
    {
        if (done())
            return true;
        const int cpu = ::sched_getcpu();
        myCpu.store(cpu, std::memory_order_relaxed);
        if (cpu >= 0 && otherCpu.load(std::memory_order_relaxed) == cpu)
            return false;
        if (m_budget.count() == 0) {
            if (++m_nSkipped < 16)
                return false;
            m_nSkipped = 0;
            m_budget = kSpinTime;
        }
        const auto start = std::chrono::steady_clock::now();
        for (int round = 1;; ++round) {
            if (done()) {
                m_budget = kSpinTime;
                return true;
            }
            if ((round & 63) == 0 && std::chrono::steady_clock::now() - start >= m_budget) {
                m_budget /= 2;
                if (m_budget < kShortestSpin)
                    m_budget = std::chrono::nanoseconds(0);
                return false;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    }

private:
    std::chrono::nanoseconds m_budget = kSpinTime;
    unsigned m_nSkipped = 0;
};

// The reading side and the writer each spin on their own thread.
thread_local CSpinBudget t_spin;

} // namespace

CCopyPipeline::CCopyPipeline(const std::atomic<bool>& cancel, Progress progress,
                             std::uint64_t maxQueued, std::function<void()> pump)
    : m_bCancel(cancel), m_progress(progress), m_nMaxQueued(maxQueued), m_pump(std::move(pump))
{
}

CCopyPipeline::~CCopyPipeline()
{
    Stop();
}

// ---- The queue ----------------------------------------------------------------

void CCopyPipeline::CQueueLock::lock()
{
    // The lock is held for a few instructions at a time: a handful of quick
    // retries take it in nearly every case, and only then does a try sleep
    // the full 10 ms (measured: 2 GiB extracted 30 % faster, with some 100
    // sleeps of 10 ms saved).
    for (int spin = 0; spin < 64; ++spin) {
        if (!m_busy.test_and_set(std::memory_order_acquire))
            return;
        std::this_thread::yield();
    }
    while (m_busy.test_and_set(std::memory_order_acquire))
        std::this_thread::sleep_for(kLockRetry);
}

bool CCopyPipeline::Push(RecordPtr& record)
{
    {
        std::lock_guard lock(m_queueLock);
        const std::uint32_t length = record->nLength;
        try {
            m_queue.push_back(std::move(record));
        } catch (const std::bad_alloc&) {
            return false;
        }
        m_nQueuedBytes += length;
    }
    Wake();
    return true;
}

std::size_t CCopyPipeline::PeekChunks(ChunkRecord** pRecords, std::size_t nMax)
{
    std::lock_guard lock(m_queueLock);
    const std::size_t n = std::min(nMax, m_queue.size());
    for (std::size_t i = 0; i < n; ++i)
        pRecords[i] = m_queue[i].get();
    return n;
}

void CCopyPipeline::PopChunks(std::size_t nCount)
{
    std::uint64_t bytes = 0;
    std::array<RecordPtr, kWriteBatch> surplus; // freed once the lock is given back
    {
        std::lock_guard lock(m_queueLock);
        for (std::size_t i = 0; i < nCount; ++i) {
            RecordPtr record = std::move(m_queue.front());
            m_queue.pop_front();
            bytes += record->nLength;
            record->nLength = 0xFFFFFFFFu;
            if (m_nSpare < m_spare.size())
                m_spare[m_nSpare++] = std::move(record);
            else
                surplus[i] = std::move(record);
        }
    }
    const std::uint64_t before = m_nQueuedBytes.fetch_sub(bytes);
    // The reading side waits only while the queue is over its bound.
    if (before > m_nMaxQueued && before - bytes <= m_nMaxQueued) {
        {
            std::lock_guard lock(m_mutex);
        }
        m_signal.notify_all();
    }
}

// Only while the writer has no file: nobody waits for the lock meanwhile.
void CCopyPipeline::ClearQueue()
{
    std::lock_guard lock(m_queueLock);
    m_queue.clear();
    m_nQueuedBytes = 0;
}

void CCopyPipeline::FreeSpare()
{
    std::lock_guard lock(m_queueLock);
    std::fill_n(m_spare.begin(), m_nSpare, nullptr);
    m_nSpare = 0;
}

void CCopyPipeline::Wake()
{
    {
        // Taking the mutex orders this wake-up after the writer's check.
        std::lock_guard lock(m_mutex);
    }
    m_writerWake.notify_one();
}

// ---- The reading side -----------------------------------------------------------

void CCopyPipeline::BeginFile(const Target& target)
{
    m_target = target;
    m_bWriteFailed = false;
    m_bAccessDenied = false;
    m_bTimeSet = false;
    ClearQueue();
    m_bProducing = true;
    {
        std::lock_guard lock(m_mutex);
        m_bWriterDone = false;
        m_bFileReady = true;
    }
    if (m_writer.joinable()) {
        m_writerWake.notify_one();
        return;
    }
    try {
        m_writer = std::thread(&CCopyPipeline::WriterThread, this);
    } catch (const std::system_error&) {
        std::lock_guard lock(m_mutex);
        m_bFileReady = false;
        m_bWriterDone = true;
        m_bWriteFailed = true; // no writer: nothing can be written
    }
}

std::unique_ptr<ChunkRecord> CCopyPipeline::TakeRecord(STATUS* pStatus)
{
    // A record the writer is done with comes back with its buffer; only the
    // bytes read into it are ever written.
    {
        std::lock_guard lock(m_queueLock);
        if (m_nSpare != 0)
            return std::move(m_spare[--m_nSpare]);
    }
    RecordPtr record(new (std::nothrow) ChunkRecord);
    if (!record) {
        *pStatus = STATUS_UNEXPECTED;
        return nullptr;
    }
    record->data.reset(new (std::nothrow) std::uint8_t[kChunkSize]);
    if (!record->data) {
        *pStatus = STATUS_OUT_OF_MEMORY;
        return nullptr;
    }
    return record;
}

bool CCopyPipeline::Send(std::unique_ptr<ChunkRecord> record)
{
    if (!Push(record))
        return false;
    m_pump();
    WaitForRoom();
    return true;
}

// Keeps the reading side at most a bounded stretch ahead of the writer, so a
// slow disk never fills memory.
void CCopyPipeline::WaitForRoom()
{
    const auto room = [&] { return m_nQueuedBytes <= m_nMaxQueued || m_bCancel || m_bWriterDone; };
    while (!room() && !Failed()) {
        {
            std::unique_lock lock(m_mutex);
            m_signal.wait_for(lock, kJoinStep, room);
        }
        m_pump();
    }
}

void CCopyPipeline::FinishFile(bool bKeepWriter)
{
    m_bProducing = false;
    Wake();
    if (m_writer.joinable()) {
        // Wait for the writer to close the file in steps of at most 100 ms,
        // dispatching waiting messages between steps; return the moment it
        // is done. A small file is done within the first spin.
        const auto done = [&] { return m_bWriterDone.load(); };
        const auto waitStep = [&] {
            std::unique_lock lock(m_mutex);
            return m_signal.wait_for(lock, kJoinStep, done);
        };
        if (!t_spin.SpinUntil(done, m_nReaderCpu, m_nWriterCpu)) {
            while (!waitStep())
                m_pump();
        }
    }
    if (!bKeepWriter)
        Stop();
    ClearQueue(); // what a cancelled or failed file left
}

void CCopyPipeline::Stop()
{
    if (m_writer.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_bWriterQuit = true;
        }
        m_writerWake.notify_one();
        m_writer.join();
        m_bWriterQuit = false;
    }
    FreeSpare();
}

// ---- The writer -------------------------------------------------------------------

// One writer serves every file of a folder extraction: between files it
// waits for the next one instead of ending, since starting and joining a
// thread per file cost more than writing a small file.
void CCopyPipeline::WriterThread()
{
    const auto handedOver = [&] { return m_bFileReady || m_bWriterQuit; };
    for (;;) {
        // The next file of a folder usually comes within microseconds.
        t_spin.SpinUntil(handedOver, m_nWriterCpu, m_nReaderCpu);
        {
            std::unique_lock lock(m_mutex);
            m_writerWake.wait(lock, handedOver);
            if (!m_bFileReady)
                return; // told to quit, with no file waiting
            m_bFileReady = false;
        }
        WriteOneFile();
        {
            std::lock_guard lock(m_mutex);
            m_bWriterDone = true;
        }
        m_signal.notify_all();
    }
}

// Creates the target in its folder, never through a link: a new file
// exclusively; where something is there already (a file the user agreed to
// replace, or one inside an extracted folder), a regular file is truncated in
// place (so a read-only one is refused as before) and anything else but a
// folder, a link above all, is replaced itself.
int CCopyPipeline::OpenTarget()
{
    const int dirFd = m_target.dirFd;
    const char* name = m_target.name.constData();
    if (dirFd < 0) {
        errno = m_target.dirErrno ? m_target.dirErrno : ENOENT;
        return -1;
    }
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dirFd, name, kCreate, m_target.mode);
    if (fd >= 0 || errno != EEXIST)
        return fd;
    struct stat st
    {
    };
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        if (::unlinkat(dirFd, name, 0) != 0)
            return -1;
        return ::openat(dirFd, name, kCreate, m_target.mode);
    }
    fd = ::openat(dirFd, name, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && m_target.bModeRecorded) {
        const mode_t want = m_target.mode & ~m_target.umask & 0777;
        if ((st.st_mode & 07777) != want)
            ::fchmod(fd, want);
    }
    return fd;
}

// Writes the records in order with as few calls as possible; false when
// the file system took fewer bytes than they hold (a full disk).
bool CCopyPipeline::WriteChunks(int fd, ChunkRecord* const* pRecords, std::size_t nCount)
{
    iovec parts[kWriteBatch];
    std::uint64_t wanted = 0;
    for (std::size_t i = 0; i < nCount; ++i) {
        parts[i].iov_base = pRecords[i]->data.get();
        parts[i].iov_len = pRecords[i]->nLength;
        wanted += pRecords[i]->nLength;
    }
    iovec* next = parts;
    int left = static_cast<int>(nCount);
    std::uint64_t written = 0;
    while (left > 0) {
        const ssize_t n = ::writev(fd, next, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::uint64_t>(n);
        // Step over what went out; a part written in half goes on from there.
        auto done = static_cast<std::size_t>(n);
        while (left > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --left;
        }
        if (left > 0) {
            next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    m_progress.written += written;
    const std::uint64_t total = m_progress.total;
    if (total != 0)
        m_progress.percent = static_cast<int>(m_progress.written.load() * 100 / total);
    return written == wanted;
}

// Writes what is queued, batch by batch, until the queue is empty or the
// user cancels; false at a short write.
bool CCopyPipeline::WriteQueued(int fd)
{
    ChunkRecord* batch[kWriteBatch];
    std::size_t n = 0;
    while (!m_bCancel && (n = PeekChunks(batch, kWriteBatch)) != 0) {
        if (!WriteChunks(fd, batch, n))
            return false;
        PopChunks(n);
    }
    return true;
}

void CCopyPipeline::WriteOneFile()
{
    const int fd = OpenTarget();
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            m_bAccessDenied = true;
        else
            m_bWriteFailed = true;
        return;
    }
    // Write what arrives until the reading side is done, sleeping while
    // the queue is empty.
    const auto arrived = [&] { return m_bCancel || !m_bProducing || m_nQueuedBytes > 0; };
    while (!m_bCancel) {
        if (!WriteQueued(fd)) {
            m_bWriteFailed = true;
            break;
        }
        if (!m_bProducing) {
            // The reading side queues nothing more; drain what it queued
            // last.
            if (!WriteQueued(fd))
                m_bWriteFailed = true;
            break;
        }
        if (!t_spin.SpinUntil(arrived, m_nWriterCpu, m_nReaderCpu)) {
            std::unique_lock lock(m_mutex);
            m_writerWake.wait(lock, arrived);
        }
    }
    // A complete file gets its time here, through the open descriptor,
    // which spares a lookup of the path; a file that fails later is
    // removed with its time.
    if (!m_bCancel && !m_bWriteFailed && m_target.bSetTime && ::futimens(fd, m_target.times) == 0)
        m_bTimeSet = true;
    // Network file systems and quotas report a failed write when the
    // file is closed: the data may never have reached the disk. The
    // descriptor is gone either way (no retry, even after EINTR).
    if (::close(fd) != 0 && !m_bCancel)
        m_bWriteFailed = true;
    if (m_bCancel)
        ::unlinkat(m_target.dirFd, m_target.name.constData(), 0);
}
