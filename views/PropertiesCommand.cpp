// The file list's Properties: everything the image records about the
// selected entry, or, for none or the root, what the image itself holds.

#include "ExtractSupport.h"
#include "FactsText.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "Format.h"
#include "ImageEngine.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "ModalDialogs.h"
#include "ResultListDlg.h"

#include <QFileInfo>
#include <memory>

namespace {

constexpr int IDS_FACT_KEY_FIRST = 9370;  // the image's facts, by FactKey
constexpr int IDS_ENTRY_KEY_FIRST = 9390; // an entry's, by EntryKey
constexpr int IDS_YES = 9411;
constexpr int IDS_NO = 9412;
constexpr int IDS_LOCATION = 9413;
constexpr int IDS_LOCATION_FRAGMENTED = 9414;
constexpr int IDS_ZISOFS = 9415;
constexpr int IDS_PROPERTIES_TITLE = 9416;
constexpr int IDS_COLUMN_PROPERTY = 9417;
constexpr int IDS_COLUMN_VALUE = 9418;
constexpr int IDS_NOT_COMPRESSED = 9419;

enum class EntryKey : int
{
    NameIso,
    NameRockRidge,
    NameJoliet,
    NameUdf,
    Path,
    Size,
    Stored,
    Location,
    Recorded,
    Modified,
    Accessed,
    AttributesChanged,
    Created,
    Hidden,
    Associated,
    Compression,
    Mode,
    Owner,
    Group,
    Links,
    LinkTarget
};

QString Key(EntryKey key)
{
    return LoadResString(IDS_ENTRY_KEY_FIRST + static_cast<int>(key));
}

QString YesNo(bool b)
{
    return LoadResString(b ? IDS_YES : IDS_NO);
}

QString Bytes(std::uint64_t n)
{
    return n < 1024 ? QStringLiteral("%1").arg(n)
                    : QStringLiteral("%1 (%2)").arg(n).arg(ReadableBytes(n));
}

// "-rw-r--r-- (0644)", as ls writes the kind and the permissions.
QString ModeText(std::uint32_t mode)
{
    QString text;
    switch (mode & 0170000u) {
    case 0040000u:
        text = u'd';
        break;
    case 0120000u:
        text = u'l';
        break;
    case 0020000u:
        text = u'c';
        break;
    case 0060000u:
        text = u'b';
        break;
    case 0010000u:
        text = u'p';
        break;
    case 0140000u:
        text = u's';
        break;
    default:
        text = u'-';
    }
    const char* const kBits = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        text += (mode & (0400u >> i)) != 0 ? QChar::fromLatin1(kBits[i]) : QChar(u'-');
    const auto special = [&](int at, std::uint32_t bit, char set) {
        if ((mode & bit) != 0)
            text[at] = text[at] == u'-' ? QChar::fromLatin1(static_cast<char>(set - 32))
                                        : QChar::fromLatin1(set);
    };
    special(3, 04000u, 's');
    special(6, 02000u, 's');
    special(9, 01000u, 't');
    return QStringLiteral("%1 (%2)").arg(text).arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

using Rows = std::vector<QStringList>;

// What the module records of one entry, in its own export.
void AddEntryFacts(Rows& rows, const VbeEntryFacts& f)
{
    const EntryKey names[] = {EntryKey::NameIso, EntryKey::NameRockRidge, EntryKey::NameJoliet,
                              EntryKey::NameUdf};
    for (std::uint32_t tree = 0; tree < 4; ++tree) {
        if ((f.trees & (1u << tree)) != 0 && f.names[tree][0] != 0)
            rows.push_back({Key(names[tree]), QString::fromUtf16(f.names[tree])});
    }
    rows.push_back({Key(EntryKey::Size), Bytes(f.size)});
    if (f.storedBytes != f.size)
        rows.push_back({Key(EntryKey::Stored), Bytes(f.storedBytes)});
    if (f.firstBlock != 0)
        rows.push_back(
            {Key(EntryKey::Location),
             FormatResText(LoadResString(f.fragmented ? IDS_LOCATION_FRAGMENTED : IDS_LOCATION),
                           {QString::number(f.firstBlock), QString::number(f.extentCount)})});
    const EntryKey times[] = {EntryKey::Recorded, EntryKey::Modified, EntryKey::Accessed,
                              EntryKey::AttributesChanged, EntryKey::Created};
    for (std::uint32_t t = 0; t < kVbeTimeCount; ++t) {
        if ((f.timesPresent & (1u << t)) != 0)
            rows.push_back({Key(times[t]), FormatFileTime(UnixTimeToFileTime(f.times[t]))});
    }
    rows.push_back({Key(EntryKey::Hidden), YesNo((f.flags & kVbeEntryHidden) != 0)});
    rows.push_back({Key(EntryKey::Associated), YesNo((f.flags & kVbeEntryAssociated) != 0)});
    rows.push_back(
        {Key(EntryKey::Compression),
         (f.flags & kVbeEntryZisofs) != 0
             ? FormatResText(LoadResString(IDS_ZISOFS), {QString::number(f.zisofsBlockSize)})
             : LoadResString(IDS_NOT_COMPRESSED)});
    if (f.unixMode != 0) {
        rows.push_back({Key(EntryKey::Mode), ModeText(f.unixMode)});
        rows.push_back({Key(EntryKey::Owner), QString::number(f.owner)});
        rows.push_back({Key(EntryKey::Group), QString::number(f.group)});
        rows.push_back({Key(EntryKey::Links), QString::number(f.links)});
    }
    if (f.linkTarget[0] != 0)
        rows.push_back({Key(EntryKey::LinkTarget), QString::fromUtf16(f.linkTarget)});
}

// What the loaded tree knows, where the module cannot say more.
void AddRecordFacts(Rows& rows, const CLTDataItem* record)
{
    rows.push_back({Key(EntryKey::NameRockRidge), record->m_strDisplayName});
    rows.push_back({Key(EntryKey::Size), Bytes(record->m_nSize)});
    rows.push_back({Key(EntryKey::Modified), FormatFileTime(record->m_ftModified)});
    if (record->m_unix.nMode != 0) {
        rows.push_back({Key(EntryKey::Mode), ModeText(record->m_unix.nMode)});
        rows.push_back({Key(EntryKey::Links), QString::number(record->m_unix.nLinks)});
    }
    if (record->IsSymlink())
        rows.push_back({Key(EntryKey::LinkTarget), record->m_strLinkTarget});
}

} // namespace

void CFileListView::OnProperties()
{
    const QList<CLTDataItem*> selected = SelectedRecords();
    const QModelIndex current = ActiveView()->currentIndex();
    CLTDataItem* record = selected.isEmpty() ? nullptr : selected.constFirst();
    if (current.isValid() && selected.contains(m_pModel->RecordAt(current.row())))
        record = m_pModel->RecordAt(current.row());
    ShowProperties(record);
}

void CFileListView::ShowProperties(const CLTDataItem* record)
{
    if (!g_pImageEngine || m_strImagePath.isEmpty())
        return;
    if (record && record->m_nKind == KIND_ROOT)
        record = nullptr;

    Rows rows;
    QString title = QFileInfo(m_strImagePath).fileName();
    if (!record) {
        auto facts = std::make_unique<VbeImageFacts>();
        facts->structSize = sizeof(VbeImageFacts);
        if (g_pImageEngine->ReadImageFacts(m_strImagePath, facts.get()) >= 0) {
            for (const CFactRow& row : DescribeImageFacts(m_strImagePath, *facts))
                rows.push_back(
                    {LoadResString(IDS_FACT_KEY_FIRST + static_cast<int>(row.key)), row.strValue});
        }
    } else {
        title = record->m_strDisplayName;
        QString path = ImagePathOf(record);
        rows.push_back(
            {Key(EntryKey::Path), QLatin1Char('/') + QString(path).replace(u'\\', u'/')});
        auto facts = std::make_unique<VbeEntryFacts>();
        facts->structSize = sizeof(VbeEntryFacts);
        if (g_pImageEngine->ReadEntryFacts(m_strImagePath, path, facts.get()) >= 0)
            AddEntryFacts(rows, *facts);
        else
            AddRecordFacts(rows, record);
    }
    CResultListDlg dlg(this, FormatResText(LoadResString(IDS_PROPERTIES_TITLE), {title}), QString(),
                       {LoadResString(IDS_COLUMN_PROPERTY), LoadResString(IDS_COLUMN_VALUE)}, rows);
    CModalDialogScope modal;
    dlg.exec();
}
