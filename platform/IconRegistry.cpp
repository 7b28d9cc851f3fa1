#include "IconRegistry.h"

CIconRegistry& CIconRegistry::Instance()
{
    static CIconRegistry registry;
    return registry;
}

int CIconRegistry::Register(const QString& themeName, const QString& fallbackName)
{
    if (themeName.isEmpty() && fallbackName.isEmpty())
        return 0;
    QStringList names;
    if (!themeName.isEmpty())
        names << themeName;
    if (!fallbackName.isEmpty() && fallbackName != themeName)
        names << fallbackName;
    const QString key = names.join(QLatin1Char('\n'));
    std::lock_guard lock(m_mutex);
    if (const auto it = m_indexByKey.constFind(key); it != m_indexByKey.constEnd())
        return it.value();
    m_names.append(names);
    const auto index = static_cast<int>(m_names.size());
    m_indexByKey.insert(key, index);
    return index;
}

QStringList CIconRegistry::Names(int index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 1 || index > m_names.size())
        return {};
    return m_names[index - 1];
}

int CIconRegistry::Count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_names.size());
}
