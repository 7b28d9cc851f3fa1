#pragma once

// The program's one link to the image-reading module. It loads the module,
// attaches one image at a time under a per-image named mutex, loads the
// image's folder tree into the data model, and copies files and folders out
// to disk with a reading and a writing thread. It never shows anything: it
// reports through the notification callback, and it keeps the user
// interface alive during long operations through the message pump it is
// given.

#include "ComponentLoader.h"
#include "CopyPipeline.h"
#include "EngineTypes.h"
#include "FileTime.h"
#include "LTDataItem.h"
#include "LocalTimeMemo.h"
#include "NamedMutex.h"
#include "TargetTree.h"
#include "VbeFacts.h"
#include "VbeSdk.h"

#include <QSet>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

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
    // Whether attaching takes the per-image mutex (the viewer) or only reads
    // (lantern-cli, which keeps no one out and is kept out by no one).
    void SetImageMutexUsed(bool bUsed) { m_bImageMutexUsed = bUsed; }
    void DetachImage();
    STATUS ReattachImage();
    STATUS CanOpenImage(const QString& imagePath);
    // What the module reads of the image: file systems, boot records,
    // tracks. kNotImplemented when the module has no such export.
    vbe::Result ReadImageFacts(const QString& imagePath, VbeImageFacts* pFacts) const;
    // What the module reads of one entry of the shown tree (entryPath as
    // OpenFile takes it, "" for the root). kNotImplemented when the module
    // has no such export.
    vbe::Result ReadEntryFacts(const QString& imagePath, const QString& entryPath,
                               VbeEntryFacts* pFacts) const;
    // Why the module cannot open the image, in its words (a file a cue
    // sheet names is missing, ...), or empty.
    QString OpenFailureReason(const QString& imagePath) const;

    // Opens the image and fills the tree below `pRoot` (which has no
    // children) breadth first; 0, STATUS_CANCELLED or a failure.
    STATUS LoadTree(const QString& imagePath, CLTDataItem* pRoot);

    // Copies one file of the attached image (path relative to the image
    // root, backslash-separated) to `targetFile` and gives it the
    // modification time (UTC FILETIME).
    STATUS ExtractFile(const QString& sourcePath, const QString& targetFile, FILETIME64 ftModified);
    // The same for an entry of which the image records Unix facts: its
    // mode, a symbolic link made as a link, further names of one file as
    // hard links, and device nodes, FIFOs and sockets left out (with
    // NOTIFY_SPECIAL_LEFT_OUT).
    STATUS ExtractFile(const QString& sourcePath, const QString& targetFile, FILETIME64 ftModified,
                       const CUnixFacts& facts);
    // Reads one file of the attached image (path as for ExtractFile) and
    // hands its bytes to `consume` in order, pumping messages between
    // blocks; NOTIFY_READ_BEGIN tells its path, and the bytes count towards
    // the extraction's progress figures. 0; STATUS_CANCELLED after
    // SetCancel(true) or when `consume` answers false; or the module's
    // failure, told to no one: the caller knows what the reading was for.
    STATUS ReadImageFile(const QString& sourcePath,
                         const std::function<bool(const char*, std::size_t)>& consume);
    // Counts bytes read for a command's progress, as an extraction counts
    // the bytes it writes (ReadImageFile counts its own).
    void CountBytesRead(std::uint64_t n);
    // The last-write time ExtractFile gives a file for a record's time: the
    // time to the whole second; 0 when the file keeps its own (times before
    // 1900).
    static FILETIME64 StoredWriteTime(FILETIME64 ftModified);
    // Copies a folder of the image with everything below it into the disk
    // folder `targetParent` (ending in '/').
    STATUS ExtractFolder(const QString& sourceFolder, const QString& targetParent);
    // The same, the folder itself getting the mode in `facts`.
    STATUS ExtractFolder(const QString& sourceFolder, const QString& targetParent,
                         const CUnixFacts& facts);

    // One extraction of several calls: hard links join files across its
    // calls, its notices come once, and folder modes are set when it ends,
    // after everything inside them is written. A call outside one is an
    // extraction of its own. Nested pairs count as one. With `bQueueFiles`
    // an ExtractFile returns once its file is handed to the writers, as
    // the files of a folder are, for callers that ask nothing between
    // files; EndExtraction then waits for them and reports the first that
    // failed (STATUS_FAIL).
    void BeginExtraction(bool bQueueFiles = false);
    STATUS EndExtraction();
    // What the current or last extraction did.
    struct ExtractSummary
    {
        std::uint32_t nFiles = 0;     // files written
        std::uint32_t nLinks = 0;     // symbolic links made
        std::uint32_t nHardLinks = 0; // further names of files already written
        std::uint32_t nLeftOut = 0;   // device nodes, FIFOs and sockets
        std::uint32_t nRefused = 0;   // entries that lay behind a link of the image
        std::uint32_t nSkipped = 0;   // existing entries the user kept
    };
    // The command kept an existing entry instead of replacing it.
    void NoteSkipped() { ++m_summary.nSkipped; }
    const ExtractSummary& GetExtractSummary() const { return m_summary; }

    // Always 0; an unknown code leaves *pValue unchanged.
    STATUS GetProgress(std::uint32_t nCode, int* pValue) const;
    int SetNotify(PFN_LANTERN_NOTIFY pfnNotify, void* pContext);
    void SetCancel(bool bCancel);
    // What "dispatch all window messages waiting for this thread" means
    // here: the program passes the event loop's processing, tests pass
    // probes. Without one nothing is dispatched.
    void SetMessagePump(std::function<void()> pump) { m_pfnPump = std::move(pump); }

    // Lets the user interface catch up, as the engine does between blocks.
    void PumpMessages() { Pump(); }
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
    // Damaged records the module left out of the loaded tree.
    std::uint32_t GetDamageCount() const { return m_nDamage; }

    // The per-image mutex name: the image's canonical path (its absolute,
    // cleaned path while it does not exist), case kept.
    static QString ImageMutexName(const QString& imagePath);

    // The most bytes the reading side queues ahead of the writers before it
    // waits for them to catch up.
    static constexpr std::uint64_t kMaxQueuedBytes = 64ull << 20;

