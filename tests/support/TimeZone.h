#pragma once

// Environment variables and a time zone for the life of a test, then restored.

#include <QString>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>

class ScopedEnv
{
public:
    ScopedEnv() = default;
    ~ScopedEnv() { Restore(); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const char* name, const QString& value)
    {
        const char* old = std::getenv(name);
        if (!m_saved.count(name))
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        setenv(name, value.toLocal8Bit().constData(), 1);
    }
    void Restore()
    {
        for (const auto& [name, old] : m_saved)
            old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str());
        m_saved.clear();
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

class ScopedTimeZone : ScopedEnv
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        Set("TZ", QString::fromLatin1(zone));
        tzset();
    }
    ~ScopedTimeZone()
    {
        Restore();
        tzset();
    }
};
