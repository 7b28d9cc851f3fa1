#pragma once

// The program's one link to the image-reading module. It loads the module,
// attaches one image at a time under a per-image named mutex, loads the
// image's folder tree into the data model, and copies files and folders out
// to disk with a reading and a writing thread. It never shows anything: it
// reports through the notification callback, and it keeps the user
// interface alive during long operations through the message pump it is
// given.

#include "ComponentLoader.h"
#include "EngineTypes.h"
#include "FileTime.h"
#include "LocalTimeMemo.h"
#include "NamedMutex.h"
#include "VbeSdk.h"

#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CLTDataItem;

// One chunk of a file on its way from the reading side to the writer.
struct ChunkRecord
{
    std::unique_ptr<std::uint8_t[]> data;
    std::uint32_t nLength = 0xFFFFFFFFu; // valid bytes; all ones until filled
};

class CImageEngine
{
public:
    // Loads the module VBE.so from the program's folder and configures it.
    CImageEngine();
    // Loads the module from `modulePath` instead (tests, tools).
    explicit CImageEngine(const QString& modulePath);
    ~CImageEngine();

    CImageEngine(const CImageEngine&) = delete;
    CImageEngine& operator=(const CImageEngine&) = delete;

    STATUS ConfigureSdk();
    STATUS ReleaseSdk();

    STATUS AttachImage(const QString& imagePath, int nTopPercent);
    void DetachImage();
    STATUS ReattachImage();
    STATUS CanOpenImage(const QString& imagePath);

    // Opens the image and fills the tree below `pRoot` (which has no
    // children) breadth first; 0, STATUS_CANCELLED or a failure.
    STATUS LoadTree(const QString& imagePath, CLTDataItem* pRoot);

    // Copies one file of the attached image (path relative to the image
    // root, backslash-separated) to `targetFile` and gives it the
    // modification time (UTC FILETIME).
    STATUS ExtractFile(const QString& sourcePath, const QString& targetFile, FILETIME64 ftModified);
    // The last-write time ExtractFile gives a file for a record's time: the
    // time to the whole second; 0 when the file keeps its own (times before
    // 1900).
    static FILETIME64 StoredWriteTime(FILETIME64 ftModified);
    // Copies a folder of the image with everything below it into the disk
    // folder `targetParent` (ending in '/').
    STATUS ExtractFolder(const QString& sourceFolder, const QString& targetParent);

    // Always 0; an unknown code leaves *pValue unchanged.
    STATUS GetProgress(std::uint32_t nCode, int* pValue) const;
    int SetNotify(PFN_LANTERN_NOTIFY pfnNotify, void* pContext);
    void SetCancel(bool bCancel);
    // What "dispatch all window messages waiting for this thread" means
    // here: the program passes the event loop's processing, tests pass
    // probes. Without one nothing is dispatched.
    void SetMessagePump(std::function<void()> pump) { m_pfnPump = std::move(pump); }

    bool IsLoading() const { return m_bLoading; }
    bool IsExtracting() const { return m_bExtracting; }
    bool IsCancelled() const { return m_bCancel.load(); }
    std::uint64_t GetBytesWritten() const { return m_nBytesWritten.load(); }
    void SetBytesWritten(std::uint64_t n) { m_nBytesWritten = n; }
    void SetBytesTotal(std::uint64_t n) { m_nBytesTotal = n; }
    void SetExtractPercent(int n) { m_nExtractPercent = n; }
    bool HasSdk() const { return m_pEngine != nullptr; }
    bool HasImage() const { return m_pBrowser != nullptr; }
    QString GetImagePath() const { return m_szImagePath; }
    std::uint32_t GetEntryTotal() const { return m_nEntryTotal; }

    // The per-image mutex name: the image's canonical path (its absolute,
    // cleaned path while it does not exist), case kept.
    static QString ImageMutexName(const QString& imagePath);

    // The most bytes the reading side queues ahead of the writer before it
    // waits for the writer to catch up.
    static constexpr std::uint64_t kMaxQueuedBytes = 64ull << 20;

private:
    void Construct(const QString& modulePath);
    void Notify(std::uint32_t nCode, const QString* pParam);
    void Pump();

