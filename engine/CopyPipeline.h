#pragma once

// The two sides of copying files out of the image: the reading side (the
// thread that calls the engine) reads each file into chunks and hands it
// over, and a pool of writer threads creates the targets, writes their
// chunks out in order and closes them. Small files are handed over whole,
// so the reading side runs ahead while several writers create files at
// once; a large file streams to one writer while it is still being read.

#include "EngineTypes.h"

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// One chunk of a file on its way from the reading side to a writer.
struct ChunkRecord
{
    std::unique_ptr<std::uint8_t[]> data;
    std::uint32_t nLength = 0xFFFFFFFFu; // valid bytes; all ones until filled
    std::uint32_t nCapacity = 0;         // bytes data holds
};

class CCopyPipeline
{
public:
    // The most bytes one chunk holds.
    static constexpr std::uint32_t kChunkSize = 32768;

    // Where the bytes written go: the count of the whole command, its total
    // and the percentage derived from both.
    struct Progress
    {
        std::atomic<std::uint64_t>& written;
        const std::atomic<std::uint64_t>& total;
        std::atomic<int>& percent;
    };

    // The file a writer makes: a name in an open folder, never reached
    // through a link.
    struct Target
    {
        int dirFd = -1;    // the folder's handle, valid until the next file
        int dirErrno = 0;  // why there is no folder handle
        QByteArray folder; // the folder's path, for reports
        QByteArray name;
        std::uint32_t mode = 0666;
        bool bModeRecorded = false; // the mode is the image's: an existing file gets it too
        unsigned umask = 022;
        bool bSetTime = false; // the last-write time to give a complete file
        timespec times[2]{};
    };

    // How a file that did not come out whole failed.
    enum class Failure
    {
        None,
        WriteFailed,
        AccessDenied,
    };

    // `cancel` is the user's cancel; `maxQueued` the most bytes the reading
    // side stays ahead of the writers; `pump` dispatches waiting messages
    // while the reading side waits; `writers` the size of the pool (0: one
    // per processor).
    CCopyPipeline(const std::atomic<bool>& cancel, Progress progress, std::uint64_t maxQueued,
                  std::function<void()> pump, unsigned writers = 0);
    ~CCopyPipeline();

    CCopyPipeline(const CCopyPipeline&) = delete;
    CCopyPipeline& operator=(const CCopyPipeline&) = delete;

    // ---- The reading side, one file at a time ----
    // Hands the next file to the writers, starting them if none runs. When
    // no writer can be started the file fails as a write failure.
    void BeginFile(const Target& target);
    // A record to read the next chunk into: one a writer is done with, or a
    // new one. Null when memory is short: *pStatus says which allocation
    // failed.
    std::unique_ptr<ChunkRecord> TakeRecord(std::uint32_t nWanted, STATUS* pStatus);
    // Queues a filled record of the current file, then keeps the reading
    // side within its bound of the writers, pumping messages as it waits.
    // False when the queue could not grow (the record is freed).
    bool Send(std::unique_ptr<ChunkRecord> record);
    // Nothing more comes for the current file. A file that is not
    // `complete` (its reading failed) is removed by its writer. With `wait`,
    // returns once the file is closed or removed, pumping messages as it
    // waits; otherwise at once.
    void EndFile(bool bComplete, bool bWait);
    // Waits, pumping messages, until every file handed over is written or
    // removed.
    void Drain();

    // The folder and name of the first file that failed since the last
    // call, and how (None: none did). After a failure nothing handed over
    // later is written: files not yet begun are dropped, and the new files
    // that other writers made meanwhile are removed again.
    Failure TakeFailure(QByteArray* pFolder, QByteArray* pName);
    bool Failed() const { return m_bFailed.load(std::memory_order_relaxed); }
    // Forgets the failure, for the next command.
    void ClearFailure();

    // Wakes the writers to look at the cancel flag.
    void Wake();
    // Ends the writers once every file is done, and frees the records kept
    // for reuse.
    void Stop();

private:
    using RecordPtr = std::unique_ptr<ChunkRecord>;
    struct Folder;
    struct Job;
    // The most records a writer hands to the system in one call.
    static constexpr std::size_t kWriteBatch = 16;
    // The most files handed over and not yet written.
    static constexpr std::size_t kMaxFiles = 512;
    // The files read whole and waiting that wake a writer.
    static constexpr std::size_t kWakeBatch = 8;

    void WriterThread();
    void WriteJob(Job& job);
    int OpenTarget(Job& job);
    bool WriteChunks(int fd, RecordPtr* pRecords, std::size_t nCount);
    std::size_t TakeChunks(Job& job, RecordPtr* pRecords);
    void GiveBack(RecordPtr* pRecords, std::size_t nCount);
    void Finish(Job& job, Failure failure, bool bCreated);
    void RemoveLaterFiles(std::uint64_t failedSeq);
    void Retire();
    bool AfterFailure(const Job& job) const;
    void WaitUntil(const std::function<bool()>& done);
    bool StartWriters();

    const std::atomic<bool>& m_bCancel;
    Progress m_progress;
    const std::uint64_t m_nMaxQueued;
    std::function<void()> m_pump;
    const unsigned m_nWriters;

    // Everything below is under m_mutex, apart from the atomics.
    std::mutex m_mutex;
    // Every file handed over and not yet retired, in the order handed over:
    // a file is retired once it is done and every file before it too.
    std::deque<std::unique_ptr<Job>> m_jobs;
    // The folders with files waiting for a writer, in the order they came.
    std::vector<std::shared_ptr<Folder>> m_folders;
    std::size_t m_nWaiting = 0; // read whole and waiting in them
    unsigned m_nIdle = 0;       // writers waiting for a folder
    std::uint64_t m_nNextSeq = 0;
    Job* m_pCurrent = nullptr; // the file the reading side fills
    bool m_bFull = false;      // as many files handed over as may be
    // The folder of the latest file, its handle duplicated for the writers.
    std::shared_ptr<Folder> m_lastFolder;
    int m_nLastDirFd = -1;
    // Records the writers are done with, buffers kept, for the reading side
    // to fill again (a fresh buffer per chunk costs a page fault per 4 KiB).
    std::vector<RecordPtr> m_spare;
    std::atomic<std::uint64_t> m_nQueuedBytes{0};
    // The first failure and the sequence number of its file.
    std::atomic<bool> m_bFailed{false};
    std::uint64_t m_nFailedSeq = 0;
    Failure m_failure = Failure::None;
    QByteArray m_strFailedFolder;
    QByteArray m_strFailedName;
    bool m_bFailureTaken = false;

    // m_work wakes idle writers when a file arrives or they are to quit;
    // m_room wakes the reading side when a file is done or the queue falls
    // back under its bound.
    std::condition_variable m_work;
    std::condition_variable m_room;
    bool m_bQuit = false;
    bool m_bReaderWaiting = false;
    std::vector<std::thread> m_threads;
};
