#pragma once

// The one progress window: borderless, painted from its background image,
// with a caption, one line of text, an image progress bar and a Cancel
// button. It is modeless; the main frame shows and hides it as operations
// begin and end, and Cancel posts WM_PROGRESS_CANCEL to the notify window.

#include "SkinControls.h"
#include "SkinWindow.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPointer>

class CApProgressCtrl;

inline constexpr unsigned WM_PROGRESS_CANCEL_MSG = 0x0BDA;
inline constexpr int IDC_PROGRESS_CANCEL = 1211;
inline constexpr int IDS_PROGRESS_CANCEL = 6084;
inline const QString PROGRESS_BACKGROUND =
    QStringLiteral("Image\\Dialogs\\ProgressDialog\\bg_progress_dialog.png");

class CProgressDlg : public QDialog
{
    Q_OBJECT
public:
    CProgressDlg(QWidget* pParent, const QString& title, bool bScaleWithDpi, QObject* pNotifyWnd);
    ~CProgressDlg() override;

    void SetRange(int nLower, int nUpper, int nStep = 1);
    bool SetPos(int nPos);
    void SetText(const QString& text);
    void ShowCancelButton(bool bShow);

    // The percentage the dialog shows for a position (exposed for tests).
    static int PercentOf(int nPos, int nLower, int nUpper);

    int Percent() const { return m_nPercent; }
    int RepaintCount() const { return m_nRepaints; }
    bool IsCancelRequested() const { return m_bCancelRequested; }
    QString Text() const { return m_strText; }
    QString ShownText() const;
    QRegion WindowRegion() const { return m_region; }
    CAlphaButton* CancelButton() const { return m_pCancelButton; }
    CApProgressCtrl* ProgressBar() const { return m_pProgressBar; }

    // The text font the frame gives for shortening texts (its text font).
    void SetMeasureFont(const QFont& font) { m_fontMeasure = font; }

public slots:
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void InitDialog();
    void RequestCancel();
    // The text shortened to the width of its line: one line of a burst of
    // texts (an extraction reports every file) is fitted and shown, the
    // last one, when the events are next served.
    QString FittedText() const;
    void ShowLatestText();

    CAlphaStatic* m_pTitleStatic = nullptr;
    CAlphaButton* m_pCloseButton = nullptr;
    CAlphaStatic* m_pTextStatic = nullptr;
    CApProgressCtrl* m_pProgressBar = nullptr;
    CAlphaButton* m_pCancelButton = nullptr;
    QSize m_sizeBackground;
    QImage m_imgBackground;
    QRegion m_region;
    CSkinControlFactory m_factory;
    QPointer<QObject> m_pNotifyWnd;
    bool m_bCancelRequested = false;
    int m_nPos = 0;
    int m_nPercent = 0;
    int m_nStep = 1;
    int m_nUpper = 100;
    int m_nLower = 0;
    QString m_strTitle;
    QString m_strText;
    bool m_bTextPending = false;
    bool m_bScaleWithDpi = false;
    QFont m_fontTitle;
    QFont m_fontText;
    QFont m_fontMeasure;
    int m_nRepaints = 0;
    CSurfaceDrag m_drag;
};
