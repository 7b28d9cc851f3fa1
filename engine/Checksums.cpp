#include "Checksums.h"

#include "ImageEngine.h"
#include "LTDataItem.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <new>
#include <openssl/evp.h>
#include <set>
#include <zlib.h>

namespace {

struct KindInfo
{
    DigestKind kind;
    const char* name;   // as shown
    const char* bsdTag; // the word of a BSD-style line
    int hexLength;
};

constexpr KindInfo kKinds[] = {
    {DigestKind::Crc32, "CRC-32", "CRC32", 8},      {DigestKind::Md5, "MD5", "MD5", 32},
    {DigestKind::Sha1, "SHA-1", "SHA1", 40},        {DigestKind::Sha256, "SHA-256", "SHA256", 64},
    {DigestKind::Sha512, "SHA-512", "SHA512", 128},
};

const KindInfo& InfoOf(DigestKind kind)
{
    return kKinds[static_cast<std::size_t>(kind)];
}

const EVP_MD* AlgorithmOf(DigestKind kind)
{
    switch (kind) {
    case DigestKind::Md5:
        return EVP_md5();
    case DigestKind::Sha1:
        return EVP_sha1();
    case DigestKind::Sha256:
        return EVP_sha256();
    default:
        return EVP_sha512();
    }
}

// The usual list names, strongest first; the kind where the name tells it.
struct ListName
{
    const char* name;
    std::optional<DigestKind> kind;
};

constexpr ListName kListNames[] = {
    {"SHA512SUMS", DigestKind::Sha512}, {"sha512sum.txt", DigestKind::Sha512},
    {"SHA256SUMS", DigestKind::Sha256}, {"sha256sum.txt", DigestKind::Sha256},
    {"SHA1SUMS", DigestKind::Sha1},     {"sha1sum.txt", DigestKind::Sha1},
    {"MD5SUMS", DigestKind::Md5},       {"md5sum.txt", DigestKind::Md5},
};

// Rank of a list name, lower is stronger; -1 for none.
int ListRank(QStringView name)
{
    for (std::size_t i = 0; i < std::size(kListNames); ++i) {
        if (name.compare(QLatin1String(kListNames[i].name), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    for (const char* suffix : {".sha512", ".sha256", ".sha1", ".md5"}) {
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return static_cast<int>(std::size(kListNames));
    }
    return -1;
}

std::optional<DigestKind> KindFromHint(QStringView hint)
{
    const int rank = ListRank(hint);
    if (rank >= 0 && rank < static_cast<int>(std::size(kListNames)))
        return kListNames[rank].kind;
    for (const KindInfo& info : kKinds) {
        if (hint.contains(QLatin1String(info.bsdTag), Qt::CaseInsensitive))
            return info.kind;
    }
    return std::nullopt;
}

bool IsHex(QStringView text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !(c.toLower() >= u'a' && c.toLower() <= u'f'))
            return false;
    }
    return !text.isEmpty();
}

QString CleanListedPath(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.startsWith(QLatin1String("./")))
        path.remove(0, 2);
    return path;
}

} // namespace

QString DigestName(DigestKind kind)
{
    return QString::fromLatin1(InfoOf(kind).name);
}

std::optional<DigestKind> DigestFromName(QStringView name)
{
    QString bare = name.toString().remove(QLatin1Char('-'));
    for (const KindInfo& info : kKinds) {
        if (bare.compare(QLatin1String(info.bsdTag), Qt::CaseInsensitive) == 0)
            return info.kind;
    }
    return std::nullopt;
}

struct CDigestSet::Context
{
    EVP_MD_CTX* ctx = nullptr;
    const EVP_MD* md = nullptr;
    Context(const EVP_MD* algorithm) : ctx(EVP_MD_CTX_new()), md(algorithm)
    {
        if (!ctx || EVP_DigestInit_ex(ctx, md, nullptr) != 1)
            throw std::bad_alloc();
    }
    ~Context() { EVP_MD_CTX_free(ctx); }
};

CDigestSet::CDigestSet(const std::vector<DigestKind>& kinds) : m_kinds(kinds)
{
    for (DigestKind kind : m_kinds) {
        m_hashes.push_back(
            kind == DigestKind::Crc32 ? nullptr : std::make_unique<Context>(AlgorithmOf(kind)));
    }
    m_crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
}

CDigestSet::~CDigestSet() = default;

