#pragma once

// Waiting in tests: events go on running while a condition is awaited.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

// Runs events until `done` holds, for at most `ms` milliseconds; whether it
// holds then.
template <typename Pred>
bool WaitFor(Pred done, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return done();
}
