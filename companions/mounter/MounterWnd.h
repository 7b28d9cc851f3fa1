#pragma once

// Fenmount's window: the images this program has mounted, each with the
// folder its files are in, a Mount… button that asks for an image and an
// Unmount button for the selected one. Closing the window unmounts them all.
// Other programs reach it through its window endpoint and its broadcast.

#include "UDisksClient.h"
#include "WindowEndpoint.h"

#include <QWidget>
#include <vector>

class CAlphaButton;
class CAlphaStatic;
class QTreeWidget;
class QTreeWidgetItem;

// String numbers of the program's texts (Fenmount.lang).
inline constexpr int IDS_FM_TITLE = 30200;
inline constexpr int IDS_FM_COLUMN_IMAGE = 30201;
inline constexpr int IDS_FM_COLUMN_FOLDER = 30202;
inline constexpr int IDS_FM_MOUNT = 30203;
inline constexpr int IDS_FM_UNMOUNT = 30204;
inline constexpr int IDS_FM_CHOOSE_TITLE = 30205;
inline constexpr int IDS_FM_CHOOSE_FILTER = 30206;
inline constexpr int IDS_FM_NOTHING_MOUNTED = 30207;
inline constexpr int IDS_FM_MOUNTING = 30208;
inline constexpr int IDS_FM_UNMOUNTING = 30209;
inline constexpr int IDS_FM_NO_BUS = 30210;
inline constexpr int IDS_FM_NO_SERVICE = 30211;
inline constexpr int IDS_FM_CANNOT_OPEN = 30212;
inline constexpr int IDS_FM_MOUNT_REFUSED = 30213;
inline constexpr int IDS_FM_UNMOUNT_REFUSED = 30214;
inline constexpr int IDS_FM_NO_FILE_SYSTEM = 30215;
inline constexpr int IDS_FM_STILL_MOUNTED = 30216;
inline constexpr int IDS_FM_MOUNTED_COUNT = 30217;
inline constexpr int IDS_FM_VIEWER_RETURNS = 30231;
// Command IDs of the buttons; each is also the string of its tooltip.
inline constexpr int ID_FM_MOUNT = 30218;
inline constexpr int ID_FM_UNMOUNT = 30219;

class CMounterWnd : public QWidget
{
    Q_OBJECT
public:
    explicit CMounterWnd(QWidget* pParent = nullptr);
    ~CMounterWnd() override;

    // Answers on the window class's endpoint and takes the broadcast that
    // brings the window forward. False when another window answers there.
    bool Listen();

    // Mounts an image (asynchronously) and lists it.
    void MountImage(const QString& imagePath);
    // Started for the viewer: the window closes once the image it was
    // started for is no longer mounted (or could not be mounted).
    void SetEndWhenUnmounted(bool bEnd)
    {
        m_bEndWhenUnmounted = bEnd;
        Refresh();
    }

    // Shows, restores and raises the window and makes it active.
    void BringToFront();

    const std::vector<CMountedImage>& Mounted() const { return m_mounted; }
    bool IsBusy() const { return m_nBusy > 0; }
    QTreeWidget* List() const { return m_pList; }
    CAlphaButton* MountButton() const { return m_pMount; }
    CAlphaButton* UnmountButton() const { return m_pUnmount; }
    QString StatusText() const;
    CUDisksClient* Client() const { return m_pClient; }

signals:
    // An operation ended (the list and the buttons are up to date).
    void Idle();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ChooseAndMount();
    void UnmountSelected();
    void OnMounted(const CUDisksOutcome& outcome);
    void OnUnmounted(const CUDisksOutcome& outcome);
    void ShowFailure(const CUDisksOutcome& outcome, int nRefusedId, const QString& image);
    void ShowError(const QString& text);
    void OpenFolder(const QString& path);
    void Refresh();
    void EndOperation();

    CUDisksClient* m_pClient = nullptr;
    CWindowEndpoint m_endpoint;
    std::vector<CMountedImage> m_mounted; // in the list's order
    QTreeWidget* m_pList = nullptr;
    CAlphaButton* m_pMount = nullptr;
    CAlphaButton* m_pUnmount = nullptr;
    CAlphaStatic* m_pStatus = nullptr;
    QString m_strActivity;
    int m_nBusy = 0;
    bool m_bEndWhenUnmounted = false;
    bool m_bCloseWhenIdle = false;
};
