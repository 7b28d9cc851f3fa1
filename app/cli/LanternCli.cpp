// lantern-cli: the image engine from a terminal, for scripts and for
// measuring.
//
//   lantern-cli list IMAGE
//   lantern-cli extract [--overwrite] [--quiet] IMAGE DEST [PATH...]
//   lantern-cli info IMAGE
//   lantern-cli find IMAGE PATTERN
//   lantern-cli checksum [--algo KIND] IMAGE [PATH...]
//   lantern-cli verify IMAGE [LIST]
//   lantern-cli --help | --version
//
// Exit status: 0 success, 1 failure (one line on stderr names it), 2 a wrong
// command line. resources/man/lantern-cli.1 documents the same.

#include "Checksums.h"
#include "FactsText.h"
#include "FileTypeCache.h"
#include "HeapUse.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "TreeSearch.h"
#include "UnixTree.h"
#include "VbeFacts.h"
#include "VolumeCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int)
{
    g_bInterrupted = 1;
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "lantern-cli: %s\n", qPrintable(message));
    return 1;
}

constexpr char kUsage[] =
    "usage: lantern-cli list IMAGE\n"
    "       lantern-cli extract [--overwrite] [--quiet] IMAGE DEST [PATH...]\n"
    "       lantern-cli info IMAGE\n"
    "       lantern-cli find IMAGE PATTERN\n"
    "       lantern-cli checksum [--algo KIND] IMAGE [PATH...]\n"
    "       lantern-cli verify IMAGE [LIST]\n"
    "       lantern-cli --help | --version\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

int Help()
{
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "Reads CD, DVD and Blu-ray disc images (.iso, .adi, .rdf): ISO 9660, Joliet,\n"
               "Rock Ridge and UDF; and cue/BIN, NRG, MDS/MDF, CloneCD and compressed ISO\n"
               "(CSO, ZSO) images, their audio tracks as WAV files in [AUDIO].\n"
               "\n"
               "  list IMAGE       one line per entry: D or F, size, UTC time, path (tabs)\n"
               "  extract IMAGE DEST [PATH...]\n"
               "                   copy the whole image, or the named files and folders,\n"
               "                   into DEST; a progress line shows on a terminal\n"
               "  info IMAGE       what the image holds: label, file systems, versions,\n"
               "                   sessions, boot records, tracks, sizes\n"
               "  find IMAGE PATTERN\n"
               "                   the entries whose names contain PATTERN (any case), or\n"
               "                   match it where it holds * or ?; lines as list writes\n"
               "  checksum IMAGE [PATH...]\n"
               "                   digests of the named files (folders: every file in\n"
               "                   them), or of the image file itself when none is named\n"
               "  verify IMAGE [LIST]\n"
               "                   checks the files the image's checksum lists name\n"
               "                   (md5sum.txt, SHA256SUMS, ...), or those of LIST, a list\n"
               "                   on the disk, which may name the image file itself\n"
               "\n"
               "  --overwrite      replace existing files in DEST\n"
               "  --algo KIND      crc32, md5, sha1, sha256 (the default), sha512 or all;\n"
               "                   several kinds, comma-separated, give BSD-style lines\n"
               "  -q, --quiet      no progress line\n"
               "  -h, --help       this text\n"
               "  --version        the version\n"
               "\n"
               "Exit status: 0 success, 1 failure (named on stderr), 2 wrong command line;\n"
               "find: 1 when nothing matched; verify: 1 unless every listed file matched.\n"
               "See lantern-cli(1).\n",
               stdout);
    return 0;
}

QString Duration(double seconds)
{
    const auto s = static_cast<long long>(seconds + 0.5);
    return s >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60)
                     : QString::asprintf("%lld:%02lld", s / 60, s % 60);
}

// The one-line progress display of an extraction on a terminal: percent,
// bytes written of the total, speed, time left and the file being written,
// redrawn in place and cut to the terminal's width.
class CProgressLine
{
public:
    explicit CProgressLine(bool bShown) : m_bShown(bShown) {}

    void SetFile(const QString& path) { m_strFile = path; }

