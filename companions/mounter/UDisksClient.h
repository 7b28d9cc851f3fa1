#pragma once

// Mounting disc images read-only without administrator rights, as the
// desktop's own image mounters do: udisks2 on the system bus sets up a
// read-only loop device on a descriptor of the image that we opened, then
// mounts the file system on it (the loop device itself, or for a
// partitioned image the partition that carries one) and tells us where.
//
// Every call runs asynchronously; the caller's function gets the outcome.
// The client keeps a bus connection of its own, made from
// DBUS_SYSTEM_BUS_ADDRESS when that is set, so each client sees the bus of
// the moment.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

// One image this program mounted.
struct CMountedImage
{
    QString strImage;      // the image file
    QString strLoop;       // the loop device's udisks2 object
    QString strFileSystem; // the object that was mounted (the loop device or a partition)
    QString strMountPath;  // where its files are
};

struct CUDisksOutcome
{
    enum Kind
    {
        Done,
        NoBus,        // no system bus to talk to
        NoService,    // udisks2 is neither running nor startable on it
        CannotOpen,   // the image cannot be opened for reading
        NoFileSystem, // the loop device showed no file system udisks2 could mount
        Refused,      // udisks2 answered with an error
    };
    Kind nKind = Done;
    QString strError; // udisks2's error text, or the system's reason
    CMountedImage mounted;
};

class CUDisksClient : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const CUDisksOutcome&)>;

    explicit CUDisksClient(QObject* pParent = nullptr);
    ~CUDisksClient() override;

    // Sets up a read-only loop device for the image and mounts its file
    // system read-only. A loop device set up for a mount that then fails is
    // given back.
    void Mount(const QString& imagePath, Done done);
    // Unmounts the file system and gives the loop device back.
    void Unmount(const CMountedImage& image, Done done);
    // The same, waiting for the answers (for closing).
    CUDisksOutcome UnmountNow(const CMountedImage& image);

    // How long a partitioned image's partition may take to appear.
    void SetProbeTimeoutMs(int ms) { m_nProbeTimeoutMs = ms; }

private:
    void FindFileSystem(const CMountedImage& image, int nTriesLeft, Done done);
    void MountFileSystem(const CMountedImage& image, Done done);
    void GiveBackLoop(const QString& loopPath);
    CUDisksOutcome Failure(const class QDBusError& error) const;

    QString m_strConnection;
    QDBusConnection m_bus;
    int m_nProbeTimeoutMs = 5000;
};
