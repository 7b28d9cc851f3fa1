#include "EntryIcons.h"

#include "IconRegistry.h"

#include <QFileIconProvider>
#include <QHash>

QIcon GenericEntryIcon(bool bFolder)
{
    static const QFileIconProvider provider;
    return provider.icon(bFolder ? QFileIconProvider::Folder : QFileIconProvider::File);
}

QIcon RegistryIcon(int nIndex)
{
    static QHash<int, QIcon> cache;
    if (nIndex <= 0)
        return {};
    if (const auto it = cache.constFind(nIndex); it != cache.constEnd())
        return it.value();
    QIcon icon;
    const QStringList names = CIconRegistry::Instance().Names(nIndex);
    for (const QString& name : names) {
        icon = QIcon::fromTheme(name);
        if (!icon.isNull())
            break;
    }
    if (icon.isNull())
        icon = GenericEntryIcon(!names.isEmpty() && names.first().startsWith(u"folder"));
    cache.insert(nIndex, icon);
    return icon;
}