    void Show(std::uint64_t written, std::uint64_t total, bool bForce = false)
    {
        if (!m_bShown)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!bForce && now - m_lastShown < std::chrono::milliseconds(200))
            return;
        m_lastShown = now;
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        const double speed = elapsed > 0 ? static_cast<double>(written) / elapsed : 0;
        const int percent = total ? static_cast<int>(written * 100 / total) : 100;
        QString line = QStringLiteral("%1%  %2 of %3")
                           .arg(percent, 3)
                           .arg(ReadableBytes(written), ReadableBytes(total));
        if (speed > 0) {
            line += QStringLiteral("  %1/s").arg(ReadableBytes(static_cast<std::uint64_t>(speed)));
            if (total > written)
                line += QStringLiteral("  %1 left")
                            .arg(Duration(static_cast<double>(total - written) / speed));
        }
        const int room = Columns() - 1 - static_cast<int>(line.size()) - 2;
        if (room > 4 && !m_strFile.isEmpty()) {
            QString file = m_strFile;
            if (file.size() > room)
                file = QStringLiteral("...") + file.right(room - 3);
            line += QStringLiteral("  ") + file;
        }
        // Back to the start of the line, the text, then clear what is left
        // of an earlier, longer one.
        std::fprintf(stderr, "\r%s\x1b[K", line.toLocal8Bit().constData());
        std::fflush(stderr);
        m_bDrawn = true;
    }

    void Clear()
    {
        if (m_bDrawn)
            std::fputs("\r\x1b[K", stderr);
        m_bDrawn = false;
    }

private:
    static int Columns()
    {
        winsize size{};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            return size.ws_col;
        return 80;
    }

    bool m_bShown;
    bool m_bDrawn = false;
    QString m_strFile;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastShown{};
};

// The path of a record from the image root with '/' separators.
QString SlashPath(const CLTDataItem* item)
{
    QString path = item->m_strFolderPath + item->m_strFileName;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.mid(1);
}

// Appends "YYYY-MM-DD hh:mm:ss" (UTC) to out; a listing writes one per entry.
void AppendUtcText(QByteArray& out, FILETIME64 ft)
{
    // A stamp before 1601-01-02 is the zero time that stands for none (as the
    // viewer's IsMissingFileTime has it); it and a stamp without a calendar
    // date are written "-", which keeps the columns.
    constexpr FILETIME64 kFirstKnown = 24ULL * 3600 * FILETIME_TICKS_PER_SECOND;
    SYSTEMTIME st;
    if (ft < kFirstKnown || !FileTimeToSystemTime(ft, &st)) {
        out += '-';
        return;
    }
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear,
                                st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    out.append(text, n);
}

// Visits every record below `root` in the tree's order: each folder's
// children in their sorted order, a folder's contents right after it.
void Walk(const CLTDataItem* root, const std::function<void(const CLTDataItem*)>& visit)
{
    std::vector<const CLTDataItem*> stack;
    for (auto it = root->m_children.rbegin(); it != root->m_children.rend(); ++it)
        stack.push_back(*it);
    while (!stack.empty()) {
        const CLTDataItem* item = stack.back();
        stack.pop_back();
        visit(item);
        for (auto it = item->m_children.rbegin(); it != item->m_children.rend(); ++it)
            stack.push_back(*it);
    }
}

// What the engine reported while it worked, for the final message.
struct Reports
{
    std::uint32_t nLastFailure = 0;
    QString strParam;
    CProgressLine* pProgress = nullptr;
};

