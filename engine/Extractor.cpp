// Copying files and folders of the attached image to disk. The user
// interface thread reads each file in chunks and hands them to the copy
// pipeline, whose writer threads write them out.

#include "ImageEngine.h"
#include "TargetTree.h"
#include "VolumeCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char16_t* Utf16(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString NameOf(const vbe::FindData& data)
{
    std::size_t n = 0;
    while (n < vbe::kNameChars && data.name[n] != 0)
        ++n;
    return QString::fromUtf16(data.name, static_cast<qsizetype>(n));
}

// A name that can stand as one component of a disk path.
bool IsSafeEntryName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(QLatin1Char('/')) &&
           !name.contains(QChar(0));
}

FILETIME64 UtcTimeOf(const vbe::FindData& data, CLocalTimeMemo& memo)
{
    const FILETIME64 local = (FILETIME64{data.modified.high} << 32) | data.modified.low;
    FILETIME64 utc = 0;
    return memo.ToUtc(local, &utc) ? utc : 0;
}

// The times that set the last-write time to whole seconds and leave the
// access time as it is; false for times before 1900, which leave the file
// alone.
bool WriteTimes(FILETIME64 ftUtc, timespec (&times)[2])
{
    if (CImageEngine::StoredWriteTime(ftUtc) == 0)
        return false;
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(FileTimeToUnixTime(ftUtc));
    times[1].tv_nsec = 0;
    return true;
}

// True the first time `name` joins `names`: a second file of one name
// waits until the first is written, never written at the same time.
bool FirstOfItsName(QSet<QByteArray>& names, const QByteArray& name)
{
    const qsizetype before = names.size();
    names.insert(name);
    return names.size() != before;
}

bool ExistsAsEntry(int dirFd, const QByteArray& name)
{
    struct stat st
    {
    };
    return dirFd >= 0 && ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           !S_ISDIR(st.st_mode);
}

} // namespace

bool CImageEngine::TargetVolumeAccepts(const QString& folder, std::uint64_t size)
{
    if (m_nFolderDepth == 0 && !m_bQueueFiles)
        return CheckTargetVolume(folder, size);
    // The files of one folder go to one target folder: its file system is
    // looked up once per folder of the extraction.
    if (!m_bVolumeKnown || folder != m_strVolumeFolder) {
        m_strVolumeType = FileSystemTypeOf(folder);
        m_strVolumeFolder = folder;
        m_bVolumeKnown = true;
    }
    return FileSystemAcceptsSize(m_strVolumeType, size);
}

// ---- One extraction ---------------------------------------------------------

