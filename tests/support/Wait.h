#pragma once

// Waiting in tests: events go on running while a condition is awaited; and
// the application object of a test program without widgets.

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

// The one application object of a test program without widgets, made when
// first asked for.
inline QCoreApplication& CoreTestApp()
{
    static int argc = 1;
    static char name[] = "lantern-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}