void OnNotify(std::uint32_t nCode, const char16_t* pszParam, void* pContext)
{
    auto* reports = static_cast<Reports*>(pContext);
    switch (nCode) {
    case NOTIFY_EXTRACT_BEGIN:
        if (reports->pProgress && pszParam) {
            QString path = QString::fromUtf16(pszParam);
            path.replace(QLatin1Char('\\'), QLatin1Char('/'));
            reports->pProgress->SetFile(path.startsWith(QLatin1Char('/')) ? path.mid(1) : path);
        }
        break;
    case NOTIFY_SPECIAL_LEFT_OUT:
    case NOTIFY_ENTRY_REFUSED:
    case NOTIFY_TARGET_PLAIN: {
        QString path = pszParam ? QString::fromUtf16(pszParam) : QString();
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (reports->pProgress)
            reports->pProgress->Clear();
        if (nCode == NOTIFY_SPECIAL_LEFT_OUT)
            Fail(QStringLiteral("left out %1: device files, FIFOs and sockets are not created")
                     .arg(path));
        else if (nCode == NOTIFY_ENTRY_REFUSED)
            Fail(QStringLiteral("refused %1: a symbolic link from the image stands in its way; "
                                "nothing was written there")
                     .arg(path));
        else
            Fail(QStringLiteral("%1 keeps no symbolic links or Unix modes: links are written as "
                                "files holding their target, and modes are left out")
                     .arg(path));
        break;
    }
    case NOTIFY_VOLUME_UNSUITABLE:
    case NOTIFY_WRITE_FAILED:
    case NOTIFY_READ_FAILED:
    case NOTIFY_ACCESS_DENIED:
        reports->nLastFailure = nCode;
        reports->strParam = pszParam ? QString::fromUtf16(pszParam) : QString();
        break;
    default:
        break;
    }
}

QString OpenFailure(const QString& image, STATUS r, const CImageEngine& engine)
{
    if (!engine.HasSdk())
        return QStringLiteral("the image-reading module VBE.so is missing beside the program");
    if (r == vbe::kUnrecognized)
        return QStringLiteral("%1 holds no file system Lantern can read").arg(image);
    if (r == vbe::kCorrupt || r == vbe::kFileNotFound) {
        const QString why = engine.OpenFailureReason(image);
        if (!why.isEmpty())
            return QStringLiteral("%1 cannot be read: %2").arg(image, why);
        if (r == vbe::kCorrupt)
            return QStringLiteral("%1 is damaged beyond reading").arg(image);
    }
    if (r == vbe::kAccessDenied)
        return QStringLiteral("%1 cannot be read: permission denied").arg(image);
    return QStringLiteral("cannot open %1 (status 0x%2)")
        .arg(image)
        .arg(static_cast<std::uint32_t>(r), 8, 16, QLatin1Char('0'));
}

// Reads what the image holds through the module's facts export; false when
// the module beside the program has none.
bool ReadFacts(const QString& image, VbeImageFacts* f, vbe::Result* r)
{
    CImageEngine engine(QCoreApplication::applicationDirPath() + QStringLiteral("/VBE.so"));
    *r = engine.ReadImageFacts(image, f);
    return *r != vbe::kNotImplemented;
}

// What the module says of the first damage it met in the image, or "".
QString FirstDamage(const QString& image)
{
    VbeImageFacts f;
    vbe::Result r = vbe::kFail;
    if (!ReadFacts(image, &f, &r) || r < 0)
        return QString();
    std::size_t n = 0;
    while (n < std::size(f.firstDamage) && f.firstDamage[n] != 0)
        ++n;
    return QString::fromUtf16(f.firstDamage, static_cast<qsizetype>(n));
}

STATUS LoadImage(CImageEngine& engine, const QString& image, CLTDataItem* root, QString* error)
{
    if (!QFileInfo(image).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(image);
        return STATUS_FAIL;
    }
    const STATUS r = engine.LoadTree(QFileInfo(image).absoluteFilePath(), root);
    // The user hears of what a damaged image lost, once, before anything is
    // listed or written.
    if (r >= 0 && engine.GetDamageCount() > 0) {
        const QString first = FirstDamage(image);
        Fail(QStringLiteral("%1: %2 damaged records were left out%3")
                 .arg(image)
                 .arg(engine.GetDamageCount())
                 .arg(first.isEmpty() ? QString() : QStringLiteral(" (the first: %1)").arg(first)));
    }
    if (r == STATUS_CANCELLED)
        *error = QStringLiteral("cancelled");
    else if (r < 0)
        *error = OpenFailure(image, r, engine);
    return r;
}

// One line of a listing: D or F, size, UTC time, path (and a link's target).
// The output goes out in blocks of 64 KiB: a listing of a million lines is
// never held whole, and the buffer keeps its room between blocks.
constexpr qsizetype kOutputBlock = 1 << 16;

