#include "VolumeCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <mutex>
#include <sys/statvfs.h>

namespace {

// How each file-system type name the kernel reports is treated. FAT and
// FAT32 keep their size limits; NTFS, and the file systems without a 4 GiB
// file limit, take any size: Linux's own, network shares (NFS, SMB, SSH,
// Ceph, Gluster), the encrypting layers over other file systems and the
// shares of a virtual machine's host. ntfs-3g mounts through FUSE as
// "fuseblk". Names not in the table are refused, exFAT among them.
enum class Limit
{
    Fat,
    Fat32,
    None
};

struct FileSystemRule
{
    const char16_t* name;
    Limit limit;
};

constexpr FileSystemRule kFileSystems[] = {
    // FAT
    {u"msdos", Limit::Fat},
    {u"vfat", Limit::Fat32},
    // NTFS
    {u"ntfs", Limit::None},
    {u"ntfs3", Limit::None},
    {u"fuseblk", Limit::None},
    {u"fuse.ntfs-3g", Limit::None},
    // Linux's own
    {u"ext2", Limit::None},
    {u"ext3", Limit::None},
    {u"ext4", Limit::None},
    {u"xfs", Limit::None},
    {u"btrfs", Limit::None},
    {u"f2fs", Limit::None},
    {u"zfs", Limit::None},
    {u"jfs", Limit::None},
    {u"nilfs2", Limit::None},
    {u"tmpfs", Limit::None},
    {u"overlay", Limit::None},
    // Network shares
    {u"nfs", Limit::None},
    {u"nfs4", Limit::None},
    {u"cifs", Limit::None},
    {u"smb3", Limit::None},
    {u"fuse.sshfs", Limit::None},
    {u"ceph", Limit::None},
    {u"fuse.glusterfs", Limit::None},
    // Encrypting layers over another file system
    {u"ecryptfs", Limit::None},
    {u"fuse.gocryptfs", Limit::None},
    // A virtual machine's shares of its host's folders
    {u"9p", Limit::None},
    {u"virtiofs", Limit::None},
};

// The nearest existing folder of a path, symbolic links resolved.
QString ExistingFolder(const QString& path)
{
    QString current =
        QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().filePath(path));
    while (!current.isEmpty()) {
        const QFileInfo info(current);
        if (info.exists())
            return info.isDir() ? info.canonicalFilePath() : info.canonicalPath();
        const auto slash = current.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QStringLiteral("/");
        current.truncate(slash);
    }
    return QStringLiteral("/");
}

// Undoes the octal escapes of a mountinfo field (\040 for a blank).
QString UnescapeMountField(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromUtf8(out);
}

} // namespace

std::int32_t GetFreeBytes(const QString& path, std::uint64_t* pFree)
{
    struct statvfs st
    {
    };
    if (!pFree || ::statvfs(QFile::encodeName(ExistingFolder(path)).constData(), &st) != 0)
        return STATUS_NO_FREE_SPACE_INFO;
    *pFree = std::uint64_t{st.f_bfree} * std::uint64_t{st.f_frsize};
    return 0;
}

bool HasFreeSpace(const QString& path, std::uint64_t bytes)
{
    std::uint64_t free = 0;
    if (GetFreeBytes(path, &free) != 0)
        free = 0;
    const double need = static_cast<double>(bytes) * 1.01;
    return static_cast<double>(free) >= need;
}

namespace {

struct MountEntry
{
    QString type;   // empty when no mount covers the folder
    QString source; // the device or server, as the kernel names it
};

// The mount covering `folder` in a mount table. Each line: id parent
// major:minor root mount-point options [tags] - type source super.
MountEntry MountInTable(const QByteArray& table, const QString& folder)
{
    QString bestPoint;
    MountEntry best;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        const QString point = UnescapeMountField(fields[4]);
        const bool bCovers =
            point == u"/" || folder == point || folder.startsWith(point + QLatin1Char('/'));
        // The last mount of the longest covering point is the one in effect.
        if (bCovers && point.size() >= bestPoint.size()) {
            bestPoint = point;
            best.type = QString::fromUtf8(fields[dash + 1]);
            best.source =
                dash + 2 < fields.size() ? UnescapeMountField(fields[dash + 2]) : QString();
        }
    }
    return best;
}

std::mutex g_tableMutex;
bool g_bTableOverride = false;
QByteArray g_tableOverride;

QByteArray MountTable()
{
    {
        std::lock_guard lock(g_tableMutex);
        if (g_bTableOverride)
            return g_tableOverride;
    }
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    // A file of /proc reports no size: read it to its end, not by atEnd().
    return mounts.readAll();
}

} // namespace

QString FileSystemTypeOf(const QString& path)
{
    const QByteArray table = MountTable();
    if (table.isEmpty())
        return {};
    // Every file of an extraction asks about the same few folders: answers
    // are kept while the mount table stays the same.
    static std::mutex mutex;
    static QByteArray lastTable;
    static QHash<QString, QString> answers;
    std::lock_guard lock(mutex);
    if (table != lastTable) {
        lastTable = table;
        answers.clear();
    }
    if (const auto it = answers.constFind(path); it != answers.constEnd())
        return it.value();
    const QString type = MountInTable(table, ExistingFolder(path)).type;
    if (answers.size() > 1024)
        answers.clear();
    answers.insert(path, type);
    return type;
}

bool FileSystemAcceptsSize(const QString& typeName, std::uint64_t size)
{
    for (const FileSystemRule& rule : kFileSystems) {
        if (typeName.compare(QStringView(rule.name), Qt::CaseInsensitive) != 0)
            continue;
        switch (rule.limit) {
        case Limit::Fat:
            return size <= 0x80000000ULL;
        case Limit::Fat32:
            return size <= 0x100000000ULL;
        case Limit::None:
            return true;
        }
    }
    return false;
}

bool CheckTargetVolume(const QString& folder, std::uint64_t size)
{
    return FileSystemAcceptsSize(FileSystemTypeOf(folder), size);
}
DriveType GetDriveType(const QString& path)
{
    const MountEntry mount = MountInTable(MountTable(), ExistingFolder(path));
    if (mount.type.isEmpty())
        return DRIVE_UNKNOWN;
    if (mount.type == u"iso9660" || mount.type == u"udf" ||
        mount.source.startsWith(QStringLiteral("/dev/sr")))
        return DRIVE_CDROM;
    return DRIVE_FIXED;
}

void SetMountTableForTesting(const QByteArray* pTable)
{
    std::lock_guard lock(g_tableMutex);
    g_bTableOverride = pTable != nullptr;
    g_tableOverride = pTable ? *pTable : QByteArray();
}
