#include "ProgramRun.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

bool CProgramRun::Start(const QString& program, const QStringList& arguments, QString* pError)
{
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    // The child starts in a signal state of its own, not the caller's.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, storage.front().constData(), nullptr, &attributes,
                                    argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        if (pError)
            *pError = QString::fromLocal8Bit(std::strerror(error));
        m_pid = -1;
        return false;
    }
    m_pid = pid;
    return true;
}

void CProgramRun::Wait()
{
    while (m_pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, 0);
        if (done == m_pid || (done < 0 && errno != EINTR))
            m_pid = -1;
    }
}

bool CProgramRun::HasEnded()
{
    if (m_pid <= 0)
        return true;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno != EINTR))
        m_pid = -1;
    return m_pid <= 0;
}

void CProgramRun::WaitServingEvents()
{
    if (HasEnded())
        return;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (HasEnded())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
}
