#include "RegValues.h"

#include <cstring>
#include <stdexcept>

namespace {

// Closes a key when it goes out of scope.
class KeyHolder
{
public:
    KeyHolder() = default;
    ~KeyHolder()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    HKEY* operator&() { return &m_key; }
    operator HKEY() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool NamesFit(const QString& keyPath, const QString& valueName)
{
    return keyPath.size() <= REG_MAX_KEY_PATH && valueName.size() <= REG_MAX_VALUE_NAME;
}

bool QueryOnce(HKEY root, const QString& keyPath, const QString& valueName, void* buffer,
               DWORD* pSize)
{
    KeyHolder key;
    if (RegOpenKeyEx(root, keyPath, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    return RegQueryValueEx(key, valueName, nullptr, buffer, pSize) == ERROR_SUCCESS;
}

// UTF-16LE bytes up to the first terminator, or all of them.
QString TextOfBytes(const std::uint8_t* bytes, DWORD size)
{
    QString text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0)
            break;
        text += QChar(c);
    }
    return text;
}

std::vector<std::uint8_t> BytesOfText(const QString& text, DWORD size)
{
    std::vector<std::uint8_t> bytes(size, 0);
    for (qsizetype i = 0; i < text.size() && static_cast<DWORD>(2 * i + 1) < size; ++i) {
        bytes[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(text[i].unicode());
        bytes[static_cast<std::size_t>(2 * i + 1)] =
            static_cast<std::uint8_t>(text[i].unicode() >> 8);
    }
    return bytes;
}

// Deletes the key and creates it anew, empty.
bool RecreateKey(HKEY root, const QString& keyPath, HKEY* pKey)
{
    RegDeleteKey(root, keyPath); // a key that is not there is fine
    return RegCreateKeyEx(root, keyPath, KEY_WRITE, pKey) == ERROR_SUCCESS;
}

} // namespace

namespace regdetail {

bool ReadRaw(HKEY root, const QString& keyPath, const QString& valueName, void* buffer,
             DWORD* pSize)
{
    if (!NamesFit(keyPath, valueName))
        return false;
    const DWORD capacity = *pSize;
    if (QueryOnce(root, keyPath, valueName, buffer, pSize))
        return true;
    *pSize = capacity;
    return QueryOnce(HKEY_LOCAL_MACHINE, keyPath, valueName, buffer, pSize);
}

bool WriteRaw(HKEY root, const QString& keyPath, const QString& valueName, DWORD type,
              const void* data, DWORD size)
{
    if (!NamesFit(keyPath, valueName))
        return false;
    KeyHolder key;
    if (RegCreateKeyEx(root, keyPath, KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    return RegSetValueEx(key, valueName, type, data, size) == ERROR_SUCCESS;
}

} // namespace regdetail

// ---- StringReg ----------------------------------------------------------------

StringReg::StringReg(HKEY root, const QString& keyPath, const QString& valueName, bool bSync)
    : m_bSync(bSync), m_szKeyPath(keyPath), m_szValueName(valueName), m_hRoot(root)
{
}

bool StringReg::Read()
{
    // 1024 characters of cache, one of them kept for the terminator: a value
    // of 2048 bytes or more does not fit.
    std::uint8_t buffer[2 * (REG_MAX_STRING + 1)] = {};
    DWORD size = sizeof(buffer) - 1;
    if (!regdetail::ReadRaw(m_hRoot, m_szKeyPath, m_szValueName, buffer, &size))
        return false;
    m_value = TextOfBytes(buffer, size);
    return true;
}

bool StringReg::Write() const
{
    const std::vector<std::uint8_t> bytes =
        BytesOfText(m_value, static_cast<DWORD>(2 * m_value.size()));
    return regdetail::WriteRaw(m_hRoot, m_szKeyPath, m_szValueName, REG_SZ, bytes.data(),
                               static_cast<DWORD>(bytes.size()));
}

StringReg& StringReg::Set(const QString& text)
{
    m_value = text.left(REG_MAX_STRING);
    if (m_bSync)
        Write();
    return *this;
}

bool StringReg::DeleteValue() const
{
    KeyHolder key;
    if (RegOpenKeyEx(m_hRoot, m_szKeyPath, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    return RegDeleteValue(key, m_szValueName) == ERROR_SUCCESS;
}

// ---- ArrayReg -----------------------------------------------------------------

ArrayReg::ArrayReg(HKEY root, const QString& keyPath, DWORD elementSize)
    : m_nElementSize(elementSize), m_szKeyPath(keyPath), m_hRoot(root)
{
}

bool ArrayReg::Read()
{
    KeyHolder key;
    if (m_szKeyPath.size() > REG_MAX_KEY_PATH ||
        RegOpenKeyEx(m_hRoot, m_szKeyPath, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RemoveAll();
    m_pCurrent = nullptr;
    std::vector<std::uint8_t> scratch(m_nElementSize);
    for (DWORD i = 0;; ++i) {
        std::fill(scratch.begin(), scratch.end(), 0);
        QString name;
        DWORD size = m_nElementSize;
        if (RegEnumValue(key, i, &name, 256, nullptr, scratch.data(), &size) != ERROR_SUCCESS)
            break;
        m_elements.push_back(scratch);
    }
    return true;
}

bool ArrayReg::Write()
{
    KeyHolder key;
    if (m_szKeyPath.size() > REG_MAX_KEY_PATH || !RecreateKey(m_hRoot, m_szKeyPath, &key))
        return false;
    for (std::size_t i = 0; i < m_elements.size(); ++i)
        RegSetValueEx(key, QString::number(i), REG_BINARY, m_elements[i].data(), m_nElementSize);
    return true;
}

const std::uint8_t* ArrayReg::GetAt(int index)
{
    if (index < 0 || index >= GetCount())
        throw std::out_of_range("ArrayReg::GetAt: index out of range");
    m_pCurrent = m_elements[static_cast<std::size_t>(index)].data();
    return m_pCurrent;
}

bool ArrayReg::SetAt(int index, const void* data, DWORD size)
{
    if (index < 0)
        throw std::invalid_argument("ArrayReg::SetAt: negative index");
    if (index >= GetCount() || !data || size != m_nElementSize)
        return false;
    auto& element = m_elements[static_cast<std::size_t>(index)];
    std::memcpy(element.data(), data, size);
    m_pCurrent = element.data();
    return true;
}

int ArrayReg::Add(const void* data, DWORD size)
{
    if (!data || size != m_nElementSize)
        return -1;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_elements.emplace_back(bytes, bytes + size);
    m_pCurrent = m_elements.back().data();
    return GetCount() - 1;
}

void ArrayReg::InsertAt(int index, const void* data, DWORD size)
{
    if (!data || size != m_nElementSize || index < 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const auto at = m_elements.begin() + std::min(index, GetCount());
    m_pCurrent = m_elements.emplace(at, bytes, bytes + size)->data();
}

void ArrayReg::RemoveAt(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    m_elements.erase(m_elements.begin() + index);
    m_pCurrent = nullptr;
}

// ---- ArrayStringReg -------------------------------------------------------------

ArrayStringReg::ArrayStringReg(HKEY root, const QString& keyPath, DWORD elementSize)
    : m_nElementSize(elementSize), m_szKeyPath(keyPath), m_hRoot(root), m_szBuffer(elementSize)
{
}

bool ArrayStringReg::Read()
{
    KeyHolder key;
    if (m_szKeyPath.size() > REG_MAX_KEY_PATH ||
        RegOpenKeyEx(m_hRoot, m_szKeyPath, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RemoveAll();
    m_szBuffer.assign(m_nElementSize, 0);
    for (DWORD i = 0;; ++i) {
        std::fill(m_szBuffer.begin(), m_szBuffer.end(), 0);
        QString name;
        DWORD size = m_nElementSize;
        if (RegEnumValue(key, i, &name, 256, nullptr, m_szBuffer.data(), &size) != ERROR_SUCCESS)
            break;
        m_elements << TextOfBytes(m_szBuffer.data(), size);
    }
    return true;
}

bool ArrayStringReg::Write()
{
    KeyHolder key;
    if (m_szKeyPath.size() > REG_MAX_KEY_PATH || !RecreateKey(m_hRoot, m_szKeyPath, &key))
        return false;
    for (qsizetype i = 0; i < m_elements.size(); ++i) {
        const std::vector<std::uint8_t> bytes = BytesOfText(m_elements[i], m_nElementSize);
        RegSetValueEx(key, QString::number(i), REG_SZ, bytes.data(), m_nElementSize);
    }
    return true;
}

QString ArrayStringReg::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        throw std::out_of_range("ArrayStringReg::GetAt: index out of range");
    return m_elements[index];
}

bool ArrayStringReg::SetAt(int index, const QString& text, DWORD size)
{
    if (index < 0)
        throw std::invalid_argument("ArrayStringReg::SetAt: negative index");
    if (index >= GetCount() || text.isNull() || size != m_nElementSize)
        return false;
    m_elements[index] = text;
    return true;
}

int ArrayStringReg::Add(const QString& text)
{
    if (text.isNull())
        return -1;
    m_elements << text;
    return GetCount() - 1;
}

void ArrayStringReg::InsertAt(int index, const QString& text, DWORD size)
{
    if (text.isNull() || size != m_nElementSize || index < 0)
        return;
    m_elements.insert(std::min(index, GetCount()), text);
}

void ArrayStringReg::RemoveAt(int index)
{
    if (index >= 0 && index < GetCount())
        m_elements.removeAt(index);
}
