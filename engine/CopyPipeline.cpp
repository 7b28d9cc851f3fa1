// The hand-over of files from the reading side to the pool of writers.

#include "CopyPipeline.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(100);
// Records kept for reuse; more than the writers hold at once.
constexpr std::size_t kMaxSpare = 64;

} // namespace

// A target folder, its handle duplicated so that it outlives the reading
// side's own, which moves on to the next folder while the writers still
// create files in this one, and its files waiting for a writer.
struct CCopyPipeline::Folder
{
    int fd = -1;
    int err = 0; // why there is no handle
    QByteArray path;
    std::deque<Job*> waiting;
    bool bListed = false; // in m_folders
    bool bOwned = false;  // a writer takes its files in turn

    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// One file handed over, from its first chunk until it is retired.
struct CCopyPipeline::Job
{
    std::uint64_t seq = 0;
    Target target;
    std::shared_ptr<Folder> folder;
    std::deque<RecordPtr> chunks;
    std::condition_variable arrived; // its writer waits here for chunks
    bool bWriterWaiting = false;
    bool bTaken = false;   // a writer took it
    bool bSealed = false;  // the reading side queues nothing more
    bool bComplete = true; // ... and read the whole file
    bool bDone = false;    // closed, removed or dropped
    bool bCreated = false; // its writer made it new and kept it
};

CCopyPipeline::CCopyPipeline(const std::atomic<bool>& cancel, Progress progress,
                             std::uint64_t maxQueued, std::function<void()> pump, unsigned writers)
    : m_bCancel(cancel), m_progress(progress), m_nMaxQueued(maxQueued), m_pump(std::move(pump)),
      m_nWriters(writers ? writers : std::max(1u, std::thread::hardware_concurrency()))
{
}

CCopyPipeline::~CCopyPipeline()
{
    Stop();
}

// ---- The reading side -----------------------------------------------------------

bool CCopyPipeline::StartWriters()
{
    if (!m_threads.empty())
        return true;
    try {
        m_threads.reserve(m_nWriters);
        while (m_threads.size() < m_nWriters)
            m_threads.emplace_back(&CCopyPipeline::WriterThread, this);
    } catch (const std::exception&) {
        // One writer is enough to go on with.
    }
    return !m_threads.empty();
}

void CCopyPipeline::WaitUntil(const std::function<bool()>& done)
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_work.notify_all();
            m_bReaderWaiting = true;
            const bool ready = m_room.wait_for(lock, kWaitStep, done);
            m_bReaderWaiting = false;
            if (ready)
                return;
        }
        m_pump();
    }
}

void CCopyPipeline::BeginFile(const Target& target)
{
    const bool bWriters = StartWriters();
    // At the bound, wait until half the files are written: woken for every
    // file, the two sides would take turns file by file.
    if (m_bFull)
        WaitUntil([&] { return m_jobs.size() <= kMaxFiles / 2 || m_bCancel; });
    auto job = std::make_unique<Job>();
    job->target = target;
    if (!m_lastFolder || target.dirFd != m_nLastDirFd || target.folder != m_lastFolder->path) {
        auto folder = std::make_shared<Folder>();
        folder->path = target.folder;
        folder->err = target.dirErrno ? target.dirErrno : ENOENT;
        if (target.dirFd >= 0) {
            folder->fd = ::fcntl(target.dirFd, F_DUPFD_CLOEXEC, 0);
            folder->err = folder->fd < 0 ? errno : 0;
        }
        m_lastFolder = std::move(folder);
        m_nLastDirFd = target.dirFd;
    }
    job->folder = m_lastFolder;
    std::lock_guard lock(m_mutex);
    job->seq = m_nNextSeq++;
    m_pCurrent = job.get();
    m_jobs.push_back(std::move(job));
    m_bFull = m_jobs.size() >= kMaxFiles;
    if (!bWriters) {
        // No writer: nothing can be written.
        Finish(*m_pCurrent, Failure::WriteFailed, false);
        return;
    }
    Folder& folder = *m_pCurrent->folder;
    folder.waiting.push_back(m_pCurrent);
    if (!folder.bListed) {
        folder.bListed = true;
        m_folders.push_back(m_pCurrent->folder);
    }
}

