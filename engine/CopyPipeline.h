#pragma once

// The two sides of copying one file out of the image: the reading side (the
// thread that calls the engine) queues the file's chunks, and a writer thread
// creates the target, writes the chunks out in order and closes it. One
// writer serves every file of a folder extraction.

#include "EngineTypes.h"

#include <QByteArray>
#include <array>
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

// One chunk of a file on its way from the reading side to the writer.
struct ChunkRecord
{
    std::unique_ptr<std::uint8_t[]> data;
    std::uint32_t nLength = 0xFFFFFFFFu; // valid bytes; all ones until filled
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

    // The file the writer makes: a name in an open folder, never reached
    // through a link.
    struct Target
    {
        int dirFd = -1;
        int dirErrno = 0; // why there is no folder handle
        QByteArray name;
        std::uint32_t mode = 0666;
        bool bModeRecorded = false; // the mode is the image's: an existing file gets it too
        unsigned umask = 022;
        bool bSetTime = false; // the last-write time to give a complete file
        timespec times[2]{};
    };

    // `cancel` is the user's cancel; `maxQueued` the most bytes the reading
    // side stays ahead of the writer; `pump` dispatches waiting messages
    // while the reading side waits.
    CCopyPipeline(const std::atomic<bool>& cancel, Progress progress, std::uint64_t maxQueued,
                  std::function<void()> pump);
    ~CCopyPipeline();

    CCopyPipeline(const CCopyPipeline&) = delete;
    CCopyPipeline& operator=(const CCopyPipeline&) = delete;

    // ---- The reading side, one file at a time ----
    // Hands the next file to the writer, starting one if none is running.
    // Without a writer the file fails as a write failure.
    void BeginFile(const Target& target);
    // A record to read the next chunk into: one the writer is done with, or a
    // new one. Null when memory is short: *pStatus says which allocation
    // failed.
    std::unique_ptr<ChunkRecord> TakeRecord(STATUS* pStatus);
    // Queues a filled record for the writer, then keeps the reading side
    // within its bound of the writer, pumping messages as it waits. False
    // when the queue could not grow (the record is freed).
    bool Send(std::unique_ptr<ChunkRecord> record);
    // Nothing more comes: waits, pumping messages, until the writer has
    // closed the file or removed it, and drops what it left queued. A writer
    // that is not kept ends with the file.
    void FinishFile(bool bKeepWriter);
    // What the writer met with the current file.
    bool WriteFailed() const { return m_bWriteFailed; }
    bool AccessDenied() const { return m_bAccessDenied; }
    bool Failed() const { return m_bWriteFailed || m_bAccessDenied; }
    // The writer gave the complete file its last-write time.
    bool TimeSet() const { return m_bTimeSet; }

    // Wakes the writer to look at the cancel flag.
    void Wake();
    // Ends the writer, if one runs, and frees the records kept for reuse.
    void Stop();

private:
    // The queue's lock: an atomic test-and-set held for a few instructions at
    // a time, taken with std::lock_guard.
    class CQueueLock
    {
    public:
        void lock();
        void unlock() { m_busy.clear(std::memory_order_release); }

    private:
        std::atomic_flag m_busy;
    };

    using RecordPtr = std::unique_ptr<ChunkRecord>;
    // The most records the writer hands to the system in one call.
    static constexpr std::size_t kWriteBatch = 16;

    void WriterThread();
    void WriteOneFile();
    int OpenTarget();
    bool WriteChunks(int fd, ChunkRecord* const* pRecords, std::size_t nCount);
    bool WriteQueued(int fd);
    std::size_t PeekChunks(ChunkRecord** pRecords, std::size_t nMax);
    void PopChunks(std::size_t nCount);
    bool Push(RecordPtr& record);
    void WaitForRoom();
    void ClearQueue();
    void FreeSpare();

    const std::atomic<bool>& m_bCancel;
    Progress m_progress;
    const std::uint64_t m_nMaxQueued;
    std::function<void()> m_pump;

    // The chunks on their way, and the records the writer is done with,
    // buffers kept, for the reading side to fill again (a fresh buffer per
    // chunk cost a page fault per 4 KiB). Both under m_queueLock.
    CQueueLock m_queueLock;
    std::deque<RecordPtr> m_queue;
    std::array<RecordPtr, 64> m_spare;
    std::size_t m_nSpare = 0;
    std::atomic<std::uint64_t> m_nQueuedBytes{0};

    // m_writerWake wakes the writer when a file or a chunk arrives, the
    // reading side ends, the user cancels or the writer is to quit; m_signal
    // wakes the reading side when the writer is done with a file or the
    // queue falls back under its bound. The flags are set under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_signal;
    std::condition_variable m_writerWake;
    std::atomic<bool> m_bFileReady{false};  // a file is handed over
    std::atomic<bool> m_bWriterQuit{false}; // the writer is to end
    std::atomic<bool> m_bWriterDone{true};  // its file is closed (or removed)
    std::atomic<bool> m_bProducing{false};  // the reading side queues more
    // The processor each side last waited on (-1: not known): neither spins
    // while the other one waits for the same processor.
    std::atomic<int> m_nReaderCpu{-1};
    std::atomic<int> m_nWriterCpu{-1};

    // The writer's file, set before it is handed over, and its outcome.
    Target m_target;
    std::atomic<bool> m_bWriteFailed{false};
    std::atomic<bool> m_bAccessDenied{false};
    std::atomic<bool> m_bTimeSet{false};
    std::thread m_writer;
};
