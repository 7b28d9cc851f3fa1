#pragma once

// A registry of our own: two roots, per-user and machine-wide, each kept in
// one human-readable text file, with keys addressed by backslash paths and
// values kept with their type and raw bytes. The calls follow the registry
// functions the program was designed around (open, create, query, set,
// delete, enumerate) with their results and semantics, so the typed values
// above them need no translation.
//
// Files:
//   per-user      $LANTERN_USER_REGISTRY, else
//                 $XDG_CONFIG_HOME/lantern/registry.reg (~/.config/...)
//   machine-wide  $LANTERN_MACHINE_REGISTRY, else /etc/xdg/lantern/registry.reg
//
// Every change re-reads its file under an exclusive lock, applies itself and
// replaces the file atomically (write a new file, flush it, rename it over
// the old one), so a crash loses nothing saved before and two processes that
// change different values at the same time both keep their change. A file
// that cannot be parsed is copied aside once (registry.reg.bad-<time>), the
// problem is reported once on stderr, and what could be read is kept.

#include <QByteArray>
#include <QString>
#include <cstdint>

using LSTATUS = long;
using DWORD = std::uint32_t;
using REGSAM = std::uint32_t;

struct RegKeyHandle;
using HKEY = RegKeyHandle*;

// The two roots. They are never closed.
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

inline constexpr LSTATUS ERROR_SUCCESS = 0;
inline constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
inline constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
inline constexpr LSTATUS ERROR_WRITE_FAULT = 29;
inline constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr LSTATUS ERROR_MORE_DATA = 234;
inline constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
inline constexpr LSTATUS ERROR_KEY_HAS_CHILDREN = 1020;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Opens an existing key below `root` (a root or an open key); an empty
// subkey opens `root` itself again.
LSTATUS RegOpenKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* pResult);
// Opens a key, creating it and every missing parent. `pCreated` (optional)
// tells whether the key was new.
LSTATUS RegCreateKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* pResult,
                       bool* pCreated = nullptr);
LSTATUS RegCloseKey(HKEY key);

// Copies a value's bytes into `data` (may be null to ask for the size).
// `*pSize` is the buffer's size on entry and the value's size on return; a
// value larger than the buffer gives ERROR_MORE_DATA and copies nothing.
LSTATUS RegQueryValueEx(HKEY key, const QString& name, DWORD* pType, void* data, DWORD* pSize);
LSTATUS RegSetValueEx(HKEY key, const QString& name, DWORD type, const void* data, DWORD size);
LSTATUS RegDeleteValue(HKEY key, const QString& name);
// Deletes a key with its values; a key that still has subkeys is kept
// (ERROR_KEY_HAS_CHILDREN).
LSTATUS RegDeleteKey(HKEY root, const QString& subKey);

// Values in the order they were first set; subkeys in alphabetical order.
// `*pNameLength` and `*pSize` work as for the query: a name longer than
// `nameCapacity - 1` characters or data larger than `*pSize` gives
// ERROR_MORE_DATA. ERROR_NO_MORE_ITEMS past the end.
LSTATUS RegEnumValue(HKEY key, DWORD index, QString* pName, DWORD nameCapacity, DWORD* pType,
                     void* data, DWORD* pSize);
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, QString* pName, DWORD nameCapacity);

// The files that hold the two roots now (they follow the environment).
QString RegistryFilePath(HKEY root);
