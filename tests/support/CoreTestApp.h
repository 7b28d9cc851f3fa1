#pragma once

#include <QCoreApplication>

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
