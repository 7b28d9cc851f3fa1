#pragma once

// Points the registry's two roots, the home folder and the XDG folders at a
// fresh temporary folder for the life of a test, and puts everything back
// afterwards.

#include <QByteArray>
#include <QDir>
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