void AppendEntryLine(QByteArray& out, const CLTDataItem* item)
{
    out += item->IsFolder() ? "D\t" : "F\t";
    out += QByteArray::number(static_cast<qulonglong>(item->m_nSize));
    out += '\t';
    AppendUtcText(out, item->m_ftModified);
    out += '\t';
    out += SlashPath(item).toUtf8();
    if (item->IsSymlink()) {
        out += " -> ";
        out += item->m_strLinkTarget.toUtf8();
    }
    out += '\n';
    if (out.size() > kOutputBlock) {
        std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
        out.resize(0);
    }
}

int WriteOut(const QByteArray& out)
{
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : Fail(QStringLiteral("cannot write the output"));
}

int List(const QString& image)
{
    CImageEngine engine(QCoreApplication::applicationDirPath() + QStringLiteral("/VBE.so"));
    engine.SetImageMutexUsed(false); // only reads: shares the image with the viewer
    engine.SetMessagePump([&] {
        if (g_bInterrupted)
            engine.SetCancel(true);
    });
    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);
    QByteArray out;
    out.reserve(2 * kOutputBlock);
    Walk(&root, [&](const CLTDataItem* item) { AppendEntryLine(out, item); });
    return WriteOut(out);
}

// The record of a path given on the command line ("A/B.TXT", "/A"), or null.
const CLTDataItem* FindRecord(const CLTDataItem* root, const QString& path)
{
    const CLTDataItem* item = root;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const CLTDataItem* next = nullptr;
        for (const CLTDataItem* child : item->m_children) {
            if (child->m_strFileName == part) {
                next = child;
                break;
            }
        }
        if (!next)
            return nullptr;
        item = next;
    }
    return item;
}