namespace {

// File systems that hold neither symbolic links nor Unix modes.
bool IsPlainFileSystem(const QString& type)
{
    static const QStringList plain = {
        QStringLiteral("vfat"),    QStringLiteral("msdos"), QStringLiteral("exfat"),
        QStringLiteral("fuseblk"), QStringLiteral("ntfs"),  QStringLiteral("cifs"),
        QStringLiteral("smb3"),    QStringLiteral("smbfs"),
    };
    return plain.contains(type);
}

QByteArray JoinPath(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

} // namespace

void CImageEngine::BeginExtraction(bool bQueueFiles)
{
    if (m_nExtractionDepth++ > 0)
        return;
    m_bQueueFiles = bQueueFiles;
    m_bVolumeKnown = false;
    m_summary = ExtractSummary{};
    m_copy.ClearFailure();
    m_nUmask = ProcessUmask();
    m_strPlainChecked.clear();
    m_bTargetPlain = false;
    m_bPlainNoticed = false;
}

STATUS CImageEngine::EndExtraction()
{
    if (m_nExtractionDepth == 0 || --m_nExtractionDepth > 0)
        return STATUS_OK;
    // Folders get their modes last, the deepest first, so that a folder
    // without write permission still received everything inside it.
    m_copy.Drain();
    const STATUS r = m_copy.Failed() ? ReportWriteFailure() : STATUS_OK;
    if (m_bQueueFiles)
        m_copy.Stop();
    m_bQueueFiles = false;
    m_queuedNames.clear();
    for (auto it = m_pendingModes.rbegin(); it != m_pendingModes.rend(); ++it) {
        const qsizetype slash = it->first.lastIndexOf('/');
        bool refused = false;
        const int parent =
            m_targets.OpenFolder(slash <= 0 ? QByteArray("/") : it->first.left(slash), &refused);
        if (parent < 0)
            continue;
        const int fd = ::openat(parent, it->first.constData() + slash + 1,
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            ::fchmod(fd, it->second);
            ::close(fd);
        }
    }
    m_pendingModes.clear();
    m_hardLinks.clear();
    m_targets.Reset();
    m_linkSources.Reset();
    m_ownLinks.clear();
    return r;
}

// Looks up once per target folder whether its file system keeps links and
// modes.
void CImageEngine::LookAtTarget(const QString& folder)
{
    if (folder == m_strPlainChecked)
        return;
    m_strPlainChecked = folder;
    m_bTargetPlain = IsPlainFileSystem(FileSystemTypeOf(folder));
}

void CImageEngine::NoteUnixFacts(const CUnixFacts& facts, const QString& folder)
{
    if (m_bTargetPlain && facts.nMode != 0 && !m_bPlainNoticed) {
        m_bPlainNoticed = true;
        Notify(NOTIFY_TARGET_PLAIN, &folder);
    }
}

bool CImageEngine::MakeFolder(int dirFd, const QByteArray& parent, const QByteArray& name,
                              const CUnixFacts& facts)
{
    if (dirFd < 0)
        return false;
    NoteUnixFacts(facts, QFile::decodeName(parent));
    const bool recorded = facts.nMode != 0 && !m_bTargetPlain;
    const unsigned perm = recorded ? (facts.nMode & 0777u) : 0777u;
    // Made writable for its owner until its content is in.
    if (::mkdirat(dirFd, name.constData(), perm | 0700u) == 0) {
        const unsigned want = perm & ~m_nUmask;
        if (recorded && want != ((perm | 0700u) & ~m_nUmask))
            m_pendingModes.emplace_back(JoinPath(parent, name), want);
        return true;
    }
    return errno == EEXIST;
}

bool CImageEngine::JoinHardLink(int dirFd, const QByteArray& name, const CUnixFacts& facts)
{
    const auto first = m_hardLinks.find(facts.nFileId);
    if (first == m_hardLinks.end() || dirFd < 0)
        return false;
    // The first name is there once its writer is done.
    m_copy.Drain();
    bool refused = false;
    const int from = m_linkSources.OpenFolder(first->second.first, &refused);
    if (from < 0)
        return false;
    const char* oldName = first->second.second.constData();
    if (::linkat(from, oldName, dirFd, name.constData(), 0) == 0)
        return true;
    struct stat st
    {
    };
    if (errno != EEXIST || ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(st.st_mode) || ::unlinkat(dirFd, name.constData(), 0) != 0)
        return false; // written as a copy of its own
    return ::linkat(from, oldName, dirFd, name.constData(), 0) == 0;
}

// Makes a symbolic link with the target the image records. Returns 1 where
// it must be written as a file instead (a target file system without links,
// an empty target).
STATUS CImageEngine::MakeLink(const QString& sourcePath, int dirFd, const QByteArray& parent,
                              const QByteArray& name, FILETIME64 ftModified)
{
    const QByteArray target = ReadLinkTarget(sourcePath).toUtf8();
    if (target.isEmpty() || dirFd < 0)
        return 1;
    const QString path = QFile::decodeName(JoinPath(parent, name));
    m_bExtracting = true;
    Notify(NOTIFY_EXTRACT_BEGIN, &sourcePath);
    int made = ::symlinkat(target.constData(), dirFd, name.constData());
    if (made != 0 && errno == EEXIST) {
        // What is there is replaced itself, whatever it points to; a folder
        // stays.
        struct stat st
        {
        };
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(st.st_mode) && ::unlinkat(dirFd, name.constData(), 0) == 0)
            made = ::symlinkat(target.constData(), dirFd, name.constData());
        else
            errno = EISDIR;
    }
    m_bExtracting = false;
    if (made != 0) {
        if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
            m_bTargetPlain = true;
            NoteUnixFacts(CUnixFacts{0120777u, 1, 0}, QFile::decodeName(parent));
            return 1;
        }
        Notify(errno == EACCES ? NOTIFY_ACCESS_DENIED : NOTIFY_WRITE_FAILED, &path);
        return STATUS_FAIL;
    }
    timespec times[2];
    if (WriteTimes(ftModified, times))
        ::utimensat(dirFd, name.constData(), times, AT_SYMLINK_NOFOLLOW);
    m_ownLinks.insert(JoinPath(parent, name));
    ++m_summary.nLinks;
    m_nBytesWritten += static_cast<std::uint64_t>(target.size());
    const std::uint64_t total = m_nBytesTotal;
    if (total != 0)
        m_nExtractPercent = static_cast<int>(m_nBytesWritten.load() * 100 / total);
    return STATUS_OK;
}

