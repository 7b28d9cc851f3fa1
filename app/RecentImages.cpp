#include "RecentImages.h"

#include "RegValues.h"
#include "StoredSettings.h"

namespace {

QString RecentKey()
{
    return SETTINGS_KEY + QStringLiteral("\\Recent File List");
}

QString ValueName(int index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

void Store(const QStringList& paths)
{
    for (int i = 0; i < RECENT_IMAGES_MAX; ++i) {
        StringReg value(HKEY_CURRENT_USER, RecentKey(), ValueName(i));
        if (i < paths.size())
            value.Set(paths[i]).Write();
        else
            value.DeleteValue();
    }
}

} // namespace

QStringList LoadRecentImages()
{
    QStringList paths;
    for (int i = 0; i < RECENT_IMAGES_MAX; ++i) {
        StringReg value(HKEY_CURRENT_USER, RecentKey(), ValueName(i));
        if (value.Read() && !value.IsEmpty() && !paths.contains(value.Get()))
            paths << value.Get();
    }
    return paths;
}

void AddRecentImage(const QString& path)
{
    QStringList paths = LoadRecentImages();
    paths.removeAll(path);
    paths.prepend(path);
    Store(paths.mid(0, RECENT_IMAGES_MAX));
}

void RemoveRecentImage(const QString& path)
{
    QStringList paths = LoadRecentImages();
    if (paths.removeAll(path) > 0)
        Store(paths);
}

void ClearRecentImages()
{
    Store({});
}
