#pragma once

// The names by which the viewer and its two companion programs find each
// other: the named mutexes each companion holds while it runs, the window
// class the virtual-drive program listens under, and the message the viewer
// broadcasts to it.

#include <QString>

inline const QString BURNER_MUTEX_NAME =
    QStringLiteral("Global\\{4F0D5A18-1D1B-4e60-BDF9-0F62C79FB3FA}");
inline const QString MOUNTER_MUTEX_NAME =
    QStringLiteral("Global\\{262F6735-5040-48A3-9F11-ECC6327CC961}");
inline const QString MOUNTER_WINDOW_CLASS = QStringLiteral("Vantrel Fenmount");
inline const QString MOUNTER_BROADCAST_MESSAGE =
    QStringLiteral("{262F6735-5040-48A3-9F11-ECC6327CC961}");
// The switch the viewer passes after the image path when it starts the
// virtual-drive program: mount this image, end when it is unmounted.
inline const QString MOUNTER_INTEROP_SWITCH = QStringLiteral("/INTEROPMODE");
