#include "TargetTree.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CTargetTree::~CTargetTree()
{
    CloseFrom(0);
}

QByteArray CTargetTree::Normalized(const QString& path)
{
    return QFile::encodeName(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
}

void CTargetTree::CloseFrom(std::size_t depth)
{
    while (m_fds.size() > depth) {
        ::close(m_fds.back());
        m_fds.pop_back();
        m_parts.pop_back();
    }
}

int CTargetTree::OpenFolder(const QByteArray& path, bool* pRefused)
{
    *pRefused = false;
    QList<QByteArray> parts = path.split('/');
    parts.removeAll(QByteArray());
    // m_parts[0] stands for the root; m_parts[k] is parts[k - 1].
    std::size_t keep = m_fds.empty() ? 0 : 1;
    while (keep < m_parts.size() && keep - 1 < static_cast<std::size_t>(parts.size()) &&
           m_parts[keep] == parts[static_cast<qsizetype>(keep - 1)])
        ++keep;
    CloseFrom(keep);
    if (m_fds.empty()) {
        const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (root < 0)
            return -1;
        m_parts.push_back(QByteArray());
        m_fds.push_back(root);
    }
    for (std::size_t k = m_fds.size(); k <= static_cast<std::size_t>(parts.size()); ++k) {
        const QByteArray& part = parts[static_cast<qsizetype>(k - 1)];
        const int at = m_fds.back();
        int fd = ::openat(at, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
            struct stat st
            {
            };
            if (::fstatat(at, part.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode)) {
                if (m_ownLinks.count('/' + parts.mid(0, static_cast<qsizetype>(k)).join('/'))) {
                    *pRefused = true;
                    return -1;
                }
                fd = ::openat(at, part.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            }
        }
        if (fd < 0)
            return -1;
        m_parts.push_back(part);
        m_fds.push_back(fd);
    }
    return m_fds.back();
}

unsigned ProcessUmask()
{
    // The kernel shows it since Linux 4.7; umask() itself would change it
    // for a moment under the other threads.
    unsigned mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = value & 0777;
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}
