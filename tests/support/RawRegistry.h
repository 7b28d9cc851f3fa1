#pragma once

// Registry values as their raw bytes, for tests: what one root holds (with
// no fall-back to the machine), and a value of any type set directly.

#include "Registry.h"

#include <QByteArray>
#include <QString>

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
