#pragma once

// Waiting while events run; and the application object of tests without widgets.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

// Runs events until `done` holds, at most `ms` milliseconds; whether it holds.
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

// The one application object of a program without widgets, made when first asked for.
inline QCoreApplication& CoreTestApp()
{
    static int argc = 1;
    static char name[] = "lantern-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}
