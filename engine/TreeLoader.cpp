// Loading the attached image's folder tree into the data model.

#include "ImageEngine.h"
#include "ItemOrdering.h"
#include "LTDataItem.h"
#include "LangResources.h"

#include <QByteArray>
#include <algorithm>
#include <deque>

namespace {

QString NameOf(const vbe::FindData& data)
{
    std::size_t n = 0;
    while (n < vbe::kNameChars && data.name[n] != 0)
        ++n;
    return QString::fromUtf16(data.name, static_cast<qsizetype>(n));
}

// The type text of an entry that is no plain file or folder; 0 for one that is.
int TypeTextOf(const CUnixFacts& facts)
{
    switch (facts.Kind()) {
    case 0120000u:
        return IDS_TYPE_SYMLINK;
    case 0020000u:
    case 0060000u:
        return IDS_TYPE_DEVICE;
    case 0010000u:
        return IDS_TYPE_FIFO;
    case 0140000u:
        return IDS_TYPE_SOCKET;
    default:
        return 0;
    }
}

} // namespace

CUnixFacts CImageEngine::UnixFactsOf(const vbe::FindData& data)
{
    CUnixFacts facts;
    facts.nMode = data.unixMode;
    facts.nLinks = data.unixLinks;
    facts.nFileId = (std::uint64_t{data.fileIdHigh} << 32) | data.fileIdLow;
    return facts;
}

QString CImageEngine::ReadLinkTarget(const QString& sourcePath)
{
    // A link's data is its target; a target longer than any path the
    // system takes is cut there.
    constexpr std::uint32_t kMaxTarget = 4096;
    std::uint64_t size = 0;
    if (!m_pBrowser ||
        m_pBrowser->OpenFile(reinterpret_cast<const char16_t*>(sourcePath.utf16()), &size) < 0)
        return QString();
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(std::min<std::uint64_t>(size, kMaxTarget)));
    qsizetype have = 0;
    while (have < bytes.size()) {
        std::uint32_t read = 0;
        if (m_pBrowser->ReadFile(bytes.data() + have,
                                 static_cast<std::uint32_t>(bytes.size() - have), &read, 0) < 0 ||
            read == 0)
            break;
        have += read;
    }
    m_pBrowser->CloseFile();
    bytes.truncate(have);
    return QString::fromUtf8(bytes);
}

STATUS CImageEngine::LoadTree(const QString& imagePath, CLTDataItem* pRoot)
{
    if (!m_pEngine)
        return STATUS_UNEXPECTED;
    m_bLoading = true;
    DetachImage();
    m_bCancel = false;
    m_nLoadPercent = 0;
    m_localTimes.Reset();
    m_nDamage = 0;
    std::uint64_t nDone = 0;
    constexpr int kStartPercent = 50;

    STATUS r = AttachImage(imagePath, kStartPercent);
    if (r >= 0) {
        vbe::VolumeInfo volume{};
        r = m_pBrowser->GetVolumeInfo(&volume);
        if (r >= 0) {
            m_nEntryTotal = volume.folderCount + volume.fileCount;
            m_nDamage = volume.damage;
            std::size_t n = 0;
            while (n < vbe::kLabelChars && volume.label[n] != 0)
                ++n;
            if (pRoot) {
                pRoot->m_strDisplayName =
                    QString::fromUtf16(volume.label, static_cast<qsizetype>(n)).trimmed();
            }
        }
    }

    if (r >= 0 && pRoot) {
        std::deque<CLTDataItem*> records{pRoot};
        std::deque<QString> paths{QString()};
        bool bStop = false;
        while (!records.empty() && !m_bCancel && !bStop) {
            CLTDataItem* folder = records.front();
            records.pop_front();
            const QString folderPath = paths.front();
            paths.pop_front();

            vbe::FindData data{};
            r = m_pBrowser->FindFirst(reinterpret_cast<const char16_t*>(folderPath.utf16()), &data);
            if (r == SDK_NO_ENTRIES) {
                folder->m_nSortState[SORT_COLUMN_NAME] = 0;
                continue;
            }
            if (r < 0)
                break;
            folder->m_nSortState[SORT_COLUMN_NAME] = 1;
            // Every child's folder path, one text shared by all of them.
            const CItemText recordFolder(folderPath.isEmpty()
                                             ? QStringLiteral("\\")
                                             : QLatin1Char('\\') + folderPath + QLatin1Char('\\'));

            while (r >= 0) {
                if (m_bCancel) {
                    r = STATUS_CANCELLED;
                    break;
                }
                const QString name = NameOf(data);
                const bool bFolder = (data.attributes & vbe::kAttrDirectory) != 0;
                const std::uint32_t kind = bFolder ? KIND_FOLDER : KIND_FILE;
                const std::uint64_t size =
                    (std::uint64_t{data.sizeHigh} << 32) | std::uint64_t{data.sizeLow};
                // A name holding a backslash splits where the last one lies,
                // as a whole path would.
                CLTDataItem* child = name.contains(QLatin1Char('\\'))
                                         ? folder->AddChild(recordFolder + name, kind, size)
                                         : folder->AddChild(recordFolder, name, kind, size);
                if (!child) {
                    r = STATUS_UNEXPECTED;
                    bStop = true;
                    break;
                }
                const FILETIME64 local =
                    (FILETIME64{data.modified.high} << 32) | FILETIME64{data.modified.low};
                FILETIME64 utc = 0;
                if (m_localTimes.ToUtc(local, &utc))
                    child->m_ftModified = utc;
                if (data.unixMode != 0) {
                    child->m_unix = UnixFactsOf(data);
                    if (child->m_unix.IsSymlink())
                        child->m_strLinkTarget = ReadLinkTarget(
                            folderPath.isEmpty() ? name : folderPath + QLatin1Char('\\') + name);
                    if (const int type = TypeTextOf(child->m_unix); type != 0) {
                        const QString text = LoadResString(type);
                        if (!text.isEmpty())
                            child->m_strTypeName = text;
                    }
                }
                if (bFolder) {
                    records.push_back(child);
                    paths.push_back(folderPath.isEmpty() ? name
                                                         : folderPath + QLatin1Char('\\') + name);
                }
                ++nDone;
                if (m_nEntryTotal > 0) {
                    const double percent = kStartPercent + static_cast<double>(nDone) *
                                                               (100 - kStartPercent) /
                                                               static_cast<double>(m_nEntryTotal);
                    m_nLoadPercent = percent > 100.0 ? 100 : static_cast<int>(percent);
                }
                r = m_pBrowser->FindNext(&data);
                Pump();
            }
            SortChildren(folder, SORT_COLUMN_NAME, 1);
            folder->m_children.shrink_to_fit();
            if (m_pBrowser->FindClose() < 0)
                break;
            if (r < 0 && r != SDK_NO_MORE_ENTRIES)
                break;
        }
    }

    if (m_bCancel)
        r = STATUS_CANCELLED;
    if (r == SDK_NO_ENTRIES || r == SDK_NO_MORE_ENTRIES)
        r = STATUS_OK;
    if (r < 0)
        DetachImage();
    else
        m_szImagePath = imagePath;
    m_bLoading = false;
    return r;
}
