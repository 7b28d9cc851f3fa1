#include "Registry.h"

#include "ProgramPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

inline constexpr LSTATUS ERROR_KEY_DELETED = 1018;

struct RegKeyHandle
{
    bool bPredefined = false;
    bool bMachine = false;
    QString strPath; // normalised, without leading or trailing backslash
    REGSAM access = 0;
};

namespace {

RegKeyHandle g_userRoot{true, false, QString(), KEY_ALL_ACCESS};
RegKeyHandle g_machineRoot{true, true, QString(), KEY_ALL_ACCESS};

// ---- The in-memory form of one root ---------------------------------------

struct Value
{
    QString name;
    DWORD type = REG_NONE;
    QByteArray data;
};

struct Key
{
    QString path;              // as first written
    std::vector<Value> values; // in the order they were first set
};

// Keys by case-folded path; the root is the empty path and always exists.
using Hive = std::map<QString, Key>;

QString Fold(const QString& path)
{
    return path.toCaseFolded();
}

// Joins and cleans a path: empty components (doubled, leading or trailing
// backslashes) are dropped.
QString JoinPath(const QString& base, const QString& sub)
{
    QStringList parts = base.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    parts += sub.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

// The value of that name (names compare without regard to case), or null.
template <class K>
auto FindValue(K& key, const QString& name) -> decltype(&key.values.front())
{
    const QString folded = name.toCaseFolded();
    for (auto& v : key.values) {
        if (v.name.toCaseFolded() == folded)
            return &v;
    }
    return nullptr;
}

// The first key below `folded` in the hive's order; every key below it
// follows without a gap, since they all share the prefix "folded\".
Hive::const_iterator FirstBelow(const Hive& hive, const QString& folded, QString* pPrefix)
{
    *pPrefix = folded.isEmpty() ? QString() : folded + QLatin1Char('\\');
    return folded.isEmpty() ? hive.upper_bound(folded) : hive.lower_bound(*pPrefix);
}

bool HasChildren(const Hive& hive, const QString& folded)
{
    QString prefix;
    const auto it = FirstBelow(hive, folded, &prefix);
    return it != hive.end() && it->first.startsWith(prefix);
}

// ---- The text form ----------------------------------------------------------

QString Escape(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case 0:
            out += QStringLiteral("\\0");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Reads a quoted text starting at `*pos` (at the opening quote); leaves
// `*pos` after the closing quote. False on a malformed text.
bool ReadQuoted(QStringView line, qsizetype* pos, QString* out)
{
    qsizetype i = *pos;
    if (i >= line.size() || line[i] != QLatin1Char('"'))
        return false;
    out->clear();
    for (++i; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('"')) {
            *pos = i + 1;
            return true;
        }
        if (c != QLatin1Char('\\')) {
            *out += c;
            continue;
        }
        if (++i == line.size())
            return false;
        switch (line[i].unicode()) {
        case '\\':
            *out += QLatin1Char('\\');
            break;
        case '"':
            *out += QLatin1Char('"');
            break;
        case 'n':
            *out += QLatin1Char('\n');
            break;
        case 'r':
            *out += QLatin1Char('\r');
            break;
        case 't':
            *out += QLatin1Char('\t');
            break;
        case '0':
            *out += QChar(0);
            break;
        default:
            return false;
        }
    }
    return false;
}

QByteArray Utf16Bytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

// The text of UTF-16LE bytes, or false when they are not a whole, valid
// UTF-16 text that can be written as UTF-8.
bool TextOfUtf16(const QByteArray& bytes, QString* text)
{
    if (bytes.size() % 2 != 0)
        return false;
    text->resize(bytes.size() / 2);
    for (qsizetype i = 0; i < text->size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        (*text)[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    return QStringView(*text).isValidUtf16();
}

QString HexBytes(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(',');
        out +=
            QStringLiteral("%1").arg(static_cast<unsigned char>(bytes[i]), 2, 16, QLatin1Char('0'));
    }
    return out;
}

std::uint64_t LittleEndian(const QByteArray& bytes)
{
    std::uint64_t v = 0;
    for (qsizetype i = bytes.size(); i-- > 0;)
        v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    return v;
}

QByteArray LittleEndianBytes(std::uint64_t v, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return bytes;
}

QString FormatValue(const Value& v)
{
    QString text;
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && TextOfUtf16(v.data, &text)) {
        return (v.type == REG_SZ ? QStringLiteral("sz:\"") : QStringLiteral("expand_sz:\"")) +
               Escape(text) + QLatin1Char('"');
    }
    if (v.type == REG_DWORD && v.data.size() == 4)
        return QStringLiteral("dword:%1").arg(LittleEndian(v.data), 8, 16, QLatin1Char('0'));
    if (v.type == REG_QWORD && v.data.size() == 8)
        return QStringLiteral("qword:%1").arg(LittleEndian(v.data), 16, 16, QLatin1Char('0'));
    if (v.type == REG_BINARY)
        return QStringLiteral("hex:") + HexBytes(v.data);
    return QStringLiteral("hex(%1):").arg(v.type, 0, 16) + HexBytes(v.data);
}

bool ParseHexList(QStringView text, QByteArray* out)
{
    out->clear();
    if (text.trimmed().isEmpty())
        return true;
    for (const QStringView part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const uint byte = part.trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xFF)
            return false;
        out->append(static_cast<char>(byte));
    }
    return true;
}

bool ParseValueData(QStringView spec, Value* v)
{
    const auto colon = spec.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    const QStringView kind = spec.left(colon).trimmed();
    const QStringView rest = spec.mid(colon + 1).trimmed();
    if (kind == u"sz" || kind == u"expand_sz") {
        QString text;
        qsizetype pos = 0;
        if (!ReadQuoted(rest, &pos, &text) || pos != rest.size())
            return false;
        v->type = kind == u"sz" ? REG_SZ : REG_EXPAND_SZ;
        v->data = Utf16Bytes(text);
        return true;
    }
    if (kind == u"dword" || kind == u"qword") {
        const int size = kind == u"dword" ? 4 : 8;
        bool ok = false;
        const qulonglong n = rest.toULongLong(&ok, 16);
        if (!ok || rest.size() > size * 2)
            return false;
        v->type = size == 4 ? REG_DWORD : REG_QWORD;
        v->data = LittleEndianBytes(n, size);
        return true;
    }
    if (kind == u"hex") {
        v->type = REG_BINARY;
        return ParseHexList(rest, &v->data);
    }
    if (kind.startsWith(u"hex(") && kind.endsWith(u")")) {
        bool ok = false;
        const uint type = kind.mid(4, kind.size() - 5).toUInt(&ok, 16);
        if (!ok)
            return false;
        v->type = type;
        return ParseHexList(rest, &v->data);
    }
    return false;
}

void AddKeyWithParents(Hive& hive, const QString& path)
{
    QString partial;
    hive.try_emplace(QString(), Key());
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        partial = partial.isEmpty() ? part : partial + QLatin1Char('\\') + part;
        auto [it, added] = hive.try_emplace(Fold(partial), Key());
        if (added)
            it->second.path = partial;
    }
}

