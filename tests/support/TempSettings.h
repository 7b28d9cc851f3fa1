#pragma once

// The registry's roots, home and XDG folders in a fresh folder; and values as raw bytes.

#include "Registry.h"
#include "TimeZone.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

class TempSettings : public ScopedEnv
{
public:
    TempSettings()
    {
        const QString root = m_dir.path();
        QDir().mkpath(root + QStringLiteral("/home"));
        QDir().mkpath(root + QStringLiteral("/tmp"));
        Set("HOME", root + QStringLiteral("/home"));
        Set("XDG_CONFIG_HOME", root + QStringLiteral("/home/.config"));
        Set("XDG_DATA_HOME", root + QStringLiteral("/home/.local/share"));
        Set("TMPDIR", root + QStringLiteral("/tmp"));
        Set("LANTERN_USER_REGISTRY", UserFile());
        Set("LANTERN_MACHINE_REGISTRY", MachineFile());
    }

    QString Path() const { return m_dir.path(); }
    QString Home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString UserFile() const { return m_dir.path() + QStringLiteral("/user.reg"); }
    QString MachineFile() const { return m_dir.path() + QStringLiteral("/machine.reg"); }

private:
    QTemporaryDir m_dir;
};

// Value `name` of key `path` in `root` alone; "<none>" when missing.
inline QByteArray RawValue(HKEY root, const QString& path, const QString& name,
                           DWORD* pType = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(root, path, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<none>";
    QByteArray data(8192, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueEx(key, name, pType, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<none>";
    data.resize(size);
    return data;
}

// Creates the key when missing and sets the value; true when both worked.
inline bool PutRawValue(HKEY root, const QString& path, const QString& name, DWORD type,
                        const QByteArray& data)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(root, path, KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueEx(key, name, type, data.constData(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// A text as the registry stores it: UTF-16, no terminator.
inline QByteArray Utf16Bytes(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}