std::unique_ptr<ChunkRecord> CCopyPipeline::TakeRecord(std::uint32_t nWanted, STATUS* pStatus)
{
    // A record a writer is done with comes back with its buffer; only the
    // bytes read into it are ever written. The last chunk of a file (most
    // small files have no other) gets a buffer of its own size instead:
    // with hundreds of small files waiting, whole chunks would each touch
    // pages of their own for a few bytes, and a first touch is costly.
    const bool bWhole = nWanted >= kChunkSize;
    if (bWhole) {
        std::lock_guard lock(m_mutex);
        if (!m_spare.empty()) {
            RecordPtr record = std::move(m_spare.back());
            m_spare.pop_back();
            return record;
        }
    }
    RecordPtr record(new (std::nothrow) ChunkRecord);
    if (!record) {
        *pStatus = STATUS_UNEXPECTED;
        return nullptr;
    }
    record->nCapacity = bWhole ? kChunkSize : std::max<std::uint32_t>(nWanted, 1);
    record->data.reset(new (std::nothrow) std::uint8_t[record->nCapacity]);
    if (!record->data) {
        *pStatus = STATUS_OUT_OF_MEMORY;
        return nullptr;
    }
    return record;
}

bool CCopyPipeline::Send(std::unique_ptr<ChunkRecord> record)
{
    {
        std::lock_guard lock(m_mutex);
        Job& job = *m_pCurrent;
        if (job.bDone) {
            // Dropped (a cancel or an earlier failure): the record is spare.
            GiveBack(&record, 1);
            return true;
        }
        const std::uint32_t length = record->nLength;
        try {
            job.chunks.push_back(std::move(record));
        } catch (const std::bad_alloc&) {
            return false;
        }
        m_nQueuedBytes += length;
        if (job.bWriterWaiting)
            job.arrived.notify_one();
        else if (job.chunks.size() == 2 && !job.bTaken)
            m_work.notify_one(); // a large file streams to its writer at once
    }
    m_pump();
    // Keep at most a bounded stretch ahead of the writers, so a slow disk
    // never fills memory.
    if (m_nQueuedBytes > m_nMaxQueued)
        WaitUntil([&] { return m_nQueuedBytes <= m_nMaxQueued || m_bCancel || Failed(); });
    return true;
}

void CCopyPipeline::EndFile(bool bComplete, bool bWait)
{
    {
        std::lock_guard lock(m_mutex);
        Job& job = *m_pCurrent;
        m_pCurrent = nullptr;
        job.bSealed = true;
        job.bComplete = bComplete;
        if (job.bWriterWaiting)
            job.arrived.notify_one();
        // Small files wake a sleeping writer a few at a time: a wake-up per
        // file cost more than writing it. The reading side wakes every
        // writer before it waits for them.
        if (!job.bTaken && !job.bDone) {
            ++m_nWaiting;
            if (m_nIdle != 0 && m_nWaiting >= kWakeBatch)
                m_work.notify_one();
        }
        Retire();
    }
    if (bWait)
        Drain(); // it is the last file handed over
}

void CCopyPipeline::Drain()
{
    WaitUntil([&] { return m_jobs.empty(); });
}

CCopyPipeline::Failure CCopyPipeline::TakeFailure(QByteArray* pFolder, QByteArray* pName)
{
    std::lock_guard lock(m_mutex);
    if (!m_bFailed || m_bFailureTaken)
        return Failure::None;
    m_bFailureTaken = true;
    *pFolder = m_strFailedFolder;
    *pName = m_strFailedName;
    return m_failure;
}

void CCopyPipeline::ClearFailure()
{
    std::lock_guard lock(m_mutex);
    m_bFailed = false;
    m_bFailureTaken = false;
    m_failure = Failure::None;
    m_strFailedFolder.clear();
    m_strFailedName.clear();
}

void CCopyPipeline::Wake()
{
    std::lock_guard lock(m_mutex);
    for (const auto& job : m_jobs)
        if (job->bWriterWaiting)
            job->arrived.notify_one();
    m_work.notify_all();
}

void CCopyPipeline::Stop()
{
    if (!m_threads.empty()) {
        {
            std::lock_guard lock(m_mutex);
            m_bQuit = true;
        }
        m_work.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
        m_bQuit = false;
    }
    std::lock_guard lock(m_mutex);
    m_spare.clear();
    m_lastFolder.reset();
    m_nLastDirFd = -1;
}

// ---- Under the lock ---------------------------------------------------------------

