#pragma once

// Points the registry's two roots, the home folder and the XDG folders at a
// fresh temporary folder for the life of a test, and puts everything back
// afterwards; and registry values as their raw bytes: what one root holds
// (with no fall-back to the machine), and a value of any type set directly.

#include "Registry.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <string>

class TempSettings
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
    ~TempSettings()
    {
        for (const auto& [name, old] : m_saved) {
            if (old.has)
                setenv(name.c_str(), old.value.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

    QString Path() const { return m_dir.path(); }
    QString Home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString UserFile() const { return m_dir.path() + QStringLiteral("/user.reg"); }
    QString MachineFile() const { return m_dir.path() + QStringLiteral("/machine.reg"); }

    void Set(const char* name, const QString& value)
    {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name);
            m_saved[name] = Saved{old != nullptr, old ? old : ""};
        }
        setenv(name, value.toLocal8Bit().constData(), 1);
    }

private:
    struct Saved
    {
        bool has;
        std::string value;
    };
    QTemporaryDir m_dir;
    std::map<std::string, Saved> m_saved;
};

// The bytes of value `name` of key `path` in `root` alone; "<none>" when the
// key or the value is missing.
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
