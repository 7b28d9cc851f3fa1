#pragma once

// Named mutexes: a name marks something as taken for as long as its holder
// lives. A plain name is private to the user (every process of the user
// sees it); a name that starts with "Global\" is shared by every user of the
// machine. A mutex is a lock held on a file named after it, so the system
// releases it when its holder ends, even by a crash.
//
//   per user   $XDG_RUNTIME_DIR/lantern-mutex/  (else <temp>/lantern-mutex-<uid>/)
//   global     <temp>/lantern-global-mutex/     (sticky, writable by all)

#include <QString>
#include <memory>

class CNamedMutex
{
public:
    enum class Result
    {
        Created,       // this holder owns the name now
        AlreadyExists, // another holder (any process, this one too) owns it
        Failed,        // the name could not be made (no folder, no permission)
    };

    // Creates the mutex, owned by the caller, or reports why not. Only a
    // Created result gives a mutex.
    static std::unique_ptr<CNamedMutex> Create(const QString& name, Result* pResult);

    // Blocks until no holder owns the name (it is released or its holder
    // ends), without taking it. False when the name cannot be waited on.
    static bool WaitUntilFree(const QString& name);

    // Releases the name.
    ~CNamedMutex();

    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    QString Name() const { return m_strName; }

    // The file that stands for a name (a test aid and a diagnostic).
    static QString LockFilePath(const QString& name);

private:
    CNamedMutex(QString name, int fd) : m_strName(std::move(name)), m_fd(fd) {}
    QString m_strName;
    int m_fd = -1;
};