Hive Parse(const QByteArray& bytes, QStringList* errors)
{
    Hive hive;
    hive.emplace(QString(), Key());
    Key* current = nullptr;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QStringView line = QStringView(lines[n]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = JoinPath(QString(), line.mid(1, line.size() - 2).toString());
            AddKeyWithParents(hive, path);
            current = &hive[Fold(path)];
            continue;
        }
        Value v;
        qsizetype pos = 0;
        if (current && ReadQuoted(line, &pos, &v.name)) {
            const QStringView rest = line.mid(pos).trimmed();
            if (rest.startsWith(QLatin1Char('=')) && ParseValueData(rest.mid(1).trimmed(), &v)) {
                if (Value* old = FindValue(*current, v.name))
                    *old = std::move(v);
                else
                    current->values.push_back(std::move(v));
                continue;
            }
        }
        *errors << QStringLiteral("line %1").arg(n + 1);
    }
    return hive;
}

QByteArray Serialize(const Hive& hive, bool bMachine)
{
    QString out = bMachine ? QStringLiteral("; Lantern settings for every user of this machine.\n")
                           : QStringLiteral("; Lantern settings of one user.\n");
    out +=
        QStringLiteral("; Keys in [brackets]; values as \"name\"=sz:\"text\", dword:hex digits,\n"
                       "; qword:hex digits, hex:bytes or hex(type):bytes.\n");
    for (const auto& [folded, key] : hive) {
        if (folded.isEmpty() && key.values.empty())
            continue;
        out += QStringLiteral("\n[") + key.path + QStringLiteral("]\n");
        for (const Value& v : key.values) {
            out += QLatin1Char('"') + Escape(v.name) + QStringLiteral("\"=") + FormatValue(v) +
                   QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

// ---- One root's file ----------------------------------------------------------

struct FileSignature
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileSignature&) const = default;
};

FileSignature SignatureOf(const QString& path)
{
    struct stat st
    {
    };
    FileSignature sig;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        sig.dev = st.st_dev;
        sig.ino = st.st_ino;
        sig.size = st.st_size;
        sig.mtimeNs = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    }
    return sig;
}

