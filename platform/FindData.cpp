#include "FindData.h"

#include <QFile>
#include <sys/stat.h>

bool FindEntry(const QString& path, FIND_DATA* pData)
{
    QString clean = path;
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    struct stat st
    {
    };
    if (clean.isEmpty() || ::lstat(QFile::encodeName(clean).constData(), &st) != 0)
        return false;
    if (pData) {
        pData->cFileName = clean.mid(clean.lastIndexOf(QLatin1Char('/')) + 1);
        pData->bDirectory = S_ISDIR(st.st_mode);
        pData->nFileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
        pData->ftLastWriteTime =
            UnixTimeToFileTime(st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec));
    }
    return true;
}