void CDigestSet::Add(const char* data, std::size_t length)
{
    for (std::size_t i = 0; i < m_kinds.size(); ++i) {
        if (m_hashes[i]) {
            EVP_DigestUpdate(m_hashes[i]->ctx, data, length);
            continue;
        }
        // zlib takes at most 4 GiB a call.
        for (std::size_t done = 0; done < length;) {
            const auto step = static_cast<uInt>(std::min<std::size_t>(length - done, 1u << 30));
            m_crc = static_cast<std::uint32_t>(
                crc32(m_crc, reinterpret_cast<const Bytef*>(data + done), step));
            done += step;
        }
    }
}

std::vector<QString> CDigestSet::Finish()
{
    std::vector<QString> out;
    for (std::size_t i = 0; i < m_kinds.size(); ++i) {
        if (m_hashes[i]) {
            unsigned char digest[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            EVP_DigestFinal_ex(m_hashes[i]->ctx, digest, &length);
            EVP_DigestInit_ex(m_hashes[i]->ctx, m_hashes[i]->md, nullptr);
            out.push_back(QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
                    .toHex()));
        } else {
            out.push_back(QStringLiteral("%1").arg(m_crc, 8, 16, QLatin1Char('0')));
        }
    }
    m_crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    return out;
}

ReadOutcome DigestDiskFile(const QString& path, CDigestSet& digests,
                           const std::function<bool(std::uint64_t)>& cancelled)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadOutcome::Failed;
    constexpr qint64 kBlock = 1 << 20;
    QByteArray buffer(kBlock, Qt::Uninitialized);
    std::uint64_t done = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), kBlock);
        if (n < 0)
            return ReadOutcome::Failed;
        if (n == 0)
            return ReadOutcome::Done;
        digests.Add(buffer.constData(), static_cast<std::size_t>(n));
        done += static_cast<std::uint64_t>(n);
        if (cancelled && cancelled(done))
            return ReadOutcome::Cancelled;
    }
}

std::vector<CListedDigest> ParseChecksumList(const QByteArray& text, QStringView hint)
{
    static const QRegularExpression bsd(QStringLiteral(
        "^(MD5|SHA1|SHA256|SHA512|SHA-256|SHA-1|SHA-512) ?\\((.+)\\) ?= ?([0-9A-Fa-f]+)$"));
    const std::optional<DigestKind> hinted = KindFromHint(hint);
    std::vector<CListedDigest> out;
    for (const QByteArray& raw : text.split('\n')) {
        QString line = QString::fromUtf8(raw);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        CListedDigest entry;
        if (const QRegularExpressionMatch m = bsd.match(line); m.hasMatch()) {
            const std::optional<DigestKind> kind = DigestFromName(m.captured(1));
            if (!kind || m.capturedLength(3) != InfoOf(*kind).hexLength)
                continue;
            entry.kind = *kind;
            entry.strHash = m.captured(3).toLower();
            entry.strPath = CleanListedPath(m.captured(2));
        } else {
            // "HASH  path" (text mode) or "HASH *path" (binary mode).
            const qsizetype space = line.indexOf(QLatin1Char(' '));
            if (space <= 0 || space + 2 > line.size())
                continue;
            const QStringView hash = QStringView(line).left(space);
            const QChar mode = line[space + 1];
            if (!IsHex(hash) || (mode != u' ' && mode != u'*'))
                continue;
            std::optional<DigestKind> kind;
            for (const KindInfo& info : kKinds) {
                if (info.kind != DigestKind::Crc32 && info.hexLength == hash.size())
                    kind = info.kind;
            }
            if (!kind)
                continue;
            if (hinted && InfoOf(*hinted).hexLength == hash.size())
                kind = hinted;
            entry.kind = *kind;
            entry.strHash = hash.toString().toLower();
            entry.strPath = CleanListedPath(line.mid(space + 2));
        }
        if (!entry.strPath.isEmpty())
            out.push_back(std::move(entry));
    }
    return out;
}

bool IsChecksumListName(QStringView name)
{
    return ListRank(name) >= 0;
}

std::vector<const CLTDataItem*> FindChecksumLists(const CLTDataItem* root)
{
    std::vector<const CLTDataItem*> lists;
    if (!root)
        return lists;
    std::vector<const CLTDataItem*> folders{root};
    while (!folders.empty()) {
        const CLTDataItem* folder = folders.back();
        folders.pop_back();
        const CLTDataItem* best = nullptr;
        int bestRank = 0;
        for (const CLTDataItem* child : folder->Children()) {
            if (child->IsFolder()) {
                folders.push_back(child);
                continue;
            }
            const int rank = ListRank(child->m_strFileName);
            if (rank >= 0 && !child->IsSymlink() && (!best || rank < bestRank)) {
                best = child;
                bestRank = rank;
            }
        }
        if (best)
            lists.push_back(best);
    }
    return lists;
}

