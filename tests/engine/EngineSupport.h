#pragma once

// Scripted images for the fake module, and the notifications an engine sent.

#include "EngineTypes.h"
#include "FileBytes.h"
#include "ImageEngine.h"
#include "fakevbe/FakeContent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

// Paths of the modules the tests load (set by the build).
inline QString FakeModulePath()
{
    return QStringLiteral(LANTERN_FAKE_VBE);
}
inline QString RealModulePath()
{
    return QStringLiteral(LANTERN_REAL_VBE);
}

// The bytes the scripted module gives for a file; whether a file holds them.
inline QByteArray FakeBytes(const QString& imagePath, std::uint64_t size)
{
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    const std::string path = imagePath.toStdString();
    for (std::uint64_t i = 0; i < size; ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>(FakeByte(path, i));
    return bytes;
}
inline bool HasFakeContent(const QString& diskPath, const char* imagePath, std::uint64_t size)
{
    return QFileInfo::exists(diskPath) &&
           ReadBytes(diskPath) == FakeBytes(QString::fromLatin1(imagePath), size);
}

// A scripted image: a description file in a temporary folder.
class ScriptedImage
{
public:
    explicit ScriptedImage(const QString& description, const QString& name = QStringLiteral("img"))
    {
        m_path = m_dir.filePath(name + QStringLiteral(".iso"));
        WriteBytes(m_path, description.toUtf8());
    }
    QString Path() const { return m_path; }
    QString Folder() const { return m_dir.path(); }
    // The calls the module saw, one per line.
    QStringList Log() const
    {
        return QString::fromUtf8(ReadBytes(m_path + QStringLiteral(".log")))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int Count(const QString& prefix) const
    {
        const QStringList log = Log();
        return static_cast<int>(std::count_if(
            log.begin(), log.end(), [&](const QString& line) { return line.startsWith(prefix); }));
    }
    void ClearLog() const { QFile::remove(m_path + QStringLiteral(".log")); }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Collects the notifications of an engine.
struct NotifyLog
{
    std::vector<std::pair<std::uint32_t, QString>> events;
    std::function<void(std::uint32_t)> onEvent;

    static void Callback(std::uint32_t code, const char16_t* param, void* context)
    {
        auto* log = static_cast<NotifyLog*>(context);
        log->events.emplace_back(code, param ? QString::fromUtf16(param) : QString());
        if (log->onEvent)
            log->onEvent(code);
    }
    void Attach(CImageEngine& engine) { engine.SetNotify(&NotifyLog::Callback, this); }
    bool Has(std::uint32_t code) const { return ParamOf(code) != u"<none>"; }
    QString ParamOf(std::uint32_t code) const
    {
        for (const auto& e : events)
            if (e.first == code)
                return e.second;
        return QStringLiteral("<none>");
    }
};
