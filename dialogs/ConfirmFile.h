#pragma once

// The question an extraction asks when its target already exists: a modal,
// borderless dialog painted from its background image that names the
// existing entry, shows it beside the entry from the image (icon, size,
// modification time) and offers five answers. The caller fills a
// CONFIRM_DESCRIPTION, runs the dialog and turns the answer into its own
// decision; the "all" answers are the caller's to remember.

#include "FindData.h" // platform/FindData.h
#include "MessageBoxLayout.h"
#include "ModalDialogs.h"
#include "SkinControls.h"
#include "SkinWindow.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QSize>
#include <cstdint>
#include <memory>

class CLTDataItem; // model/LTDataItem.h

// The description the extracting view fills before it asks.
struct CONFIRM_DESCRIPTION
{
    std::uint32_t dwReserved1 = 0;
    std::uint32_t dwReserved2 = 0;
    const CLTDataItem* pItem = nullptr;   // the entry in the image; may be null
    QString strDestPath;                  // the existing entry's path on disk
    const FIND_DATA* pFindData = nullptr; // what is on disk there
};

// The answers, which are also the command IDs of the five buttons.
inline constexpr int IDC_CONFIRM_REPLACE = 1006, IDC_CONFIRM_SKIP = 1005;
inline constexpr int IDC_CONFIRM_REPLACE_ALL = IDABORT; // 3
inline constexpr int IDC_CONFIRM_SKIP_ALL = IDIGNORE;   // 5
inline constexpr int IDC_CONFIRM_CANCEL = IDCANCEL;     // 2
// The caption close button; it answers IDC_CONFIRM_CANCEL.
inline constexpr int IDC_CONFIRM_CLOSE = 1012;

// The text labels.
inline constexpr int IDC_CONFIRM_EXISTS = 1000;           // which entry exists
inline constexpr int IDC_CONFIRM_QUESTION = 1084;         // the question
inline constexpr int IDC_CONFIRM_EXISTING_INFO = 1002;    // size and time on disk
inline constexpr int IDC_CONFIRM_WITH = 1087;             // "with this one?"
inline constexpr int IDC_CONFIRM_REPLACEMENT_INFO = 1004; // size and time in the image
// The image labels.
inline constexpr int IDC_CONFIRM_TASK_ICON = 1091;
inline constexpr int IDC_CONFIRM_EXISTING_ICON = 1082;
inline constexpr int IDC_CONFIRM_REPLACEMENT_ICON = 1083;

// The texts.
inline constexpr int IDS_CONFIRM_CAPTION = 6673;
inline constexpr int IDS_CONFIRM_FILE_EXISTS = 6035;   // %s: the entry's name
inline constexpr int IDS_CONFIRM_FOLDER_EXISTS = 6036; // %s: the entry's name
inline constexpr int IDS_CONFIRM_REPLACE_FILE = 6037;  // the question for a file
inline constexpr int IDS_CONFIRM_MERGE_FOLDER = 6038;  // the question for a folder
inline constexpr int IDS_CONFIRM_DESCRIPTION = 6039;   // %s size, %s time
inline constexpr int IDS_CONFIRM_WITH_FILE = 6040;     // below the existing file
inline constexpr int IDS_CONFIRM_WITH_FOLDER = 6041;   // below the existing folder
inline constexpr int IDS_CONFIRM_REPLACE = 6042;       // the five button captions
inline constexpr int IDS_CONFIRM_SKIP = 6043;
inline constexpr int IDS_CONFIRM_REPLACE_ALL = 6044;
inline constexpr int IDS_CONFIRM_SKIP_ALL = 6045;
inline constexpr int IDS_CONFIRM_CANCEL = 6046;
// The alternative texts of "oemConfirmString" = 1.
inline constexpr int IDS_CONFIRM_OEM_WITH_FILE = 61863;
inline constexpr int IDS_CONFIRM_OEM_WITH_FOLDER = 61864;
inline constexpr int IDS_CONFIRM_OEM_MERGE_CAPTION = 61865;