void CCopyPipeline::GiveBack(RecordPtr* pRecords, std::size_t nCount)
{
    for (std::size_t i = 0; i < nCount; ++i) {
        if (m_spare.size() >= kMaxSpare)
            break;
        if (pRecords[i]->nCapacity != kChunkSize)
            continue;
        pRecords[i]->nLength = 0xFFFFFFFFu;
        m_spare.push_back(std::move(pRecords[i]));
    }
}

// Handed over after the file that failed: not to be written.
bool CCopyPipeline::AfterFailure(const Job& job) const
{
    return m_bFailed && job.seq > m_nFailedSeq;
}

// Drops the files from the front of the list that are done, with every
// file before them.
void CCopyPipeline::Retire()
{
    while (!m_jobs.empty() && m_jobs.front()->bDone && m_jobs.front()->bSealed)
        m_jobs.pop_front();
    // The reading side waits for files only until half of them are done.
    if (m_bReaderWaiting && m_jobs.size() <= kMaxFiles / 2)
        m_room.notify_one();
}

// After a failure, the files handed over later that other writers made
// meanwhile go again, as if the extraction had stopped at the failure.
void CCopyPipeline::RemoveLaterFiles(std::uint64_t failedSeq)
{
    for (const auto& job : m_jobs) {
        if (job->seq > failedSeq && job->bDone && job->bCreated) {
            ::unlinkat(job->folder->fd, job->target.name.constData(), 0);
            job->bCreated = false;
        }
    }
}

void CCopyPipeline::Finish(Job& job, Failure failure, bool bCreated)
{
    job.bDone = true;
    job.bCreated = bCreated;
    for (RecordPtr& record : job.chunks) {
        m_nQueuedBytes -= record->nLength;
        GiveBack(&record, 1);
    }
    job.chunks.clear();
    if (failure != Failure::None && (!m_bFailed || (!m_bFailureTaken && job.seq < m_nFailedSeq))) {
        m_bFailed = true;
        m_nFailedSeq = job.seq;
        m_failure = failure;
        m_strFailedFolder = job.target.folder;
        m_strFailedName = job.target.name;
        RemoveLaterFiles(job.seq);
    } else if (bCreated && AfterFailure(job)) {
        ::unlinkat(job.folder->fd, job.target.name.constData(), 0);
        job.bCreated = false;
    }
    Retire();
}

// ---- The writers ------------------------------------------------------------------

// Each writer keeps to one folder, taking its files in the order they were
// handed over, while another writer takes the next folder: files made in
// one folder at once wait for each other on the folder's lock in the
// kernel. A writer with no folder of its own helps with a busy one. Each
// ends when told to quit with nothing left waiting.
void CCopyPipeline::WriterThread()
{
    // A file is ready for a writer once it is read whole, or when it is
    // large and streams: a writer that took a file still being read would
    // only wait for it, a sleep and a wake-up per file.
    const auto ready = [&](const Folder& folder) {
        const Job& next = *folder.waiting.front();
        return next.bSealed || next.chunks.size() >= 2 || m_bCancel;
    };
    const auto pick = [&]() -> std::shared_ptr<Folder> {
        std::shared_ptr<Folder> busy;
        for (const auto& folder : m_folders) {
            if (!ready(*folder))
                continue;
            if (!folder->bOwned)
                return folder;
            busy = busy ? busy : folder;
        }
        return busy;
    };
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Folder> folder; // held while its files are written
        ++m_nIdle;
        m_work.wait(lock, [&] { return (folder = pick()) || m_bQuit; });
        --m_nIdle;
        if (!folder)
            return;
        const bool bOwn = !folder->bOwned;
        if (bOwn)
            folder->bOwned = true;
        do {
            Job& job = *folder->waiting.front();
            folder->waiting.pop_front();
            job.bTaken = true;
            if (job.bSealed)
                --m_nWaiting;
            if (folder->waiting.empty()) {
                folder->bListed = false;
                m_folders.erase(std::find(m_folders.begin(), m_folders.end(), folder));
            }
            if (m_bCancel || AfterFailure(job)) {
                Finish(job, Failure::None, false); // dropped unwritten
            } else {
                lock.unlock();
                WriteJob(job);
                lock.lock();
            }
        } while (bOwn && !folder->waiting.empty() && ready(*folder));
        if (bOwn)
            folder->bOwned = false;
    }
}