int Extract(const QStringList& args, bool bQuiet)
{
    bool bOverwrite = false;
    QStringList rest;
    for (const QString& arg : args) {
        if (arg == u"--overwrite")
            bOverwrite = true;
        else
            rest << arg;
    }
    if (rest.size() < 2)
        return Usage();
    const QString image = rest[0];
    QString dest = QDir::cleanPath(QFileInfo(rest[1]).absoluteFilePath());
    const QStringList paths = rest.mid(2);

    CImageEngine engine(QCoreApplication::applicationDirPath() + QStringLiteral("/VBE.so"));
    engine.SetImageMutexUsed(false); // only reads: shares the image with the viewer
    // The progress line only where a person watches: never into a pipe or
    // a file.
    CProgressLine progress(!bQuiet && ::isatty(STDERR_FILENO) != 0);
    Reports reports;
    reports.pProgress = &progress;
    engine.SetNotify(&OnNotify, &reports);
    std::uint64_t total = 0;
    engine.SetMessagePump([&] {
        if (g_bInterrupted)
            engine.SetCancel(true);
        if (engine.IsExtracting())
            progress.Show(engine.GetBytesWritten(), total);
    });

    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);

    // What to extract: the named entries, or everything in the image.
    std::vector<CLTDataItem*> selection;
    if (paths.isEmpty()) {
        selection.assign(root.m_children.begin(), root.m_children.end());
    } else {
        for (const QString& path : paths) {
            auto* item = const_cast<CLTDataItem*>(FindRecord(&root, path));
            if (!item || item == &root)
                return Fail(QStringLiteral("%1: no such file or folder in the image").arg(path));
            selection.push_back(item);
        }
    }

    if (!QDir().mkpath(dest))
        return Fail(QStringLiteral("cannot create %1").arg(dest));
    // Never replace a file unless asked to: look at every target first. A
    // folder whose target does not exist yet has nothing below it to replace.
    const std::function<bool(const CLTDataItem*, const QString&)> check =
        [&](const CLTDataItem* record, const QString& target) {
            const QFileInfo info(target);
            // A link there counts, whether it leads anywhere or not.
            if (record->IsFile() && (info.exists() || info.isSymLink())) {
                error = QStringLiteral("%1 exists (use --overwrite to replace it)").arg(target);
                return false;
            }
            if (!record->IsFolder() || !info.isDir())
                return true;
            for (const CLTDataItem* child : record->m_children) {
                if (!check(child, target + QLatin1Char('/') + child->m_strFileName))
                    return false;
            }
            return true;
        };
    for (const CLTDataItem* item : selection) {
        if (!bOverwrite && !check(item, dest + QLatin1Char('/') + item->m_strFileName))
            return Fail(error);
    }
    // Several names of one file count once.
    total = DataSizeOf(QList<CLTDataItem*>(selection.begin(), selection.end()));
    if (!HasFreeSpace(dest, total))
        return Fail(
            QStringLiteral("not enough free space in %1 for %2 bytes").arg(dest).arg(total));

    engine.SetBytesTotal(total);
    engine.SetBytesWritten(0);
    STATUS r = STATUS_OK;
    // Nothing is asked between files: every file is left to the writers.
    engine.BeginExtraction(true);
    for (const CLTDataItem* item : selection) {
        QString source = SlashPath(item);
        source.replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (item->IsFolder())
            r = engine.ExtractFolder(source, dest + QLatin1Char('/'), item->m_unix);
        else
            r = engine.ExtractFile(source, dest + QLatin1Char('/') + item->m_strFileName,
                                   item->m_ftModified, item->m_unix);
        if (r < 0 || g_bInterrupted)
            break;
    }
    const STATUS ended = engine.EndExtraction();
    if (r >= 0)
        r = ended;
    if (r >= 0 && !g_bInterrupted)
        progress.Show(total, total, true);
    progress.Clear();
    if (g_bInterrupted || r == STATUS_CANCELLED)
        return Fail(QStringLiteral("cancelled; the file being written was removed"));
    if (r >= 0 && engine.GetExtractSummary().nRefused > 0)
        return Fail(
            QStringLiteral("%1 entries were refused").arg(engine.GetExtractSummary().nRefused));
    if (r >= 0)
        return 0;
    switch (reports.nLastFailure) {
    case NOTIFY_VOLUME_UNSUITABLE:
        return Fail(
            QStringLiteral("the file system of %1 cannot hold %2").arg(dest, reports.strParam));
    case NOTIFY_WRITE_FAILED:
        return Fail(
            QStringLiteral("cannot write %1: the disk is full or failed").arg(reports.strParam));
    case NOTIFY_ACCESS_DENIED:
        return Fail(QStringLiteral("cannot write %1: permission denied").arg(reports.strParam));
    case NOTIFY_READ_FAILED:
        return Fail(QStringLiteral("cannot read a file from %1: the image is damaged").arg(image));
    default:
        return Fail(QStringLiteral("extraction failed (status 0x%1)")
                        .arg(static_cast<std::uint32_t>(r), 8, 16, QLatin1Char('0')));
    }
}

// --- find, checksum, verify ---------------------------------------------------

QString ModulePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/VBE.so");
}

// An engine that only reads (it shares the image with the viewer) and stops
// on Ctrl+C; `step` runs between blocks as well.
void PrepareReading(CImageEngine& engine, const std::function<void()>& step = {})
{
    engine.SetImageMutexUsed(false);
    engine.SetMessagePump([&engine, step] {
        if (g_bInterrupted)
            engine.SetCancel(true);
        if (step)
            step();
    });
}

int Find(const QString& image, const QString& text)
{
    CImageEngine engine(ModulePath());
    PrepareReading(engine);
    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);
    const std::vector<const CLTDataItem*> found = FindInTree(&root, text);
    QByteArray out;
    for (const CLTDataItem* item : found)
        AppendEntryLine(out, item);
    // As grep: 1 when nothing matched, with nothing on stderr.
    const int written = WriteOut(out);
    return written != 0 ? written : (found.empty() ? 1 : 0);
}

// The digests asked for with --algo (repeated or comma-separated); SHA-256
// when none is.
bool TakeDigestKinds(QStringList& args, std::vector<DigestKind>& kinds)
{
    for (qsizetype i = 0; i < args.size();) {
        QString value;
        if (args[i] == u"--algo" && i + 1 < args.size()) {
            value = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(QLatin1String("--algo="))) {
            value = args[i].mid(7);
            args.remove(i);
        } else {
            ++i;
            continue;
        }
        for (const QString& word : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (word == u"all") {
                kinds = {DigestKind::Crc32, DigestKind::Md5, DigestKind::Sha1, DigestKind::Sha256};
                continue;
            }
            const std::optional<DigestKind> kind = DigestFromName(word);
            if (!kind)
                return false;
            kinds.push_back(*kind);
        }
    }
    if (kinds.empty())
        kinds.push_back(DigestKind::Sha256);
    return true;
}

