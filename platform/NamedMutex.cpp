#include "NamedMutex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kGlobalPrefix = QStringLiteral("Global\\");

// A file name that stands for any mutex name: safe characters are kept,
// every other byte of its UTF-8 form is written as %XX; names too long for
// a file name are shortened and made unique by a hash.
QString EncodeName(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    QString encoded;
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '_' || u == '.')
            encoded += QLatin1Char(c);
        else
            encoded += QStringLiteral("%%%1").arg(u, 2, 16, QLatin1Char('0')).toUpper();
    }
    if (encoded.startsWith(QLatin1Char('.')))
        encoded.replace(0, 1, QStringLiteral("%2E"));
    if (encoded.size() > 200) {
        const QByteArray hash = QCryptographicHash::hash(utf8, QCryptographicHash::Sha256).toHex();
        encoded = encoded.left(120) + QLatin1Char('~') + QString::fromLatin1(hash);
    }
    return encoded + QStringLiteral(".lock");
}

QString FolderFor(bool bGlobal)
{
    if (bGlobal)
        return QDir::tempPath() + QStringLiteral("/lantern-global-mutex");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/lantern-mutex");
    return QDir::tempPath() + QStringLiteral("/lantern-mutex-%1").arg(::getuid());
}

// Makes the folder; the global one is shared by every user like /tmp.
bool EnsureFolder(const QString& folder, bool bGlobal)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), bGlobal ? 01777 : 0700) == 0) {
        if (bGlobal)
            ::chmod(path.constData(), 01777); // past the umask
        return true;
    }
    struct stat st
    {
    };
    return errno == EEXIST && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

QString CNamedMutex::LockFilePath(const QString& name)
{
    const bool bGlobal = name.startsWith(kGlobalPrefix, Qt::CaseInsensitive);
    const QString bare = bGlobal ? name.mid(kGlobalPrefix.size()) : name;
    return FolderFor(bGlobal) + QLatin1Char('/') + EncodeName(bare);
}

std::unique_ptr<CNamedMutex> CNamedMutex::Create(const QString& name, Result* pResult)
{
    Result ignored;
    Result& result = pResult ? *pResult : ignored;
    result = Result::Failed;
    const bool bGlobal = name.startsWith(kGlobalPrefix, Qt::CaseInsensitive);
    const QString path = LockFilePath(name);
    if (!EnsureFolder(QFileInfo(path).absolutePath(), bGlobal))
        return nullptr;
    const QByteArray file = QFile::encodeName(path);
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, bGlobal ? 0666 : 0600);
    if (fd < 0)
        return nullptr;
    if (bGlobal)
        ::fchmod(fd, 0666); // another user must be able to open it too
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        result = errno == EWOULDBLOCK ? Result::AlreadyExists : Result::Failed;
        ::close(fd);
        return nullptr;
    }
    result = Result::Created;
    return std::unique_ptr<CNamedMutex>(new CNamedMutex(name, fd));
}

CNamedMutex::~CNamedMutex()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool CNamedMutex::WaitUntilFree(const QString& name)
{
    const QByteArray file = QFile::encodeName(LockFilePath(name));
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT; // never made: nobody holds it
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}