const CLTDataItem* FindByPath(const CLTDataItem* from, QStringView path)
{
    const CLTDataItem* item = from;
    for (QStringView part : path.tokenize(u'/', Qt::SkipEmptyParts)) {
        for (QStringView piece : part.tokenize(u'\\', Qt::SkipEmptyParts)) {
            if (!item)
                return nullptr;
            if (piece == u".")
                continue;
            if (piece == u"..") {
                item = item->GetParent() ? item->GetParent() : item;
                continue;
            }
            const CLTDataItem* next = nullptr;
            for (const CLTDataItem* child : item->Children()) {
                if (child->m_strFileName == piece) {
                    next = child;
                    break;
                }
            }
            // A list written on a case-blind system may name a file in
            // another case: take that when nothing matches exactly.
            if (!next) {
                for (const CLTDataItem* child : item->Children()) {
                    if (child->m_strFileName.compare(piece, Qt::CaseInsensitive) == 0) {
                        next = child;
                        break;
                    }
                }
            }
            item = next;
        }
    }
    return item;
}

CVerifySummary Summarize(const std::vector<CVerifyRow>& rows)
{
    CVerifySummary summary;
    for (const CVerifyRow& row : rows)
        ++summary.counts[static_cast<std::size_t>(row.outcome)];
    return summary;
}

QString SlashPathOf(const CLTDataItem* item)
{
    QString path = item->m_strFolderPath + item->m_strFileName;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qsizetype lead = 0;
    while (lead < path.size() && path[lead] == u'/')
        ++lead;
    return path.mid(lead);
}

std::vector<const CLTDataItem*> FilesOf(const std::vector<const CLTDataItem*>& selection)
{
    std::vector<const CLTDataItem*> files;
    std::set<const CLTDataItem*> seen;
    for (const CLTDataItem* top : selection) {
        std::vector<const CLTDataItem*> stack{top};
        while (!stack.empty()) {
            const CLTDataItem* item = stack.back();
            stack.pop_back();
            if (item->IsFile() && !item->IsSymlink() && seen.insert(item).second)
                files.push_back(item);
            const auto& children = item->Children();
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                stack.push_back(*it);
        }
    }
    return files;
}

CVerifyIo EngineVerifyIo(CImageEngine& engine)
{
    CVerifyIo io;
    io.readImageFile = [&engine](const CLTDataItem* file,
                                 const std::function<void(const char*, std::size_t)>& sink) {
        QString path = SlashPathOf(file);
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        const STATUS r = engine.ReadImageFile(path, [&](const char* data, std::size_t length) {
            sink(data, length);
            return true;
        });
        if (r == STATUS_CANCELLED)
            return ReadOutcome::Cancelled;
        return r < 0 ? ReadOutcome::Failed : ReadOutcome::Done;
    };
    io.diskCancelled = [&engine, last = std::uint64_t{0}](std::uint64_t done) mutable {
        if (done < last)
            last = 0; // the next file
        engine.CountBytesRead(done - last);
        last = done;
        engine.PumpMessages();
        return engine.IsCancelled();
    };
    return io;
}