STATUS CImageEngine::ExtractEntry(const QString& sourcePath, int dirFd, const QByteArray& parent,
                                  const QByteArray& name, FILETIME64 ftModified,
                                  const CUnixFacts& facts)
{
    if (facts.IsSpecial()) {
        ++m_summary.nLeftOut;
        Notify(NOTIFY_SPECIAL_LEFT_OUT, &sourcePath);
        return STATUS_OK;
    }
    NoteUnixFacts(facts, QFile::decodeName(parent));
    if (facts.IsSymlink() && !m_bTargetPlain) {
        const STATUS r = MakeLink(sourcePath, dirFd, parent, name, ftModified);
        if (r != 1)
            return r;
    }
    if (facts.IsSharedFile() && JoinHardLink(dirFd, name, facts)) {
        ++m_summary.nHardLinks;
        return STATUS_OK;
    }
    const STATUS r = CopyFile(sourcePath, dirFd, parent, name, ftModified, facts);
    if (r >= 0) {
        ++m_summary.nFiles;
        if (facts.IsSharedFile())
            m_hardLinks.try_emplace(facts.nFileId, parent, name);
    }
    return r;
}

STATUS CImageEngine::ExtractFile(const QString& sourcePath, const QString& targetFile,
                                 FILETIME64 ftModified)
{
    return ExtractFile(sourcePath, targetFile, ftModified, CUnixFacts{});
}

STATUS CImageEngine::ExtractFile(const QString& sourcePath, const QString& targetFile,
                                 FILETIME64 ftModified, const CUnixFacts& facts)
{
    if (!m_pBrowser)
        return STATUS_UNEXPECTED;
    BeginExtraction();
    const QByteArray path = CTargetTree::Normalized(targetFile);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArray("/") : path.left(slash);
    LookAtTarget(QFile::decodeName(parent));
    bool refused = false;
    const int dirFd = m_targets.OpenFolder(parent, &refused);
    m_nDirErrno = dirFd < 0 ? errno : 0;
    if (m_bQueueFiles && !FirstOfItsName(m_queuedNames, path))
        m_copy.Drain();
    STATUS r = STATUS_OK;
    if (refused) {
        ++m_summary.nRefused;
        const QString shown = QFile::decodeName(path);
        Notify(NOTIFY_ENTRY_REFUSED, &shown);
    } else {
        r = ExtractEntry(sourcePath, dirFd, parent, path.mid(slash + 1), ftModified, facts);
    }
    EndExtraction();
    return r;
}

// Tells of the first file the writers could not write; STATUS_FAIL.
STATUS CImageEngine::ReportWriteFailure()
{
    QByteArray folder, name;
    const CCopyPipeline::Failure failure = m_copy.TakeFailure(&folder, &name);
    if (failure != CCopyPipeline::Failure::None) {
        const QString shown = QFile::decodeName(JoinPath(folder, name));
        Notify(failure == CCopyPipeline::Failure::WriteFailed ? NOTIFY_WRITE_FAILED
                                                              : NOTIFY_ACCESS_DENIED,
               &shown);
    }
    return STATUS_FAIL;
}