    // Extraction helpers.
    void WriterThread();
    void WriteOneFile();
    bool StartFileJob();
    void StopWriter();
    bool TargetVolumeAccepts(const QString& folder, std::uint64_t size);
    bool PushChunk(ChunkRecord* pRecord);
    std::size_t PeekChunks(ChunkRecord** pRecords, std::size_t nMax);
    void PopChunks(std::size_t nCount);
    ChunkRecord* TakeSpareChunk();
    void FreeSpareChunks();
    void ClearQueue();
    void LockQueue();
    void UnlockQueue() { m_bQueueBusy.clear(std::memory_order_release); }
    bool WriteChunks(int fd, ChunkRecord* const* pRecords, std::size_t nCount);
    void JoinWriter();
    void WakeWriter();

    std::unique_ptr<CComponentLoader> m_pLoader;
    vbe::ISdkEngine* m_pEngine = nullptr;
    vbe::ISdkImage* m_pImage = nullptr;
    vbe::ISdkReader* m_pReader = nullptr;
    vbe::ISdkBrowser* m_pBrowser = nullptr;
    bool m_bSourceSet = false;
    bool m_bReaderOpen = false;
    std::atomic_flag m_bQueueBusy;
    std::deque<ChunkRecord*> m_chunkQueue;
    // Records the writer is done with, buffers kept, for the reading side to
    // fill again (under the queue's lock): a fresh buffer per chunk cost a
    // page fault per 4 KiB.
    std::array<ChunkRecord*, 64> m_spareChunks{};
    std::size_t m_nSpareChunks = 0;
    std::thread m_writerThread;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bProducing{false};
    bool m_bLoading = false;
    bool m_bExtracting = false;
    std::atomic<int> m_nLoadPercent{0};
    std::atomic<int> m_nExtractPercent{0};
    std::atomic<std::uint64_t> m_nBytesWritten{0};
    std::atomic<std::uint64_t> m_nBytesTotal{0};
    QString m_strTargetFile;
    PFN_LANTERN_NOTIFY m_pfnNotify = nullptr;
    void* m_pNotifyContext = nullptr;
    QString m_szImagePath;
    std::atomic<bool> m_bWriteFailed{false};
    std::atomic<bool> m_bAccessDenied{false};
    std::unique_ptr<CNamedMutex> m_hImageMutex;
    std::uint32_t m_nEntryTotal = 0;
    CLocalTimeMemo m_localTimes;

    std::function<void()> m_pfnPump;

    // m_writerWake wakes the writer when a file or a chunk arrives, the
    // reading side ends, the user cancels or the writer is to quit;
    // m_signal wakes the reading side when the writer is done with a file
    // or the queue falls back under its bound.
    std::mutex m_signalMutex;
    std::condition_variable m_signal;
    std::condition_variable m_writerWake;
    // The writer's file is closed (or removed); set under m_signalMutex.
    std::atomic<bool> m_bWriterDone{true};
    std::atomic<std::uint64_t> m_nQueuedBytes{0};
    // A writer lives for one folder extraction and takes its files one by
    // one: a file is handed over with m_bFileReady; m_bWriterQuit ends it.
    // Both are set under m_signalMutex.
    std::atomic<bool> m_bFileReady{false};
    std::atomic<bool> m_bWriterQuit{false};
    // The processor each side last waited on (-1: not known): neither spins
    // while the other one waits for the same processor.
    std::atomic<int> m_nReaderCpu{-1};
    std::atomic<int> m_nWriterCpu{-1};
    // The time the writer gives the file it is writing before closing it
    // (0: none); m_bTimeSet says that it did.
    FILETIME64 m_ftTargetTime = 0;
    std::atomic<bool> m_bTimeSet{false};
    int m_nFolderDepth = 0;
    // The file-system type of the last target folder of a folder extraction.
    QString m_strVolumeFolder;
    QString m_strVolumeType;
    bool m_bVolumeKnown = false;
};

// The one engine of the program; null until the application creates it.
extern CImageEngine* g_pImageEngine;
