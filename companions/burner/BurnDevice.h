#pragma once

// The burner's side of libburn: the drives it may write to, the medium in
// the chosen one, and the job that blanks, writes and reads back. Nothing
// here shows anything; the window polls a running job from a timer, since
// libburn blanks and writes in threads of its own.

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace burn {
struct burn_drive;
struct burn_drive_info;
struct burn_disc;
struct burn_session;
struct burn_track;
struct burn_write_opts;
} // namespace burn

// Starts libburn for this process (once; later calls report the first
// result). Messages are kept in libburn's queue, never printed.
bool InitBurnLibrary();
// Shuts libburn down at the end of the program (after every drive is let go).
void FinishBurnLibrary();

// Empties libburn's message queue and returns the texts of severity SORRY
// and worse, the ones that say what failed, oldest first. `pDriveBusy` tells
// whether one of them refused work because the drive was still busy.
QStringList TakeBurnFailureMessages(bool* pDriveBusy = nullptr);

enum class MediumKind
{
    None,
    CD,
    DVD,
    BD,
    File, // a stdio: drive, a file standing for a medium
    Other,
};

struct MediumInfo
{
    MediumKind kind = MediumKind::None;
    QString strProfile; // libburn's profile name, such as "DVD+RW"
    int nStatus = 0;    // burn_disc_status
    bool bErasable = false;
    qint64 nFreeBytes = 0;
    QList<int> writeSpeeds; // kB/s (1000 bytes), fastest first; empty when unknown
};

struct DriveEntry
{
    QString strAddress; // as libburn names it: /dev/sr0, stdio:/path
    QString strName;    // vendor and product
    bool bStdio = false;
};

// The drives found by a scan plus the one named on the command line. At
// most one is acquired ("grabbed") at a time: the selected one.
class CBurnDevices
{
public:
    CBurnDevices() = default;
    ~CBurnDevices();
    CBurnDevices(const CBurnDevices&) = delete;
    CBurnDevices& operator=(const CBurnDevices&) = delete;

    // Lists the system's optical drives, then `extraAddress` when given (it
    // is acquired at once and stays acquired until this object ends). An
    // address that cannot be acquired is left out and said in `pError`.
    void Scan(const QString& extraAddress, QString* pError);
    const QList<DriveEntry>& Drives() const { return m_drives; }

    // A stdio: drive reports the free space of the file system it lies on;
    // this caps it, so a file can stand for a medium of a given size.
    void SetStdioCapacity(qint64 nBytes) { m_nStdioCapacity = nBytes; }

    // Acquires drive `index`, releasing the one acquired before.
    bool Select(int index, QString* pError);
    int Selected() const { return m_nSelected; }
    // The acquired drive, or null.
    burn::burn_drive* Drive() const;
    bool SelectedIsStdio() const;
    // What the acquired drive holds (kind None without a drive or medium).
    MediumInfo Medium() const;
    // Asks the drive for its medium again (after a job changed it, or when
    // a disc may have been inserted or swapped since).
    void Refresh();
    // Sees and may change what Medium() reports, after libburn said it;
    // a stdio: drive always holds an overwritable medium, so this is how a
    // write-once or used disc is put in front of the window.
    void SetMediumProbe(std::function<void(MediumInfo&)> probe) { m_probe = std::move(probe); }
    // Lets the selected drive go; with `bEject` a real drive opens its tray.
    // A stdio: drive is never let go before the end.
    void ReleaseSelected(bool bEject);

private:
    MediumInfo ReadMedium() const;

    QList<DriveEntry> m_drives;
    std::vector<burn::burn_drive*> m_handles;
    std::vector<bool> m_grabbed;
    burn::burn_drive_info* m_pScanned = nullptr;
    burn::burn_drive_info* m_pExtra = nullptr;
    int m_nSelected = -1;
    qint64 m_nStdioCapacity = 0;
    std::function<void(MediumInfo&)> m_probe;
};

// One burn: optional fast blanking, the write, an optional read-back.
class CBurnJob
{
public:
    enum class Phase
    {
        Idle,
        Starting, // waiting for the drive to take the write
        Blanking,
        Writing,
        Closing, // the drive finishes the track and session
        Verifying,
    };
    enum class Outcome
    {
        Running,
        Done,
        Cancelled,
        Failed,
        Mismatch, // the read-back differs from the image (or could not be read)
    };
    struct Options
    {
        QString strImage;
        qint64 nImageSize = 0;
        int nSpeed = 0; // kB/s, 0 for the drive's fastest
        bool bVerify = true;
        bool bBlankFirst = false;
        bool bStdio = false;
        qint64 nCapacity = 0; // caps the free space a blanked disc reports (0: no cap)
    };

    CBurnJob() = default;
    ~CBurnJob();
    CBurnJob(const CBurnJob&) = delete;
    CBurnJob& operator=(const CBurnJob&) = delete;

    bool Start(burn::burn_drive* pDrive, const Options& options, QString* pError);
    // Advances the job; call it from a timer until it stops saying Running.
    Outcome Poll();
    Phase CurrentPhase() const { return m_phase; }
    bool IsBusy() const { return m_phase != Phase::Idle; }
    // Bytes done and to do in the current phase.
    qint64 Done() const { return m_nDone; }
    qint64 Total() const { return m_nTotal; }
    // Asks the job to stop; blanking cannot be stopped and runs to its end.
    void Cancel();
    // Cancels and waits until the drive is idle again.
    void StopAndWait();
    // Why the job failed (libburn's messages), and where a read-back differed.
    QString ErrorText() const { return m_strError; }
    qint64 MismatchOffset() const { return m_nMismatchAt; }
    bool MismatchWasReadError() const { return m_bReadError; }

private:
    bool StartWrite(QString* pError);
    void StartVerify();
    void FreeDisc();
    Outcome Finish(Outcome outcome);

    burn::burn_drive* m_pDrive = nullptr;
    Options m_options;
    Phase m_phase = Phase::Idle;
    qint64 m_nDone = 0;
    qint64 m_nTotal = 0;
    bool m_bCancel = false;
    // libburn reports a drive idle a moment before the thread of a cancelled
    // job has ended, and refuses new work until it has; the write is then
    // tried again at each poll for a while.
    int m_nStartRetries = 0;
    QString m_strError;
    burn::burn_disc* m_pDisc = nullptr;
    burn::burn_session* m_pSession = nullptr;
    burn::burn_track* m_pTrack = nullptr;
    burn::burn_write_opts* m_pOpts = nullptr;

    std::thread m_verifier;
    std::atomic<qint64> m_nVerified{0};
    std::atomic<bool> m_bVerifyEnded{false};
    std::atomic<bool> m_bStopVerify{false};
    qint64 m_nMismatchAt = -1;
    bool m_bReadError = false;
};