STATUS CImageEngine::CopyFile(const QString& sourcePath, int dirFd, const QByteArray& parent,
                              const QByteArray& name, FILETIME64 ftModified,
                              const CUnixFacts& facts)
{
    // After a file that could not be written, nothing more is.
    if (m_copy.Failed())
        return ReportWriteFailure();
    const QString targetFile = QFile::decodeName(JoinPath(parent, name));
    m_bExtracting = true;
    m_strTargetFile = targetFile;
    CCopyPipeline::Target target;
    target.dirFd = dirFd;
    target.dirErrno = m_nDirErrno;
    target.folder = parent;
    target.name = name;
    target.bModeRecorded = facts.nMode != 0 && !m_bTargetPlain;
    target.mode = target.bModeRecorded ? (facts.nMode & 0777u) : 0666u;
    target.umask = m_nUmask;
    target.bSetTime = WriteTimes(ftModified, target.times);

    std::uint64_t size = 0;
    STATUS r = m_pBrowser->OpenFile(Utf16(sourcePath), &size);
    bool bHandedOver = false;
    if (r >= 0) {
        if (TargetVolumeAccepts(QFile::decodeName(parent) + QLatin1Char('/'), size)) {
            bHandedOver = true;
            r = CopyOpenFile(sourcePath, target, size);
        } else {
            Notify(NOTIFY_VOLUME_UNSUITABLE, &targetFile);
            r = STATUS_FAIL;
        }
        m_pBrowser->CloseFile();
    }
    // A file that never reached a writer still removes the one it was to
    // replace; a writer removes what it could not complete itself.
    if (r < 0 && !bHandedOver && ExistsAsEntry(dirFd, name))
        ::unlinkat(dirFd, name.constData(), 0);
    m_bExtracting = false;
    return r;
}

// Copies the module's open file: a writer creates and writes the target
// while this side reads. A single file is waited for until its target is
// closed or removed; the files of a folder are left to the writers, which
// report a failure by the time the folder is done.
STATUS CImageEngine::CopyOpenFile(const QString& sourcePath, const CCopyPipeline::Target& target,
                                  std::uint64_t size)
{
    m_bCancel = false;
    Notify(NOTIFY_EXTRACT_BEGIN, &sourcePath);
    m_copy.BeginFile(target);
    STATUS r = SendFileData(size);
    const bool bWait = r < 0 || (m_nFolderDepth == 0 && !m_bQueueFiles);
    m_copy.EndFile(r >= 0, bWait);
    if (bWait && m_copy.Failed())
        r = ReportWriteFailure();
    if (m_bCancel)
        r = STATUS_CANCELLED;
    return r;
}

// Reads the open file chunk by chunk and hands each chunk to the writers,
// until the end, a cancel or the first failure of either side.
STATUS CImageEngine::SendFileData(std::uint64_t size)
{
    STATUS r = STATUS_OK;
    for (std::uint64_t offset = 0; offset < size;) {
        if (m_bCancel)
            return STATUS_CANCELLED;
        if (m_copy.Failed())
            return STATUS_FAIL;
        const auto wanted = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(CCopyPipeline::kChunkSize, size - offset));
        std::unique_ptr<ChunkRecord> record = m_copy.TakeRecord(wanted, &r);
        if (!record)
            return r;
        std::uint32_t read = 0;
        r = m_pBrowser->ReadFile(record->data.get(), wanted, &read, 0);
        if (r >= 0 && (read == 0 || read > wanted)) {
            // The module promised at least one byte until the end and never
            // more than asked: anything else would hang or overrun.
            r = vbe::kReadFault;
        }
        if (r < 0) {
            Notify(NOTIFY_READ_FAILED, nullptr);
            return r;
        }
        record->nLength = read;
        if (!m_copy.Send(std::move(record)))
            return STATUS_OUT_OF_MEMORY;
        offset += read;
    }
    return r;
}

STATUS CImageEngine::ExtractFolder(const QString& sourceFolder, const QString& targetParent)
{
    return ExtractFolder(sourceFolder, targetParent, CUnixFacts{});
}

STATUS CImageEngine::ExtractFolder(const QString& sourceFolder, const QString& targetParent,
                                   const CUnixFacts& facts)
{
    if (!m_pReader || !m_pBrowser)
        return STATUS_FAIL;
    BeginExtraction();
    const STATUS r = ExtractFolderIn(sourceFolder, targetParent, facts);
    EndExtraction();
    return r;
}