// Creates the target in its folder, never through a link: a new file
// exclusively; where something is there already (a file the user agreed to
// replace, or one inside an extracted folder), a regular file is truncated in
// place (so a read-only one is refused as before) and anything else but a
// folder, a link above all, is replaced itself.
int CCopyPipeline::OpenTarget(Job& job)
{
    const Target& target = job.target;
    const int dirFd = job.folder->fd;
    const char* name = target.name.constData();
    if (dirFd < 0) {
        errno = job.folder->err;
        return -1;
    }
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dirFd, name, kCreate, target.mode);
    if (fd >= 0 || errno != EEXIST) {
        job.bCreated = fd >= 0;
        return fd;
    }
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
        fd = ::openat(dirFd, name, kCreate, target.mode);
        job.bCreated = fd >= 0;
        return fd;
    }
    fd = ::openat(dirFd, name, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && target.bModeRecorded) {
        const mode_t want = target.mode & ~target.umask & 0777;
        if ((st.st_mode & 07777) != want)
            ::fchmod(fd, want);
    }
    return fd;
}

// Writes the records in order with as few calls as possible; false when
// the file system took fewer bytes than they hold (a full disk).
bool CCopyPipeline::WriteChunks(int fd, RecordPtr* pRecords, std::size_t nCount)
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
    const std::uint64_t total = m_progress.total;
    const std::uint64_t sum = m_progress.written += written;
    if (total != 0)
        m_progress.percent = static_cast<int>(sum * 100 / total);
    return written == wanted;
}

// Moves the file's next chunks, up to a batch, out of its queue, waiting
// while it is empty and more is to come; none once it is all written or the
// file is to stop (a cancel, or an earlier file failed).
std::size_t CCopyPipeline::TakeChunks(Job& job, RecordPtr* pRecords)
{
    std::unique_lock lock(m_mutex);
    const auto stopped = [&] { return m_bCancel || AfterFailure(job); };
    job.bWriterWaiting = true;
    job.arrived.wait(lock, [&] { return stopped() || !job.chunks.empty() || job.bSealed; });
    job.bWriterWaiting = false;
    if (stopped())
        return 0;
    const std::size_t n = std::min(kWriteBatch, job.chunks.size());
    for (std::size_t i = 0; i < n; ++i) {
        pRecords[i] = std::move(job.chunks.front());
        job.chunks.pop_front();
    }
    return n;
}

void CCopyPipeline::WriteJob(Job& job)
{
    const int fd = OpenTarget(job);
    if (fd < 0) {
        const Failure failure =
            errno == EACCES || errno == EPERM ? Failure::AccessDenied : Failure::WriteFailed;
        std::lock_guard lock(m_mutex);
        Finish(job, failure, false);
        return;
    }
    Failure failure = Failure::None;
    RecordPtr batch[kWriteBatch];
    for (std::size_t n; (n = TakeChunks(job, batch)) != 0;) {
        const bool ok = WriteChunks(fd, batch, n);
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < n; ++i)
            bytes += batch[i]->nLength;
        const std::uint64_t before = m_nQueuedBytes.fetch_sub(bytes);
        {
            std::lock_guard lock(m_mutex);
            GiveBack(batch, n);
            if (m_bReaderWaiting && before > m_nMaxQueued && before - bytes <= m_nMaxQueued)
                m_room.notify_one();
        }
        std::fill_n(batch, n, nullptr);
        if (!ok) {
            failure = Failure::WriteFailed;
            break;
        }
    }
    bool bKeep = false;
    {
        std::lock_guard lock(m_mutex);
        bKeep = failure == Failure::None && job.bSealed && job.bComplete && job.chunks.empty() &&
                !m_bCancel && !AfterFailure(job);
    }
    // A complete file gets its time here, through the open descriptor,
    // which spares a lookup of the path.
    const Target& target = job.target;
    const bool bTimeSet = !bKeep || !target.bSetTime || ::futimens(fd, target.times) == 0;
    // Network file systems and quotas report a failed write when the file
    // is closed: the data may never have reached the disk. The descriptor
    // is gone either way (no retry, even after EINTR).
    if (::close(fd) != 0 && bKeep) {
        failure = Failure::WriteFailed;
        bKeep = false;
    }
    const int dirFd = job.folder->fd;
    const char* name = target.name.constData();
    if (!bKeep)
        ::unlinkat(dirFd, name, 0);
    else if (!bTimeSet)
        ::utimensat(dirFd, name, target.times, AT_SYMLINK_NOFOLLOW);
    std::lock_guard lock(m_mutex);
    Finish(job, failure, bKeep && job.bCreated);
}
