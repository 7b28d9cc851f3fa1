#pragma once

// Digests of files read from the image or from disk, and the checksum lists
// that distributions put beside their files (md5sum.txt, SHA256SUMS, ...):
// reading them, finding them in the loaded tree, and checking what they list.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CLTDataItem;

enum class DigestKind : std::uint8_t
{
    Crc32,
    Md5,
    Sha1,
    Sha256,
    Sha512
};
inline constexpr std::size_t kDigestKinds = 5;

// "CRC-32", "MD5", ...; and the kind a name or a command-line word
// ("sha256", "SHA-256") means.
QString DigestName(DigestKind kind);
std::optional<DigestKind> DigestFromName(QStringView name);

// Several digests of one stream of bytes at once.
class CDigestSet
{
public:
    explicit CDigestSet(const std::vector<DigestKind>& kinds);
    ~CDigestSet();
    CDigestSet(const CDigestSet&) = delete;
    CDigestSet& operator=(const CDigestSet&) = delete;

    void Add(const char* data, std::size_t length);
    // Lower-case hex of each kind asked for, in the order asked; the set
    // starts over afterwards.
    std::vector<QString> Finish();

private:
    struct Context; // one of libcrypto's digests
    std::vector<DigestKind> m_kinds;
    std::vector<std::unique_ptr<Context>> m_hashes; // null for CRC-32
    std::uint32_t m_crc = 0;
};

// One line of a checksum list: the digest and the path it is for.
struct CListedDigest
{
    DigestKind kind = DigestKind::Md5;
    QString strHash; // lower case
    QString strPath; // as listed, '/' separators, without "./"
};

// The lines of a checksum list, both the coreutils form ("HASH  path",
// "HASH *path") and the BSD form ("SHA256 (path) = HASH"). Lines that are
// neither (comments, PGP armour) are passed over. The kind of a coreutils
// line comes from its digest's length, or `hint` (a list's file name) where
// the length fits several.
std::vector<CListedDigest> ParseChecksumList(const QByteArray& text, QStringView hint = {});

// Whether a file's name is one of the usual names of a checksum list.
bool IsChecksumListName(QStringView name);

// The checksum lists the loaded tree holds: one per folder, the strongest
// where a folder has several (SHA512SUMS before SHA256SUMS before md5sum.txt).
std::vector<const CLTDataItem*> FindChecksumLists(const CLTDataItem* root);

// The record of a path inside the tree, '/' or '\' separated, relative to
// `from` (a folder); null when there is none.
const CLTDataItem* FindByPath(const CLTDataItem* from, QStringView path);

// What Verify found for one file.
enum class VerifyOutcome : std::uint8_t
{
    Match,
    Differs,
    Missing,
    NotListed,
    Unreadable
};

struct CVerifyRow
{
    VerifyOutcome outcome = VerifyOutcome::Match;
    QString strPath; // the file's path in the image ('/'), or the image file's name
    DigestKind kind = DigestKind::Md5;
    QString strExpected;     // empty for NotListed
    QString strActual;       // empty when it was not read
    bool bImageFile = false; // the row of the image file itself
};

struct CVerifySummary
{
    std::array<std::uint32_t, 5> counts{}; // by VerifyOutcome
    std::uint32_t Count(VerifyOutcome o) const { return counts[static_cast<std::size_t>(o)]; }
    // Everything listed was found and matched.
    bool AllMatch() const
    {
        return Count(VerifyOutcome::Differs) + Count(VerifyOutcome::Missing) +
                   Count(VerifyOutcome::Unreadable) ==
               0;
    }
};

CVerifySummary Summarize(const std::vector<CVerifyRow>& rows);

class CImageEngine;

// How Verify reads: one file of the image handed to `sink` block by block,
// and the progress of reading a disk file (answers true to stop).
enum class ReadOutcome : std::uint8_t
{
    Done,
    Cancelled,
    Failed
};
struct CVerifyIo
{
    std::function<ReadOutcome(const CLTDataItem* file,
                              const std::function<void(const char*, std::size_t)>& sink)>
        readImageFile;
    std::function<bool(std::uint64_t done)> diskCancelled;
};

// Reads a file of the disk through `digests`; Cancelled when `cancelled`
// (asked after each block with the bytes read so far) answers true.
ReadOutcome DigestDiskFile(const QString& path, CDigestSet& digests,
                           const std::function<bool(std::uint64_t done)>& cancelled = {});

// Reads the image's files through the engine's attached image, and counts
// what it reads of disk files towards the engine's progress; both stop at
// the engine's cancel.
CVerifyIo EngineVerifyIo(CImageEngine& engine);

// The result of one Verify.
struct CVerifyResult
{
    std::vector<CVerifyRow> rows;
    QStringList lists; // the lists used: paths in the image, or the disk file
    bool bCancelled = false;
    QString strError; // why nothing could be checked (no list, unreadable list)
};

// Checks every list the loaded tree holds (FindChecksumLists); files of the
// image that no list names are rows of their own (NotListed).
CVerifyResult VerifyImageLists(const CLTDataItem* root, const CVerifyIo& io);
// Checks a list from the disk. Where it lists the image file by name (as
// SHA256SUMS beside a download does), that line is checked against the
// image file and the others, for other downloads, are passed over; else its
// paths are taken as paths inside the image.
CVerifyResult VerifyWithList(const QString& listFile, const QString& imageFile,
                             const CLTDataItem* root, const CVerifyIo& io);

// The bytes of all files of a selection, folders by their files, each file
// once even where a selection names it twice, in the tree's order.
std::vector<const CLTDataItem*> FilesOf(const std::vector<const CLTDataItem*>& selection);

// The path of a record from the image root with '/' separators, no leading
// slash.
QString SlashPathOf(const CLTDataItem* item);
