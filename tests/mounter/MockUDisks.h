#pragma once

// A private bus with the stand-in udisks2 (udisks2_mock.py), and an xdg-open that notes.

#include "FileBytes.h"
#include "PrivateBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

inline const QString kUDisks = QStringLiteral("org.freedesktop.UDisks2");
inline const QString kUDisksRoot = QStringLiteral("/org/freedesktop/UDisks2");

class MockUDisks : public PrivateBus
{
public:
    MockUDisks() : PrivateBus(QStringLiteral("mock-udisks-test")) {}
    // The bus, with `bService` udisks2 on it too; empty, or what went wrong.
    QString Start(bool bService = true)
    {
        const QString error = StartBus();
        if (!error.isEmpty() || !bService)
            return error;
        QDir().mkpath(MountRoot());
        return StartMock({QStringLiteral("--template"), QStringLiteral(FENMOUNT_UDISKS_MOCK),
                          QStringLiteral("-p"),
                          QStringLiteral("{\"mount_root\": \"%1\"}").arg(MountRoot())},
                         kUDisks, m_dir.filePath(QStringLiteral("mock.log")));
    }
    QString MountRoot() const
    {
        return m_strMountRoot.isEmpty() ? m_dir.filePath(QStringLiteral("media")) : m_strMountRoot;
    }
    void SetMountRoot(const QString& folder) { m_strMountRoot = folder; }

    // The mock's controls (udisks2_mock.py).
    QStringList Journal() { return Call(QStringLiteral("Journal"), {}).toStringList(); }
    QString Detail(const QString& method)
    {
        return Call(QStringLiteral("Detail"), {method}).toString();
    }
    void FailNext(const QString& method, const QString& errorName, const QString& message)
    {
        Call(QStringLiteral("FailNext"), {method, errorName, message});
    }

private:
    QVariant Call(const QString& method, const QVariantList& args)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kUDisks, kUDisksRoot, QStringLiteral("org.freedesktop.DBus.Mock"), method);
        call.setArguments(args);
        return Bus().call(call).arguments().value(0);
    }

    QTemporaryDir m_dir;
    QString m_strMountRoot;
};

// xdg-open's stand-in, first on PATH while it lives; Opened() as local paths.
class FakeXdgOpen
{
public:
    FakeXdgOpen()
    {
        const QString script = m_dir.filePath(QStringLiteral("xdg-open"));
        WriteBytes(
            script,
            QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Record()).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeXdgOpen() { qputenv("PATH", m_oldPath); }
    QStringList Opened() const
    {
        QStringList opened;
        for (const QString& line :
             QString::fromUtf8(ReadBytes(Record())).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            opened << QUrl::fromUserInput(line).toLocalFile();
        return opened;
    }

private:
    QString Record() const { return m_dir.filePath(QStringLiteral("opened.txt")); }
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
