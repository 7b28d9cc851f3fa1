#pragma once

// Starting another program and waiting for it to end. The program gets its
// arguments as they are (no shell, no quoting); a start that fails reports
// the system's text for the error.

#include <QString>
#include <QStringList>
#include <sys/types.h>

class CProgramRun
{
public:
    // A program still running when this ends is left to run.
    CProgramRun() = default;
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Starts `program` with `arguments`; false with the system's error text
    // in `pError` when it cannot be started.
    bool Start(const QString& program, const QStringList& arguments, QString* pError);

    bool IsStarted() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // Blocks until the program ends; returns at once when none was started.
    void Wait();
    // True once the program has ended (or none was started); never blocks.
    bool HasEnded();
    // Waits for the end while the calling thread's events are served.
    void WaitServingEvents();

private:
    pid_t m_pid = -1;
};