// Every control is named after its ID: "Button1006" ... "Button2" and
// "Button1012" for the buttons, "Static1000" ... "Static1004" for the text
// labels and "Static1091", "Static1082", "Static1083" for the image labels;
// the caption label is "StaticCaption".
class CConfirmFile : public QDialog
{
    Q_OBJECT
public:
    explicit CConfirmFile(QWidget* pParent = nullptr);
    ~CConfirmFile() override;

    // Set before DoModal; the dialog reads it and keeps nothing of it.
    const CONFIRM_DESCRIPTION* m_pDescription = nullptr;

    // Builds everything: background, region, labels, icons, buttons. Runs
    // once; DoModal calls it, tests may call it without running the dialog.
    // Raises the count of open modal dialogs until the dialog is destroyed.
    void InitDialog();
    // Runs the dialog modally; returns IDC_CONFIRM_REPLACE (1006),
    // IDC_CONFIRM_SKIP (1005), IDC_CONFIRM_REPLACE_ALL (3),
    // IDC_CONFIRM_SKIP_ALL (5) or IDC_CONFIRM_CANCEL (2; also the close
    // button and Escape). The keyboard answers too: Tab moves through the
    // five answers, Space, Return and Enter give the focused one (Return
    // and Enter elsewhere give Replace, the default, which has the focus at
    // the start), and each answer's access key gives it.
    int DoModal();

    // What the dialog is made of (valid after InitDialog).
    QRegion WindowRegion() const { return m_region; }
    QSize BackgroundSize() const { return m_sizeBackground; }
    const QImage& Background() const { return m_imgBackground; }
    CAlphaStatic* TitleLabel() const { return m_pTitleStatic; }
    // The text label with this ID (1000, 1084, 1002, 1087, 1004), or null.
    CAlphaStatic* Label(int nId) const;
    // The image label with this ID (1091, 1082, 1083), or null.
    CGStatic* IconLabel(int nId) const;
    // The button with this ID (1006, 1005, 3, 5, 2, 1012), or null.
    CAlphaButton* Button(int nId) const;

public slots:
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void MakeBackground();
    void CreateControls();
    void FillTexts();
    static void FitOneLine(CAlphaStatic* pLabel, const QString& text, const QFont& font,
                           bool bCentred, int nMaxWidth);

    CAlphaStatic* m_pTitleStatic = nullptr;
    CAlphaStatic* m_pExistsStatic = nullptr;          // 1000
    CAlphaStatic* m_pQuestionStatic = nullptr;        // 1084
    CAlphaStatic* m_pExistingInfoStatic = nullptr;    // 1002
    CGStatic* m_pIconExisting = nullptr;              // 1082
    CAlphaStatic* m_pWithStatic = nullptr;            // 1087
    CGStatic* m_pIconReplacement = nullptr;           // 1083
    CAlphaStatic* m_pReplacementInfoStatic = nullptr; // 1004
    CGStatic* m_pTaskIcon = nullptr;                  // 1091
    QSize m_sizeBackground;
    QImage m_imgBackground;
    QRegion m_region;
    CAlphaButton* m_pReplaceButton = nullptr;    // 1006
    CAlphaButton* m_pSkipButton = nullptr;       // 1005
    CAlphaButton* m_pReplaceAllButton = nullptr; // 3
    CAlphaButton* m_pSkipAllButton = nullptr;    // 5
    CAlphaButton* m_pCancelButton = nullptr;     // 2
    CAlphaButton* m_pCloseButton = nullptr;      // 1012
    CSkinControlFactory m_factory;
    QFont m_fontCaption;
    QFont m_fontText;

    bool m_bInitialised = false;
    std::unique_ptr<CModalDialogScope> m_pModalScope;
    CSurfaceDrag m_drag;
};