class HiveFile
{
public:
    HiveFile(QString path, bool bMachine) : m_path(std::move(path)), m_bMachine(bMachine) {}

    const Hive& Current()
    {
        const FileSignature sig = SignatureOf(m_path);
        if (!m_bLoaded || !(sig == m_signature))
            Load(sig);
        return m_hive;
    }

    // Applies `change` to the file's latest contents under an exclusive lock
    // and saves the result atomically when `change` reports a change.
    LSTATUS Modify(const std::function<LSTATUS(Hive&, bool*)>& change)
    {
        const QString dir = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(dir))
            return ERROR_ACCESS_DENIED;
        const QByteArray lockPath = QFile::encodeName(m_path + QStringLiteral(".lock"));
        const int lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFd < 0)
            return ERROR_ACCESS_DENIED;
        while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
        }
        Load(SignatureOf(m_path));
        bool bChanged = false;
        LSTATUS status = change(m_hive, &bChanged);
        if (status == ERROR_SUCCESS && bChanged)
            status = Save();
        // Whatever happened, the next read looks at the file again.
        m_bLoaded = status == ERROR_SUCCESS;
        ::close(lockFd); // releases the lock
        return status;
    }

private:
    void Load(const FileSignature& sig)
    {
        m_signature = sig;
        m_bLoaded = true;
        QFile file(m_path);
        if (sig.size < 0 || !file.open(QIODevice::ReadOnly)) {
            m_hive = Hive();
            m_hive.emplace(QString(), Key());
            return;
        }
        const QByteArray bytes = file.readAll();
        QStringList errors;
        m_hive = Parse(bytes, &errors);
        if (!errors.isEmpty() && !m_bReported) {
            m_bReported = true;
            const QString copy =
                m_path + QStringLiteral(".bad-") +
                QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            const bool bCopied = QFile::copy(m_path, copy);
            std::fprintf(stderr,
                         "lantern: %s: cannot read %s; %s; going on with what could be read\n",
                         qPrintable(m_path), qPrintable(errors.join(QStringLiteral(", "))),
                         bCopied ? qPrintable(QStringLiteral("a copy was kept as ") + copy)
                                 : "no copy could be kept");
        }
    }

    LSTATUS Save()
    {
        const QByteArray bytes = Serialize(m_hive, m_bMachine);
        const QByteArray target = QFile::encodeName(m_path);
        const QByteArray temp =
            target + ".new-" + QByteArray::number(static_cast<qlonglong>(::getpid()));
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno == ENOSPC ? ERROR_WRITE_FAULT : ERROR_ACCESS_DENIED;
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + written,
                                      static_cast<size_t>(bytes.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += n;
        }
        const bool bOk = written == bytes.size() && ::fsync(fd) == 0;
        ::close(fd);
        if (!bOk || ::rename(temp.constData(), target.constData()) != 0) {
            ::unlink(temp.constData());
            return ERROR_WRITE_FAULT;
        }
        // Make the rename itself durable.
        const int dirFd = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        m_signature = SignatureOf(m_path);
        return ERROR_SUCCESS;
    }

    QString m_path;
    bool m_bMachine;
    bool m_bLoaded = false;
    bool m_bReported = false;
    FileSignature m_signature;
    Hive m_hive;
};