private:
    void Construct(const QString& modulePath);
    void Notify(std::uint32_t nCode, const QString* pParam);
    void Pump();

    // Extraction helpers.
    static CUnixFacts UnixFactsOf(const vbe::FindData& data);
    QString ReadLinkTarget(const QString& sourcePath);
    STATUS ExtractEntry(const QString& sourcePath, int dirFd, const QByteArray& parent,
                        const QByteArray& name, FILETIME64 ftModified, const CUnixFacts& facts);
    STATUS CopyFile(const QString& sourcePath, int dirFd, const QByteArray& parent,
                    const QByteArray& name, FILETIME64 ftModified, const CUnixFacts& facts);
    STATUS CopyOpenFile(const QString& sourcePath, const CCopyPipeline::Target& target,
                        std::uint64_t size);
    STATUS ReportWriteFailure();
    STATUS SendFileData(std::uint64_t size);
    STATUS MakeLink(const QString& sourcePath, int dirFd, const QByteArray& parent,
                    const QByteArray& name, FILETIME64 ftModified);
    bool JoinHardLink(int dirFd, const QByteArray& name, const CUnixFacts& facts);
    bool MakeFolder(int dirFd, const QByteArray& parent, const QByteArray& name,
                    const CUnixFacts& facts);
    void LookAtTarget(const QString& folder);
    void NoteUnixFacts(const CUnixFacts& facts, const QString& folder);
    STATUS ExtractFolderIn(const QString& sourceFolder, const QString& targetParent,
                           const CUnixFacts& facts);
    bool TargetVolumeAccepts(const QString& folder, std::uint64_t size);

    std::unique_ptr<CComponentLoader> m_pLoader;
    vbe::ISdkEngine* m_pEngine = nullptr;
    vbe::ISdkImage* m_pImage = nullptr;
    vbe::ISdkReader* m_pReader = nullptr;
    vbe::ISdkBrowser* m_pBrowser = nullptr;
    bool m_bSourceSet = false;
    bool m_bReaderOpen = false;
    std::atomic<bool> m_bCancel{false};
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
    std::unique_ptr<CNamedMutex> m_hImageMutex;
    bool m_bImageMutexUsed = true;
    std::uint32_t m_nEntryTotal = 0;
    std::uint32_t m_nDamage = 0;
    CLocalTimeMemo m_localTimes;

    std::function<void()> m_pfnPump;

    // The reading side and the writers of the files being copied. The
    // writers live for one folder extraction and take its files in turn.
    CCopyPipeline m_copy{m_bCancel,
                         {m_nBytesWritten, m_nBytesTotal, m_nExtractPercent},
                         kMaxQueuedBytes,
                         [this] { Pump(); }};
    int m_nFolderDepth = 0;
    // Whether single files are left to the writers too (BeginExtraction(true)),
    // and the targets handed over so far.
    bool m_bQueueFiles = false;
    QSet<QByteArray> m_queuedNames;
    // The current extraction (m_nExtractionDepth > 0): its folders, the
    // first name written of each shared file, folders whose mode waits for
    // their content, and whether its target keeps links and modes.
    int m_nExtractionDepth = 0;
    std::set<QByteArray> m_ownLinks;
    CTargetTree m_targets{m_ownLinks};
    CTargetTree m_linkSources{m_ownLinks}; // the folders of first names
    int m_nDirErrno = 0;
    std::map<std::uint64_t, std::pair<QByteArray, QByteArray>> m_hardLinks;
    std::vector<std::pair<QByteArray, unsigned>> m_pendingModes;
    QString m_strPlainChecked;
    bool m_bTargetPlain = false;
    bool m_bPlainNoticed = false;
    unsigned m_nUmask = 022;
    ExtractSummary m_summary;
    // The file-system type of the last target folder of a folder extraction.
    QString m_strVolumeFolder;
    QString m_strVolumeType;
    bool m_bVolumeKnown = false;
};

// The one engine of the program; null until the application creates it.
extern CImageEngine* g_pImageEngine;
