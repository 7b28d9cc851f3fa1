#pragma once

// The burner's one window: the image, the drive chooser, the medium in the
// chosen drive, speed and options, Burn and Cancel, and the progress of a
// running burn. A timer polls the burn job, so the window stays responsive
// while libburn works in its own threads.

#include "BurnDevice.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <utility>

class CAlphaButton;
class CApProgressCtrl;
class QCheckBox;
class QComboBox;
class QLabel;

inline constexpr int IDC_BURNER_BURN = 1001;
inline constexpr int IDC_BURNER_CANCEL = 1002;

class CBurnerWindow : public QWidget
{
    Q_OBJECT
public:
    // `image` is an absolute path; `extraDrive` a drive address to offer
    // besides the scanned ones (may be empty); `nStdioCapacity` caps the
    // capacity of a stdio: drive (0 for none).
    CBurnerWindow(const QString& image, const QString& extraDrive, qint64 nStdioCapacity,
                  QWidget* pParent = nullptr);
    ~CBurnerWindow() override;

    bool IsBusy() const { return m_job.IsBusy(); }
    CBurnDevices& Devices() { return m_devices; }

    // The controls, for the tests and the screenshots.
    CAlphaButton* BurnButton() const { return m_pBurn; }
    CAlphaButton* CancelButton() const { return m_pCancel; }
    QComboBox* DriveChooser() const { return m_pDrives; }
    QComboBox* SpeedChooser() const { return m_pSpeeds; }
    QCheckBox* VerifyBox() const { return m_pVerify; }
    QCheckBox* EjectBox() const { return m_pEject; }
    CApProgressCtrl* ProgressBar() const { return m_pProgress; }
    QString StatusText() const;
    QString MediumText() const;
    QString DriveMessage() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void SelectDrive(int index);
    void ShowMedium();
    void Burn();
    void CancelOrClose();
    void PollJob();
    void EndJob(CBurnJob::Outcome outcome);
    void SetBusy(bool bBusy);
    QString SpeedText(double bytesPerSecond) const;

    QString m_strImage;
    qint64 m_nImageSize = 0;
    CBurnDevices m_devices; // before the job: the job ends first
    CBurnJob m_job;
    MediumInfo m_medium;
    QTimer m_poll;
    QElapsedTimer m_clock;
    std::deque<std::pair<qint64, qint64>> m_samples; // (ms, bytes) of the phase
    CBurnJob::Phase m_lastPhase = CBurnJob::Phase::Idle;
    bool m_bCloseWhenIdle = false;
    bool m_bBurnEnded = false; // a burn ran: the window has done its work

    QLabel* m_pImage = nullptr;
    QComboBox* m_pDrives = nullptr;
    QLabel* m_pDriveMessage = nullptr;
    QLabel* m_pMedium = nullptr;
    QLabel* m_pFit = nullptr;
    QComboBox* m_pSpeeds = nullptr;
    QCheckBox* m_pVerify = nullptr;
    QCheckBox* m_pEject = nullptr;
    CApProgressCtrl* m_pProgress = nullptr;
    QLabel* m_pStatus = nullptr;
    CAlphaButton* m_pBurn = nullptr;
    CAlphaButton* m_pCancel = nullptr;
};

// A size for people: "700 bytes", "12.3 MB", "4.4 GB".
QString FormatBurnSize(qint64 nBytes);
