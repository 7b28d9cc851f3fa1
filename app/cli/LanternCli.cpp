// lantern-cli: the image engine from a terminal, for scripts and for
// measuring.
//
//   lantern-cli list IMAGE
//   lantern-cli extract [--overwrite] IMAGE DEST [PATH...]

#include "FileTypeCache.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "VolumeCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
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

int Usage()
{
    std::fprintf(stderr, "usage: lantern-cli list IMAGE\n"
                         "       lantern-cli extract [--overwrite] IMAGE DEST [PATH...]\n");
    return 2;
}

// The path of a record from the image root with '/' separators.
QString SlashPath(const CLTDataItem* item)
{
    QString path = item->m_strFolderPath + item->m_strFileName;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.mid(1);
}

QString UtcText(FILETIME64 ft)
{
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(ft, &st))
        return QStringLiteral("0000-00-00 00:00:00");
    return QString::asprintf("%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                             st.wHour, st.wMinute, st.wSecond);
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
};

void OnNotify(std::uint32_t nCode, const char16_t* pszParam, void* pContext)
{
    auto* reports = static_cast<Reports*>(pContext);
    switch (nCode) {
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
    if (r == STATUS_FAIL)
        return QStringLiteral("%1 is open in another Lantern").arg(image);
    if (r == vbe::kUnrecognized)
        return QStringLiteral("%1 holds no file system Lantern can read").arg(image);
    if (r == vbe::kCorrupt)
        return QStringLiteral("%1 is damaged beyond reading").arg(image);
    if (r == vbe::kAccessDenied)
        return QStringLiteral("%1 cannot be read: permission denied").arg(image);
    return QStringLiteral("cannot open %1 (status 0x%2)")
        .arg(image)
        .arg(static_cast<std::uint32_t>(r), 8, 16, QLatin1Char('0'));
}

STATUS LoadImage(CImageEngine& engine, const QString& image, CLTDataItem* root, QString* error)
{
    if (!QFileInfo(image).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(image);
        return STATUS_FAIL;
    }
    const STATUS r = engine.LoadTree(QFileInfo(image).absoluteFilePath(), root);
    if (r == STATUS_CANCELLED)
        *error = QStringLiteral("cancelled");
    else if (r < 0)
        *error = OpenFailure(image, r, engine);
    return r;
}

int List(const QString& image)
{
    CImageEngine engine(QCoreApplication::applicationDirPath() + QStringLiteral("/VBE.so"));
    engine.SetMessagePump([&] {
        if (g_bInterrupted)
            engine.SetCancel(true);
    });
    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);
    QByteArray out;
    out.reserve(1 << 20);
    Walk(&root, [&](const CLTDataItem* item) {
        out += item->IsFolder() ? "D\t" : "F\t";
        out += QByteArray::number(static_cast<qulonglong>(item->m_nSize));
        out += '\t';
        out += UtcText(item->m_ftModified).toLatin1();
        out += '\t';
        out += SlashPath(item).toUtf8();
        out += '\n';
        if (out.size() > (1 << 20)) {
            std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
            out.clear();
        }
    });
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : Fail(QStringLiteral("cannot write the listing"));
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

int Extract(const QStringList& args)
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
    Reports reports;
    engine.SetNotify(&OnNotify, &reports);
    const bool bTerminal = ::isatty(STDERR_FILENO) != 0;
    auto lastShown = std::chrono::steady_clock::now();
    std::uint64_t total = 0;
    engine.SetMessagePump([&] {
        if (g_bInterrupted)
            engine.SetCancel(true);
        if (!bTerminal || !engine.IsExtracting())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown < std::chrono::milliseconds(200))
            return;
        lastShown = now;
        int percent = 0;
        engine.GetProgress(PROGRESS_EXTRACT, &percent);
        std::fprintf(stderr, "\r%3d%%  %llu of %llu MiB ", percent,
                     static_cast<unsigned long long>(engine.GetBytesWritten() >> 20),
                     static_cast<unsigned long long>(total >> 20));
    });

    CLTDataItem root(QString(), KIND_ROOT, 0, 0);
    QString error;
    if (LoadImage(engine, image, &root, &error) < 0)
        return Fail(error);

    // What to extract: the named entries, or everything in the image.
    std::vector<const CLTDataItem*> selection;
    if (paths.isEmpty()) {
        selection.assign(root.m_children.begin(), root.m_children.end());
    } else {
        for (const QString& path : paths) {
            const CLTDataItem* item = FindRecord(&root, path);
            if (!item || item == &root)
                return Fail(QStringLiteral("%1: no such file or folder in the image").arg(path));
            selection.push_back(item);
        }
    }

    if (!QDir().mkpath(dest))
        return Fail(QStringLiteral("cannot create %1").arg(dest));
    // Never replace a file unless asked to: look at every target first.
    for (const CLTDataItem* item : selection) {
        const auto check = [&](const CLTDataItem* record) -> bool {
            if (!record->IsFile())
                return true;
            QString relative = SlashPath(record);
            if (item->IsFolder()) {
                relative = SlashPath(item).section(QLatin1Char('/'), -1) +
                           relative.mid(SlashPath(item).size());
            } else {
                relative = record->m_strFileName;
            }
            const QString target = dest + QLatin1Char('/') + relative;
            if (!bOverwrite && QFileInfo(target).exists()) {
                error = QStringLiteral("%1 exists (use --overwrite to replace it)").arg(target);
                return false;
            }
            return true;
        };
        bool bOk = check(item);
        if (bOk && item->IsFolder())
            Walk(item, [&](const CLTDataItem* r) { bOk = bOk && check(r); });
        if (!bOk)
            return Fail(error);
        total += item->m_nSize;
    }
    if (!HasFreeSpace(dest, total))
        return Fail(
            QStringLiteral("not enough free space in %1 for %2 bytes").arg(dest).arg(total));

    engine.SetBytesTotal(total);
    engine.SetBytesWritten(0);
    STATUS r = STATUS_OK;
    for (const CLTDataItem* item : selection) {
        QString source = SlashPath(item);
        source.replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (item->IsFolder())
            r = engine.ExtractFolder(source, dest + QLatin1Char('/'));
        else
            r = engine.ExtractFile(source, dest + QLatin1Char('/') + item->m_strFileName,
                                   item->m_ftModified);
        if (r < 0 || g_bInterrupted)
            break;
    }
    if (bTerminal)
        std::fprintf(stderr, "\r%*s\r", 40, "");
    if (g_bInterrupted || r == STATUS_CANCELLED)
        return Fail(QStringLiteral("cancelled; the file being written was removed"));
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
    QCoreApplication app(argc, argv);
    CFileTypeCache noTypes(std::make_unique<CNoTypes>());
    CFileTypeCache::SetGlobal(&noTypes);
    std::signal(SIGINT, &OnInterrupt);
    std::signal(SIGTERM, &OnInterrupt);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == u"list")
        return List(args[1]);
    if (args.size() >= 3 && args[0] == u"extract")
        return Extract(args.mid(1));
    return Usage();
}