// One digest per line as sha256sum writes it ("HASH  path"), or, for several
// kinds at once, as BSD tools do ("SHA256 (path) = HASH"): both are forms
// verify reads back.
void AppendDigests(QByteArray& out, const std::vector<DigestKind>& kinds,
                   const std::vector<QString>& hashes, const QString& path)
{
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (kinds.size() == 1) {
            out += hashes[i].toLatin1() + "  " + path.toUtf8() + '\n';
        } else {
            QString name = DigestName(kinds[i]);
            name.remove(QLatin1Char('-'));
            out += name.toLatin1() + " (" + path.toUtf8() + ") = " + hashes[i].toLatin1() + '\n';
        }
    }
}

int Checksum(QStringList args)
{
    std::vector<DigestKind> kinds;
    if (!TakeDigestKinds(args, kinds) || args.isEmpty())
        return Usage();
    const QString image = args.takeFirst();
    CDigestSet digests(kinds);
    QByteArray out;
    if (args.isEmpty()) {
        // The image file itself, as it lies on the disk.
        const ReadOutcome read =
            DigestDiskFile(image, digests, [](std::uint64_t) { return g_bInterrupted != 0; });
        if (read == ReadOutcome::Cancelled)
            return Fail(QStringLiteral("cancelled"));
        if (read == ReadOutcome::Failed)
            return Fail(QStringLiteral("%1: cannot be read").arg(image));
        AppendDigests(out, kinds, digests.Finish(), image);
        return WriteOut(out);
    }
    CImageEngine engine(ModulePath());
    PrepareReading(engine);
    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);
    std::vector<const CLTDataItem*> selection;
    for (const QString& path : args) {
        const CLTDataItem* item = FindRecord(&root, path);
        if (!item)
            return Fail(QStringLiteral("%1: no such file or folder in the image").arg(path));
        selection.push_back(item);
    }
    const CVerifyIo io = EngineVerifyIo(engine);
    for (const CLTDataItem* file : FilesOf(selection)) {
        const ReadOutcome read =
            io.readImageFile(file, [&](const char* data, std::size_t n) { digests.Add(data, n); });
        if (read == ReadOutcome::Cancelled)
            return Fail(QStringLiteral("cancelled"));
        if (read == ReadOutcome::Failed)
            return Fail(QStringLiteral("cannot read %1 from %2: the image is damaged")
                            .arg(SlashPathOf(file), image));
        AppendDigests(out, kinds, digests.Finish(), SlashPathOf(file));
    }
    return WriteOut(out);
}

const char* OutcomeWord(VerifyOutcome outcome)
{
    switch (outcome) {
    case VerifyOutcome::Match:
        return "OK";
    case VerifyOutcome::Differs:
        return "FAILED";
    case VerifyOutcome::Missing:
        return "MISSING";
    case VerifyOutcome::NotListed:
        return "NOT LISTED";
    default:
        return "UNREADABLE";
    }
}

int Verify(const QStringList& args)
{
    if (args.isEmpty() || args.size() > 2)
        return Usage();
    const QString image = args[0];
    CImageEngine engine(ModulePath());
    PrepareReading(engine);
    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    // A list for the image file itself needs no tree; one for its files does.
    if (LoadImage(engine, image, &root, &error) < 0 && args.size() == 1)
        return Fail(error);
    const CVerifyIo io = EngineVerifyIo(engine);
    const CVerifyResult result =
        args.size() == 2 ? VerifyWithList(args[1], image, engine.HasImage() ? &root : nullptr, io)
                         : VerifyImageLists(&root, io);
    if (result.bCancelled)
        return Fail(QStringLiteral("cancelled"));
    if (!result.strError.isEmpty())
        return Fail(
            QStringLiteral("%1: %2").arg(args.size() == 2 ? args[1] : image, result.strError));
    QByteArray out;
    for (const CVerifyRow& row : result.rows)
        out += row.strPath.toUtf8() + ": " + OutcomeWord(row.outcome) + '\n';
    const CVerifySummary summary = Summarize(result.rows);
    out +=
        QStringLiteral("%1 matched, %2 differed, %3 missing, %4 unreadable, %5 not listed (%6)\n")
            .arg(summary.Count(VerifyOutcome::Match))
            .arg(summary.Count(VerifyOutcome::Differs))
            .arg(summary.Count(VerifyOutcome::Missing))
            .arg(summary.Count(VerifyOutcome::Unreadable))
            .arg(summary.Count(VerifyOutcome::NotListed))
            .arg(result.lists.join(QLatin1String(", ")))
            .toUtf8();
    const int written = WriteOut(out);
    return written != 0 ? written : (summary.AllMatch() ? 0 : 1);
}

