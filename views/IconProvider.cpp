#include "IconProvider.h"

#include "IconRegistry.h"
#include "LangResources.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHash>
#include <QStyle>

QIcon IconForIndex(int index)
{
    static QHash<int, QIcon> cache;
    if (index <= 0)
        return {};
    if (const auto it = cache.constFind(index); it != cache.constEnd())
        return it.value();
    QIcon icon;
    const QStringList names = CIconRegistry::Instance().Names(index);
    for (const QString& name : names) {
        icon = QIcon::fromTheme(name);
        if (!icon.isNull())
            break;
    }
    if (icon.isNull()) {
        static const QFileIconProvider provider;
        const bool bFolder = !names.isEmpty() && names.first().startsWith(u"folder");
        icon = provider.icon(bFolder ? QFileIconProvider::Folder : QFileIconProvider::File);
    }
    cache.insert(index, icon);
    return icon;
}

QIcon ResourceIcon(int id)
{
    const CLangResources* res = GetLangResources();
    const QString path = res ? res->IconPath(id) : QString();
    return path.isEmpty() ? QIcon() : QIcon(path);
}
