#pragma once

// The program's one message box: modal, borderless, painted from nine
// background pieces, sized to its text, with an icon, a caption line and one
// to three answer buttons chosen by a style word of the classic message box
// (MessageBoxLayout.h). Every message of the program goes through
// ShowSkinnedMessageBox.

#include "MessageBoxLayout.h"
#include "ModalDialogs.h"
#include "SkinControls.h"
#include "SkinWindow.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <memory>
#include <vector>

// The caption string every caller passes (the program's title) and the icon
// they pass (used only for button sets without icons of their own).
inline constexpr int IDS_MESSAGE_BOX_CAPTION = 100;
inline const QString MESSAGE_BOX_DEFAULT_ICON =
    QStringLiteral("Image\\Dialogs\\MessageBox\\icon_warning.png");
// Other programs find an open box by this name (the dialog's object name).
inline const QString MESSAGE_BOX_CLASS_NAME = QStringLiteral("Ardent Message Box");

class CAdtMessageBox : public QDialog
{
    Q_OBJECT
public:
    // Message and caption by string number.
    CAdtMessageBox(int nMessageId, unsigned nStyle, int nCaptionId, QWidget* pParent,
                   const QString& iconPath, bool bTopMost);
    // Message as text, caption by string number.
    CAdtMessageBox(const QString& text, unsigned nStyle, int nCaptionId, QWidget* pParent,
                   const QString& iconPath, bool bTopMost);
    // Message and caption as text.
    CAdtMessageBox(const QString& text, const QString& caption, unsigned nStyle, QWidget* pParent,
                   const QString& iconPath, bool bTopMost);
    ~CAdtMessageBox() override;

    // Builds the box: background, region, icon, caption, buttons. Runs once;
    // DoModal calls it, tests may call it to look at the box without running it.
    void InitDialog();
    // Shows the box modally and returns the result of the button pressed.
    int DoModal();

    // What the box is made of (valid after InitDialog).
    QString Text() const { return m_strText; }
    QSize BoxSize() const { return m_sizeBox; }
    QRect TextRect() const { return m_rectText; }
    QString IconPath() const { return m_szIconPath; }
    const QImage& Background() const { return m_imgBackground; }
    QRegion WindowRegion() const { return m_region; }
    CGStatic* IconLabel() const { return m_pIconCtrl; }
    CAlphaStatic* TitleLabel() const { return m_pTitleCtrl; }
    CAlphaButton* CloseButton() const { return m_pCloseButton; }
    // The answer buttons, left to right.
    std::vector<CAlphaButton*> Buttons() const;
    const QFont& CaptionFont() const { return m_fontCaption; }
    const QFont& TextFont() const { return m_fontText; }

public slots:
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Construct(unsigned nStyle, const QString& iconPath, bool bTopMost);
    void MakeFonts();
    void SizeAndCompose();
    void CreateButtons();

    bool m_bTopMost = false;
    QString m_strText;
    QString m_strCaption;
    QString m_szIconPath;
    CGStatic* m_pIconCtrl = nullptr;
    std::vector<CAlphaButton*> m_pButtons; // right to left, as created
    CAlphaStatic* m_pTitleCtrl = nullptr;
    CAlphaButton* m_pCloseButton = nullptr;
    unsigned m_nButtonCount = 0;
    unsigned m_nStyle = 0;
    QSize m_sizeBox;
    QImage m_imgBackground;
    QRegion m_region;
    CSkinControlFactory m_factory;
    QFont m_fontCaption;
    QFont m_fontText;
    bool m_bVistaOrLater = true;
    QRect m_rectText;

    bool m_bInitialised = false;
    std::unique_ptr<CModalDialogScope> m_pModalScope;
    CSurfaceDrag m_drag;
};

// Shows a message by string number or as text, with caption string
// `nCaptionId`, modally over `pParent`; returns IDOK ... IDNO.
int ShowSkinnedMessageBox(int nMessageId, unsigned nStyle, int nCaptionId = IDS_MESSAGE_BOX_CAPTION,
                          QWidget* pParent = nullptr,
                          const QString& iconPath = MESSAGE_BOX_DEFAULT_ICON,
                          bool bTopMost = false);
int ShowSkinnedMessageBox(const QString& text, unsigned nStyle,
                          int nCaptionId = IDS_MESSAGE_BOX_CAPTION, QWidget* pParent = nullptr,
                          const QString& iconPath = MESSAGE_BOX_DEFAULT_ICON,
                          bool bTopMost = false);