namespace {

// The outcome of a row whose file was read (or not) through `digest`.
void Judge(CVerifyRow& row, ReadOutcome read, CDigestSet& digest)
{
    if (read == ReadOutcome::Failed) {
        row.outcome = VerifyOutcome::Unreadable;
        return;
    }
    row.strActual = digest.Finish().front();
    row.outcome = row.strActual == row.strExpected ? VerifyOutcome::Match : VerifyOutcome::Differs;
}

// Checks one listed digest against a file of the image; false when cancelled.
bool CheckListed(const CListedDigest& listed, const CLTDataItem* file, const QString& shownPath,
                 const CVerifyIo& io, std::vector<CVerifyRow>& rows)
{
    CVerifyRow row;
    row.strPath = shownPath;
    row.kind = listed.kind;
    row.strExpected = listed.strHash;
    if (!file || !file->IsFile()) {
        row.outcome = VerifyOutcome::Missing;
        rows.push_back(std::move(row));
        return true;
    }
    CDigestSet digest({listed.kind});
    const ReadOutcome read =
        io.readImageFile(file, [&](const char* data, std::size_t n) { digest.Add(data, n); });
    if (read == ReadOutcome::Cancelled)
        return false;
    Judge(row, read, digest);
    rows.push_back(std::move(row));
    return true;
}

// Every file of the tree no list named, and no list itself.
void AddNotListed(const CLTDataItem* root, const std::set<const CLTDataItem*>& named,
                  std::vector<CVerifyRow>& rows)
{
    for (const CLTDataItem* file : FilesOf({root})) {
        if (named.count(file) || IsChecksumListName(file->m_strFileName))
            continue;
        CVerifyRow row;
        row.outcome = VerifyOutcome::NotListed;
        row.strPath = SlashPathOf(file);
        rows.push_back(std::move(row));
    }
}

// Checks the entries of one list whose paths start at `folder`.
bool CheckEntries(const std::vector<CListedDigest>& entries, const CLTDataItem* folder,
                  const CVerifyIo& io, std::set<const CLTDataItem*>& named,
                  std::vector<CVerifyRow>& rows)
{
    const QString base = folder->GetParent() ? SlashPathOf(folder) + QLatin1Char('/') : QString();
    for (const CListedDigest& listed : entries) {
        const CLTDataItem* file = FindByPath(folder, listed.strPath);
        if (file)
            named.insert(file);
        if (!CheckListed(listed, file, file ? SlashPathOf(file) : base + listed.strPath, io, rows))
            return false;
    }
    return true;
}

} // namespace

CVerifyResult VerifyImageLists(const CLTDataItem* root, const CVerifyIo& io)
{
    CVerifyResult result;
    std::set<const CLTDataItem*> named;
    for (const CLTDataItem* list : FindChecksumLists(root)) {
        QByteArray text;
        constexpr qsizetype kMaxListBytes = 64 << 20; // far beyond any real list
        const ReadOutcome read = io.readImageFile(list, [&](const char* data, std::size_t n) {
            if (text.size() < kMaxListBytes)
                text.append(data, static_cast<qsizetype>(n));
        });
        if (read == ReadOutcome::Cancelled) {
            result.bCancelled = true;
            return result;
        }
        result.lists << SlashPathOf(list);
        named.insert(list);
        if (read == ReadOutcome::Failed) {
            CVerifyRow row;
            row.outcome = VerifyOutcome::Unreadable;
            row.strPath = SlashPathOf(list);
            result.rows.push_back(std::move(row));
            continue;
        }
        if (!CheckEntries(ParseChecksumList(text, list->m_strFileName), list->GetParent(), io,
                          named, result.rows)) {
            result.bCancelled = true;
            return result;
        }
    }
    if (result.lists.isEmpty()) {
        result.strError = QStringLiteral("no checksum list");
        return result;
    }
    AddNotListed(root, named, result.rows);
    return result;
}

CVerifyResult VerifyWithList(const QString& listFile, const QString& imageFile,
                             const CLTDataItem* root, const CVerifyIo& io)
{
    CVerifyResult result;
    result.lists << listFile;
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly)) {
        result.strError = file.errorString();
        return result;
    }
    const std::vector<CListedDigest> entries =
        ParseChecksumList(file.read(64 << 20), QFileInfo(listFile).fileName());
    if (entries.empty()) {
        result.strError = QStringLiteral("no checksum list");
        return result;
    }
    const QString imageName = QFileInfo(imageFile).fileName();
    bool bForImage = false;
    for (const CListedDigest& listed : entries) {
        if (QStringView(listed.strPath).split(u'/').last() != imageName)
            continue;
        bForImage = true;
        CVerifyRow row;
        row.strPath = imageName;
        row.bImageFile = true;
        row.kind = listed.kind;
        row.strExpected = listed.strHash;
        CDigestSet digest({listed.kind});
        const ReadOutcome read = DigestDiskFile(imageFile, digest, io.diskCancelled);
        if (read == ReadOutcome::Cancelled) {
            result.bCancelled = true;
            return result;
        }
        Judge(row, read, digest);
        result.rows.push_back(std::move(row));
    }
    if (bForImage || !root)
        return result;
    std::set<const CLTDataItem*> named;
    if (!CheckEntries(entries, root, io, named, result.rows))
        result.bCancelled = true;
    else
        AddNotListed(root, named, result.rows);
    return result;
}
