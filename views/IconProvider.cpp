#include "IconProvider.h"

#include "EntryIcons.h"
#include "LangResources.h"

QIcon IconForIndex(int index)
{
    return RegistryIcon(index);
}

QIcon ResourceIcon(int id)
{
    const CLangResources* res = GetLangResources();
    const QString path = res ? res->IconPath(id) : QString();
    return path.isEmpty() ? QIcon() : QIcon(path);
}