STATUS CImageEngine::ExtractFolderIn(const QString& sourceFolder, const QString& targetParent,
                                     const CUnixFacts& facts)
{
    // The writers serve the files below this folder; they end with the call.
    struct FolderScope
    {
        CImageEngine* engine;
        explicit FolderScope(CImageEngine* e) : engine(e)
        {
            if (engine->m_nFolderDepth++ == 0)
                engine->m_bVolumeKnown = false;
        }
        ~FolderScope()
        {
            // An extraction that hands everything over keeps its writers
            // from one folder to the next, until its end.
            if (--engine->m_nFolderDepth == 0 && !engine->m_bQueueFiles)
                engine->m_copy.Stop();
        }
    } scope(this);
    QDir().mkdir(targetParent);
    const QString lastName = sourceFolder.mid(sourceFolder.lastIndexOf(QLatin1Char('\\')) + 1);
    const QByteArray parent = CTargetTree::Normalized(targetParent);
    LookAtTarget(QFile::decodeName(parent));
    const QByteArray rootName = QFile::encodeName(lastName);
    const QByteArray root = JoinPath(parent, rootName);
    bool refused = false;
    if (IsSafeEntryName(lastName))
        MakeFolder(m_targets.OpenFolder(parent, &refused), parent, rootName, facts);

    STATUS r = STATUS_OK;
    m_localTimes.Reset();
    std::deque<QString> queue{sourceFolder};
    QSet<QByteArray> namesHere;
    while (!queue.empty() && !m_bCancel) {
        const QString folder = queue.front();
        queue.pop_front();
        // The part below the extracted folder, with '/' for the disk.
        QString relative = folder.mid(sourceFolder.size());
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QByteArray target = root + QFile::encodeName(relative);
        const int dirFd = m_targets.OpenFolder(target, &refused);
        m_nDirErrno = dirFd < 0 ? errno : 0;
        if (refused) {
            // A link that this extraction made from the image stands where
            // the folder goes: nothing below it is written.
            ++m_summary.nRefused;
            const QString shown = QFile::decodeName(target);
            Notify(NOTIFY_ENTRY_REFUSED, &shown);
            continue;
        }
        // Two entries of one name (only a damaged image has them) are not
        // written at once: the second waits for the first.
        namesHere.clear();
        vbe::FindData data{};
        r = m_pBrowser->FindFirst(Utf16(folder), &data);
        if (r == SDK_NO_ENTRIES)
            continue;
        if (r < 0)
            break;
        while (r >= 0 && !m_bCancel) {
            const QString name = NameOf(data);
            if (!IsSafeEntryName(name)) {
                // Never let a crafted name reach outside the target folder.
                r = m_pBrowser->FindNext(&data);
                continue;
            }
            const QString source = folder + QLatin1Char('\\') + name;
            const QByteArray entry = QFile::encodeName(name);
            if (data.attributes & vbe::kAttrDirectory) {
                MakeFolder(dirFd, target, entry, UnixFactsOf(data));
                queue.push_back(source);
            } else {
                if (!FirstOfItsName(namesHere, entry))
                    m_copy.Drain();
                r = ExtractEntry(source, dirFd, target, entry, UtcTimeOf(data, m_localTimes),
                                 UnixFactsOf(data));
                if (r < 0)
                    break;
            }
            r = m_pBrowser->FindNext(&data);
        }
        if (m_pBrowser->FindClose() < 0)
            break;
        if (r == SDK_NO_MORE_ENTRIES)
            r = STATUS_OK;
        if (r < 0)
            break;
    }
    // The folder is done when its last file is written; in an extraction
    // that asks nothing between files, when the extraction ends.
    if (!m_bQueueFiles || r < 0 || m_bCancel)
        m_copy.Drain();
    if (m_copy.Failed()) {
        const STATUS failed = ReportWriteFailure();
        if (r >= 0)
            r = failed;
    }
    if (m_bCancel)
        r = STATUS_CANCELLED;
    if (r == SDK_NO_ENTRIES || r == SDK_NO_MORE_ENTRIES)
        r = STATUS_OK;
    return r;
}

FILETIME64 CImageEngine::StoredWriteTime(FILETIME64 ftModified)
{
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(ftModified, &st) || st.wYear < 1900)
        return 0;
    return ftModified - ftModified % FILETIME_TICKS_PER_SECOND;
}