std::recursive_mutex g_mutex;

HiveFile& FileOf(const RegKeyHandle* key)
{
    static std::map<QString, std::unique_ptr<HiveFile>> files;
    const QString path = RegistryFilePath(key->bMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
    auto& slot = files[path];
    if (!slot)
        slot = std::make_unique<HiveFile>(path, key->bMachine);
    return *slot;
}

bool IsValidHandle(HKEY key)
{
    return key != nullptr;
}

} // namespace

HKEY const HKEY_CURRENT_USER = &g_userRoot;
HKEY const HKEY_LOCAL_MACHINE = &g_machineRoot;

QString RegistryFilePath(HKEY root)
{
    if (root && root->bMachine) {
        // The administrator's file, else the defaults the build or the
        // installation laid beside the program (where its companions are).
        const QString path = qEnvironmentVariable("LANTERN_MACHINE_REGISTRY");
        if (!path.isEmpty())
            return path;
        const QString system = QStringLiteral("/etc/xdg/lantern/registry.reg");
        const QString beside = ProgramFolder() + QStringLiteral("/machine.reg");
        return QFileInfo::exists(system) || !QFileInfo::exists(beside) ? system : beside;
    }
    const QString path = qEnvironmentVariable("LANTERN_USER_REGISTRY");
    if (!path.isEmpty())
        return path;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lantern/registry.reg");
}

