#pragma once

// A language set written from a few lines, for tests with and without widgets.

#include "FileBytes.h"
#include "LangResources.h"

#include <QTemporaryDir>

// The `NUMBER = text` lines given as the language set while this lives.
class ScopedLangSet
{
public:
    explicit ScopedLangSet(const QByteArray& strings) : m_pBefore(GetLangResources())
    {
        const QString path = m_dir.filePath(QStringLiteral("ADTRC.lang"));
        m_bLoaded = WriteBytes(path, "[language]\ncode = ENU\n[strings]\n" + strings) &&
                    m_resources.LoadFile(path);
        SetLangResources(&m_resources);
    }
    ~ScopedLangSet() { SetLangResources(m_pBefore); }
    ScopedLangSet(const ScopedLangSet&) = delete;
    ScopedLangSet& operator=(const ScopedLangSet&) = delete;
    bool Loaded() const { return m_bLoaded; }

private:
    QTemporaryDir m_dir;
    CLangResources m_resources;
    CLangResources* m_pBefore;
    bool m_bLoaded = false;
};
