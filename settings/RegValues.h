#pragma once

// Typed registry values: one object names one stored value (root, key path,
// value name), caches it, and moves it between the cache and the registry on
// request. Reads fall back from the object's root to the machine-wide root;
// writes go to the object's root only. Nothing is read at construction and
// nothing written at destruction. Every failure is reported only through
// the boolean result; the cache then keeps its default or last good value.

#include "Registry.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// Longest key path, value name and StringReg text, in characters.
inline constexpr int REG_MAX_KEY_PATH = 511;
inline constexpr int REG_MAX_VALUE_NAME = 259;
inline constexpr int REG_MAX_STRING = 1023;

namespace regdetail {

// Reads `size` bytes of a value into `buffer`: from `root`, and when that
// fails from the machine-wide root. A value larger than the buffer fails.
bool ReadRaw(HKEY root, const QString& keyPath, const QString& valueName, void* buffer,
             DWORD* pSize);
// Creates the key below `root` and sets the value there.
bool WriteRaw(HKEY root, const QString& keyPath, const QString& valueName, DWORD type,
              const void* data, DWORD size);

} // namespace regdetail

// The scalar values share one layout and differ in the cached type, the
// stored type, the default and whether Get reloads when m_bSync is set.
template <class T, DWORD kType, T kDefault, bool kReloadOnGet>
class TScalarReg
{
public:
    TScalarReg() = default;
    TScalarReg(HKEY root, const QString& keyPath, const QString& valueName, bool bSync = false)
        : m_bSync(bSync), m_szKeyPath(keyPath), m_szValueName(valueName), m_hRoot(root)
    {
    }
    virtual ~TScalarReg() = default;

    bool Read()
    {
        // The value's bytes land straight in the cache; a shorter value
        // replaces only its own bytes.
        T value = m_value;
        DWORD size = sizeof(T);
        if (!regdetail::ReadRaw(m_hRoot, m_szKeyPath, m_szValueName, &value, &size))
            return false;
        m_value = value;
        return true;
    }
    bool Write() const
    {
        return regdetail::WriteRaw(m_hRoot, m_szKeyPath, m_szValueName, kType, &m_value, sizeof(T));
    }
    T Get()
    {
        if (kReloadOnGet && m_bSync)
            Read();
        return m_value;
    }
    TScalarReg& Set(T value)
    {
        m_value = value;
        if (m_bSync)
            Write();
        return *this;
    }

    std::int32_t m_bSync = 0;
    QString m_szKeyPath;
    QString m_szValueName;
    HKEY m_hRoot = HKEY_LOCAL_MACHINE;
    T m_value = kDefault;
};

// Booleans, 32-bit signed integers, doubles and 64-bit integers are stored
// as their raw little-endian bytes (REG_BINARY); the two unsigned 32-bit
// classes as REG_DWORD.
using BoolReg = TScalarReg<std::int32_t, REG_BINARY, 0, true>;
using DoubleReg = TScalarReg<double, REG_BINARY, 0.0, false>;
using DwordReg = TScalarReg<std::uint32_t, REG_DWORD, 0u, false>;
using DwordReg2 = TScalarReg<std::uint32_t, REG_DWORD, 0xFFFFFFFFu, false>;
using IntReg = TScalarReg<std::int32_t, REG_BINARY, 0, false>;
using LongLongReg = TScalarReg<std::int64_t, REG_BINARY, 0, false>;

// A text of at most 1023 characters, stored as REG_SZ without terminator.
class StringReg
{
public:
    StringReg() = default;
    StringReg(HKEY root, const QString& keyPath, const QString& valueName, bool bSync = false);
    virtual ~StringReg() = default;

    // Takes a value of at most 2047 bytes; a larger one fails to read.
    bool Read();
    bool Write() const;
    const QString& Get() const { return m_value; }
    // Longer texts are cut to 1023 characters, as the cache holds no more.
    StringReg& Set(const QString& text);
    bool IsEmpty() const { return m_value.isEmpty(); }
    int GetLength() const { return static_cast<int>(m_value.size()); }
    bool Equals(const QString& text) const { return m_value == text; }
    // Deletes the stored value from the object's root.
    bool DeleteValue() const;

    std::int32_t m_bSync = 0;
    QString m_szKeyPath;
    QString m_szValueName;
    HKEY m_hRoot = HKEY_LOCAL_MACHINE;
    QString m_value;
};

// A list of binary records of one fixed size, one value per element named
// "0", "1", ... under a key of its own. Reads use the object's root only.
class ArrayReg
{
public:
    ArrayReg(HKEY root, const QString& keyPath, DWORD elementSize = 2048);
    virtual ~ArrayReg() = default;

    bool Read();
    bool Write();
    int GetCount() const { return static_cast<int>(m_elements.size()); }
    // The element's bytes. An index out of range throws std::out_of_range.
    const std::uint8_t* GetAt(int index);
    // False when the index is past the last element, the data is missing or
    // the size is not the element size. A negative index throws.
    bool SetAt(int index, const void* data, DWORD size);
    // The new index, or -1 for missing data or a wrong size.
    int Add(const void* data, DWORD size);
    // Ignored for missing data or a wrong size; an index past the end
    // appends.
    void InsertAt(int index, const void* data, DWORD size);
    void RemoveAt(int index);
    void RemoveAll() { m_elements.clear(); }

    const std::uint8_t* m_pCurrent = nullptr;
    std::vector<std::vector<std::uint8_t>> m_elements;
    DWORD m_nElementSize = 2048;
    QString m_szKeyPath;
    HKEY m_hRoot = HKEY_LOCAL_MACHINE;
};

// A list of texts, each stored as REG_SZ of exactly the element size: the
// text, its terminator and zero bytes. A text of element size / 2
// characters or more loses its end.
class ArrayStringReg
{
public:
    ArrayStringReg(HKEY root, const QString& keyPath, DWORD elementSize = 128);
    virtual ~ArrayStringReg() = default;

    bool Read();
    bool Write();
    int GetCount() const { return static_cast<int>(m_elements.size()); }
    QString GetAt(int index) const;
    // A null text counts as missing.
    bool SetAt(int index, const QString& text, DWORD size);
    int Add(const QString& text);
    void InsertAt(int index, const QString& text, DWORD size);
    void RemoveAt(int index);
    void RemoveAll() { m_elements.clear(); }

    QStringList m_elements;
    DWORD m_nElementSize = 128;
    QString m_szKeyPath;
    HKEY m_hRoot = HKEY_LOCAL_MACHINE;
    std::vector<std::uint8_t> m_szBuffer;
};