LSTATUS RegOpenKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* pResult)
{
    if (!IsValidHandle(root) || !pResult)
        return ERROR_INVALID_PARAMETER;
    *pResult = nullptr;
    std::lock_guard lock(g_mutex);
    const QString path = JoinPath(root->strPath, subKey);
    const Hive& hive = FileOf(root).Current();
    if (hive.find(Fold(path)) == hive.end())
        return ERROR_FILE_NOT_FOUND;
    *pResult = new RegKeyHandle{false, root->bMachine, path, access};
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyEx(HKEY root, const QString& subKey, REGSAM access, HKEY* pResult,
                       bool* pCreated)
{
    if (!IsValidHandle(root) || !pResult)
        return ERROR_INVALID_PARAMETER;
    *pResult = nullptr;
    std::lock_guard lock(g_mutex);
    const QString path = JoinPath(root->strPath, subKey);
    bool bCreated = false;
    HiveFile& file = FileOf(root);
    const Hive& current = file.Current();
    LSTATUS status = ERROR_SUCCESS;
    if (current.find(Fold(path)) == current.end()) {
        status = file.Modify([&](Hive& hive, bool* pChanged) {
            if (hive.find(Fold(path)) == hive.end()) {
                AddKeyWithParents(hive, path);
                *pChanged = bCreated = true;
            }
            return ERROR_SUCCESS;
        });
    }
    if (status != ERROR_SUCCESS)
        return status;
    if (pCreated)
        *pCreated = bCreated;
    *pResult = new RegKeyHandle{false, root->bMachine, path, access};
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (!IsValidHandle(key))
        return ERROR_INVALID_HANDLE;
    if (!key->bPredefined)
        delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueEx(HKEY key, const QString& name, DWORD* pType, void* data, DWORD* pSize)
{
    if (!IsValidHandle(key) || (data && !pSize))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_mutex);
    const Hive& hive = FileOf(key).Current();
    const auto it = hive.find(Fold(key->strPath));
    if (it == hive.end())
        return ERROR_KEY_DELETED;
    const Value* v = FindValue(it->second, name);
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    if (pType)
        *pType = v->type;
    if (!pSize)
        return ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(v->data.size());
    const DWORD capacity = *pSize;
    *pSize = size;
    if (!data)
        return ERROR_SUCCESS;
    if (size > capacity)
        return ERROR_MORE_DATA;
    std::memcpy(data, v->data.constData(), size);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueEx(HKEY key, const QString& name, DWORD type, const void* data, DWORD size)
{
    if (!IsValidHandle(key) || (!data && size))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_mutex);
    const QByteArray bytes(static_cast<const char*>(data), static_cast<qsizetype>(size));
    return FileOf(key).Modify([&](Hive& hive, bool* pChanged) {
        const auto it = hive.find(Fold(key->strPath));
        if (it == hive.end())
            return ERROR_KEY_DELETED;
        if (Value* v = FindValue(it->second, name)) {
            if (v->type == type && v->data == bytes)
                return ERROR_SUCCESS;
            v->type = type;
            v->data = bytes;
        } else {
            it->second.values.push_back(Value{name, type, bytes});
        }
        *pChanged = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValue(HKEY key, const QString& name)
{
    if (!IsValidHandle(key))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_mutex);
    return FileOf(key).Modify([&](Hive& hive, bool* pChanged) {
        const auto it = hive.find(Fold(key->strPath));
        if (it == hive.end())
            return ERROR_KEY_DELETED;
        auto& values = it->second.values;
        const QString folded = name.toCaseFolded();
        for (auto v = values.begin(); v != values.end(); ++v) {
            if (v->name.toCaseFolded() == folded) {
                values.erase(v);
                *pChanged = true;
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegDeleteKey(HKEY root, const QString& subKey)
{
    if (!IsValidHandle(root))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    const QString folded = Fold(JoinPath(root->strPath, subKey));
    if (folded.isEmpty())
        return ERROR_ACCESS_DENIED; // a root cannot be deleted
    return FileOf(root).Modify([&](Hive& hive, bool* pChanged) {
        const auto it = hive.find(folded);
        if (it == hive.end())
            return ERROR_FILE_NOT_FOUND;
        if (HasChildren(hive, folded))
            return ERROR_KEY_HAS_CHILDREN;
        hive.erase(it);
        *pChanged = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumValue(HKEY key, DWORD index, QString* pName, DWORD nameCapacity, DWORD* pType,
                     void* data, DWORD* pSize)
{
    if (!IsValidHandle(key) || (data && !pSize))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_mutex);
    const Hive& hive = FileOf(key).Current();
    const auto it = hive.find(Fold(key->strPath));
    if (it == hive.end())
        return ERROR_KEY_DELETED;
    const auto& values = it->second.values;
    if (index >= values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value v = values[index];
    if (static_cast<DWORD>(v.name.size()) + 1 > nameCapacity)
        return ERROR_MORE_DATA;
    if (pName)
        *pName = v.name;
    if (pType)
        *pType = v.type;
    if (pSize) {
        const DWORD capacity = *pSize;
        *pSize = static_cast<DWORD>(v.data.size());
        if (data) {
            if (static_cast<DWORD>(v.data.size()) > capacity)
                return ERROR_MORE_DATA;
            std::memcpy(data, v.data.constData(), static_cast<size_t>(v.data.size()));
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, QString* pName, DWORD nameCapacity)
{
    if (!IsValidHandle(key))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    std::lock_guard lock(g_mutex);
    const Hive& hive = FileOf(key).Current();
    const QString folded = Fold(key->strPath);
    if (hive.find(folded) == hive.end())
        return ERROR_KEY_DELETED;
    QString prefix;
    DWORD n = 0;
    for (auto it = FirstBelow(hive, folded, &prefix); it != hive.end(); ++it) {
        if (!it->first.startsWith(prefix))
            break;
        if (it->first.indexOf(QLatin1Char('\\'), prefix.size()) >= 0)
            continue; // a grandchild
        if (n++ != index)
            continue;
        const QString name = it->second.path.mid(it->second.path.lastIndexOf(u'\\') + 1);
        if (static_cast<DWORD>(name.size()) + 1 > nameCapacity)
            return ERROR_MORE_DATA;
        if (pName)
            *pName = name;
        return ERROR_SUCCESS;
    }
    return ERROR_NO_MORE_ITEMS;
}
