#pragma once

// Stands in for the system image list: icons are plain integer indices, as
// the records and views store them, and the registry knows which themed icon
// each index stands for. Index 0 means "no icon". The widgets layer turns an
// index into a QIcon (theme icon, else the generic name, else a built-in
// picture); this layer needs nothing but QtCore.

#include <QHash>
#include <QString>
#include <QStringList>
#include <mutex>

class CIconRegistry
{
public:
    static CIconRegistry& Instance();

    // The index of the icon named `themeName` (with `fallbackName` when the
    // theme lacks it); the same pair always gives the same index. Empty names
    // give 0.
    int Register(const QString& themeName, const QString& fallbackName = QString());

    // The names an index stands for, best first; empty for 0 and unknown
    // indices.
    QStringList Names(int index) const;
    int Count() const;

private:
    mutable std::mutex m_mutex;
    QHash<QString, int> m_indexByKey;
    QList<QStringList> m_names; // index i + 1 at position i
};