// --- info ------------------------------------------------------------------

QString Label(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// What the image holds, from the reading module's descriptors and scan.
int Info(const QString& image)
{
    if (!QFileInfo(image).isFile())
        return Fail(QStringLiteral("%1: no such file").arg(image));
    VbeImageFacts f;
    vbe::Result r = vbe::kFail;
    if (!ReadFacts(image, &f, &r))
        return Fail(QStringLiteral("the image-reading module VBE.so beside the program is missing "
                                   "or too old to describe images"));
    if (r == vbe::kUnrecognized)
        return Fail(QStringLiteral("%1 holds no file system Lantern can read").arg(image));
    if ((r == vbe::kCorrupt || r == vbe::kFileNotFound) && f.firstDamage[0] != 0)
        return Fail(QStringLiteral("%1 cannot be read: %2").arg(image, Label(f.firstDamage)));
    if (r == vbe::kCorrupt)
        return Fail(QStringLiteral("%1 is damaged beyond reading").arg(image));
    if (r == vbe::kAccessDenied)
        return Fail(QStringLiteral("%1 cannot be read: permission denied").arg(image));
    if (vbe::failed(r))
        return Fail(QStringLiteral("cannot read %1 (status 0x%2)")
                        .arg(image)
                        .arg(static_cast<std::uint32_t>(r), 8, 16, QLatin1Char('0')));

    QStringList lines;
    for (const CFactRow& row : DescribeImageFacts(image, f))
        lines << QStringLiteral("%1 %2")
                     .arg(QLatin1String(FactKeyName(row.key)) + QLatin1Char(':'), -16)
                     .arg(row.strValue);
    const QByteArray out = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : Fail(QStringLiteral("cannot write the description"));
}

// The command line shows no file types: a source that knows none spares
// loading the MIME database.
class CNoTypes : public IFileTypeSource
{
public:
    bool QueryFile(const QString&, int*, QString*) override { return false; }
    bool QueryFolder(int*, int*, QString*) override { return false; }
};

} // namespace

int main(int argc, char** argv)
{
    KeepFreedHeapForReuse();
    QCoreApplication app(argc, argv);
    CFileTypeCache noTypes(std::make_unique<CNoTypes>());
    CFileTypeCache::SetGlobal(&noTypes);
    std::signal(SIGINT, &OnInterrupt);
    std::signal(SIGTERM, &OnInterrupt);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")))
        return Help();
    if (args.contains(QStringLiteral("--version"))) {
        std::printf("lantern-cli %s\n", LANTERN_VERSION);
        return 0;
    }
    const bool bQuiet =
        args.removeAll(QStringLiteral("--quiet")) + args.removeAll(QStringLiteral("-q")) > 0;
    if (args.size() == 2 && args[0] == u"list")
        return List(args[1]);
    if (args.size() == 2 && args[0] == u"info")
        return Info(args[1]);
    if (args.size() >= 3 && args[0] == u"extract")
        return Extract(args.mid(1), bQuiet);
    if (args.size() == 3 && args[0] == u"find")
        return Find(args[1], args[2]);
    if (args.size() >= 2 && args[0] == u"checksum")
        return Checksum(args.mid(1));
    if (args.size() >= 2 && args[0] == u"verify")
        return Verify(args.mid(1));
    return Usage();
}
