#include "ConfirmFile.h"

#include "EntryIcons.h"
#include "FileTime.h"
#include "FileTypeCache.h"
#include "Format.h"
#include "LTDataItem.h"
#include "LangResources.h"
#include "SkinGeometry.h"
#include "SkinImages.h"
#include "SkinMessages.h"
#include "SkinText.h"
#include "StoredSettings.h"
#include "TextFit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

const QString kBackground = QStringLiteral("Image\\Dialogs\\ConfirmDialog\\bg_confirm.png");
const QString kTaskIcon = QStringLiteral("Image\\Dialogs\\ConfirmDialog\\icon_task.png");
const QString kReplaceStrip = QStringLiteral("Image\\Dialogs\\ConfirmDialog\\btn_yes_s.png");
const QString kSmallStrip = QStringLiteral("Image\\Dialogs\\ConfirmDialog\\btn_68_24.png");
const QString kWideStrip = QStringLiteral("Image\\Dialogs\\ConfirmDialog\\btn_136_24.png");
const QString kCloseStrip = QStringLiteral("Image\\Dialogs\\BaseDialog\\btn_caption_close.png");
constexpr int IDS_CLOSE_TIP = 11268;

// The dialog's size when its picture is missing: the picture's own size, so
// every control keeps its place.
constexpr QSize kTemplateSize(620, 306);
// The panel behind the two entry icons.
const QColor kIconBackground(61, 63, 64);
constexpr int kIconSide = 30;
// The caption stays clear of the close button; a button caption keeps this
// much room at each end.
constexpr int kCaptionMargin = 40;
constexpr int kButtonTextMargin = 2;
// The right edge of the widest text; a one-line text that needs more room
// than its own place grows up to here (nothing lies to the right of them).
constexpr int kTextRight = 518;

QRect FromEdges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

// What the dialog shows of one entry.
struct EntryFacts
{
    bool bFolder = false;
    std::uint64_t nSize = 0;
    FILETIME64 ftModified = 0;
    int nIconIndex = 0;
};

EntryFacts DiskEntry(const CONFIRM_DESCRIPTION& description)
{
    EntryFacts facts;
    if (const FIND_DATA* find = description.pFindData) {
        facts.bFolder = find->bDirectory;
        facts.nSize = find->nFileSize;
        facts.ftModified = find->ftLastWriteTime;
    }
    // The same type source as the records of the image, asked by the real
    // path; a file's type follows its name.
    CMimeTypeSource source;
    QString typeName;
    int openIcon = 0;
    if (facts.bFolder)
        source.QueryFolder(&facts.nIconIndex, &openIcon, &typeName);
    else
        source.QueryFile(description.strDestPath, &facts.nIconIndex, &typeName);
    return facts;
}

EntryFacts ImageEntry(const CLTDataItem& item)
{
    EntryFacts facts;
    facts.bFolder = !item.IsFile();
    facts.nSize = item.m_nSize;
    facts.ftModified = item.m_ftModified;
    facts.nIconIndex = item.m_nIconIndex;
    return facts;
}

QString SizeText(const EntryFacts& facts)
{
    return facts.bFolder ? QString() : FormatSizeWithUnitText(facts.nSize);
}

QString TimeText(FILETIME64 ftUtc)
{
    // Without the blanks that pad it for list columns.
    return FormatFileTime(ftUtc).trimmed();
}

QString DescriptionText(const EntryFacts& facts)
{
    return FormatResText(LoadResString(IDS_CONFIRM_DESCRIPTION),
                         {SizeText(facts), TimeText(facts.ftModified)});
}

// The entry's icon at 30 x 30 on the icon panel's colour; alpha blends into it.
QImage IconPicture(const EntryFacts& facts)
{
    QImage picture(kIconSide, kIconSide, QImage::Format_ARGB32_Premultiplied);
    picture.fill(kIconBackground);
    QIcon icon = RegistryIcon(facts.nIconIndex);
    if (icon.isNull())
        icon = GenericEntryIcon(facts.bFolder);
    QPainter painter(&picture);
    icon.paint(&painter, picture.rect());
    return picture;
}

// `name` cut to `nKeep` characters around an ellipsis in its middle, so its
// start and its extension both stay readable.
QString ShortenInMiddle(const QString& name, qsizetype nKeep)
{
    QString head = name.left(nKeep - nKeep / 2);
    QString tail = name.right(nKeep / 2);
    if (!head.isEmpty() && head.back().isHighSurrogate())
        head.chop(1);
    if (!tail.isEmpty() && tail.front().isLowSurrogate())
        tail.remove(0, 1);
    return head + QChar(0x2026) + tail;
}

// `format` filled with `name`, the name shortened as far as needed for the
// wrapped text to fit `box`.
QString FitNameIntoText(const QString& format, const QString& name, const QFont& font, QSize box)
{
    auto fits = [&](const QString& text) {
        return MeasureSkinText(font, text, box.width(), TF_WORDBREAK).height() <= box.height();
    };
    const QString whole = FormatResText(format, {name});
    if (name.size() < 2 || fits(whole))
        return whole;
    qsizetype lo = 0;
    qsizetype hi = name.size() - 1;
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (fits(FormatResText(format, {ShortenInMiddle(name, mid)})))
            lo = mid;
        else
            hi = mid - 1;
    }
    return FormatResText(format, {ShortenInMiddle(name, lo)});
}

int OneLineWidth(const QFont& font, const QString& text)
{
    return MeasureSkinText(font, text, 0, TF_SINGLELINE).width();
}

} // namespace

CConfirmFile::CConfirmFile(QWidget* pParent) : QDialog(pParent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    // The background picture covers every pixel; nothing is erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Only the five answers take the focus, so Tab goes round them alone;
    // keys they leave (Escape, Return without a focused answer) come here.
    setFocusPolicy(Qt::NoFocus);
}

// The controls are children and go with the window; leaving the scope
// lowers the count of open modal dialogs.
CConfirmFile::~CConfirmFile() = default;

void CConfirmFile::InitDialog()
{
    if (m_bInitialised)
        return;
    m_bInitialised = true;
    m_pModalScope = std::make_unique<CModalDialogScope>();
    m_fontCaption = SkinDialogFont(15);
    m_fontText = SkinDialogFont(12);
    MakeBackground();
    CreateControls();
    FillTexts();
}

void CConfirmFile::MakeBackground()
{
    // The picture over pure blue; the blue runs at its edges are cut out of
    // the window. Without it the dialog keeps its size and stays a rectangle.
    const QImage art = LoadSkinImage(kBackground);
    if (art.isNull()) {
        m_sizeBackground = kTemplateSize;
        m_imgBackground = QImage(m_sizeBackground, QImage::Format_RGB32);
        m_imgBackground.fill(kIconBackground);
        m_region = QRegion();
        clearMask();
    } else {
        m_sizeBackground = art.size();
        m_imgBackground = ComposeOnKeyColour(art, m_sizeBackground);
        m_region = KeyColourWindowRegion(m_imgBackground, SKIN_KEY_COLOUR);
        setMask(m_region);
    }
    setFixedSize(m_sizeBackground);
    CentreOverOwner(this);
    // The image labels copy the picture under themselves.
    m_factory.SetBackground(kBackground);
}

void CConfirmFile::CreateControls()
{
    const int W = width();
    constexpr unsigned kVisible = WS_CHILD | WS_VISIBLE;

    m_factory.CreateTextLabel(QStringLiteral(""), kVisible | SS_CENTER,
                              QRect((W - 200) / 2, 10, 200, 20), this, 0, Qt::white, true,
                              &m_fontCaption, &m_pTitleStatic);
    m_pTitleStatic->setObjectName(QStringLiteral("StaticCaption"));

    m_factory.CreateAlphaButton(kCloseStrip, QString(), kVisible, FromEdges(W - 30, 8, W - 10, 28),
                                this, IDC_CONFIRM_CLOSE, Qt::white, &m_pCloseButton);
    m_pCloseButton->SetTooltipText(LoadResString(IDS_CLOSE_TIP), true);
    m_factory.CreateImageLabelAt(kTaskIcon, QPoint(41, 49), this, IDC_CONFIRM_TASK_ICON,
                                 &m_pTaskIcon);

    auto text = [&](int nId, const QRect& rect, CAlphaStatic** ppLabel) {
        m_factory.CreateTextLabel(QStringLiteral(""), kVisible | SS_LEFT, rect, this, nId,
                                  Qt::white, true, &m_fontText, ppLabel);
    };
    auto icon = [&](int nId, const QRect& rect, CGStatic** ppLabel) {
        m_factory.CreateImageLabel(kTaskIcon, rect, this, nId, ppLabel);
    };
    text(IDC_CONFIRM_EXISTS, FromEdges(92, 60, 518, 99), &m_pExistsStatic);
    text(IDC_CONFIRM_QUESTION, FromEdges(92, 104, 484, 120), &m_pQuestionStatic);
    icon(IDC_CONFIRM_EXISTING_ICON, FromEdges(112, 129, 142, 159), &m_pIconExisting);
    text(IDC_CONFIRM_EXISTING_INFO, FromEdges(180, 129, 495, 162), &m_pExistingInfoStatic);
    text(IDC_CONFIRM_WITH, FromEdges(92, 180, 310, 196), &m_pWithStatic);
    icon(IDC_CONFIRM_REPLACEMENT_ICON, FromEdges(112, 205, 142, 235), &m_pIconReplacement);
    text(IDC_CONFIRM_REPLACEMENT_INFO, FromEdges(180, 205, 495, 238), &m_pReplacementInfoStatic);

    auto button = [&](int nId, int nCaptionId, const QString& strip, const QRect& rect,
                      CAlphaButton** ppButton) {
        m_factory.CreateAlphaButton(strip, LoadResString(nCaptionId), kVisible, rect, this, nId,
                                    Qt::white, ppButton);
        // A caption too long for its button is cut with an ellipsis, centred,
        // and shown whole as the tooltip; the cut one has no access key.
        CAlphaButton* pButton = *ppButton;
        const QString caption = StripAccessKey(pButton->text());
        const int room = pButton->width() - 2 * kButtonTextMargin;
        if (OneLineWidth(pButton->ButtonFont(), caption) > room) {
            pButton->setText(FitTextToWidth(caption, room, &pButton->ButtonFont()));
            pButton->SetTooltipText(caption, true);
        }
        pButton->SetTakesFocus(true);
    };
    button(IDC_CONFIRM_REPLACE, IDS_CONFIRM_REPLACE, kReplaceStrip, FromEdges(24, 267, 92, 291),
           &m_pReplaceButton);
    button(IDC_CONFIRM_SKIP, IDS_CONFIRM_SKIP, kSmallStrip, FromEdges(99, 267, 167, 291),
           &m_pSkipButton);
    button(IDC_CONFIRM_REPLACE_ALL, IDS_CONFIRM_REPLACE_ALL, kWideStrip,
           FromEdges(174, 267, 310, 291), &m_pReplaceAllButton);
    button(IDC_CONFIRM_SKIP_ALL, IDS_CONFIRM_SKIP_ALL, kWideStrip, FromEdges(317, 267, 453, 291),
           &m_pSkipAllButton);
    button(IDC_CONFIRM_CANCEL, IDS_CONFIRM_CANCEL, kWideStrip, FromEdges(460, 267, 596, 291),
           &m_pCancelButton);

    // Tab goes through the answers from left to right; the first is the
    // default and has the focus when the dialog opens. The close button is
    // left to the mouse (Escape does the same).
    CAlphaButton* const answers[] = {m_pReplaceButton, m_pSkipButton, m_pReplaceAllButton,
                                     m_pSkipAllButton, m_pCancelButton};
    for (std::size_t i = 1; i < std::size(answers); ++i)
        setTabOrder(answers[i - 1], answers[i]);
    m_pReplaceButton->setFocus();

    for (CAlphaButton* pButton : {m_pReplaceButton, m_pSkipButton, m_pReplaceAllButton,
                                  m_pSkipAllButton, m_pCancelButton, m_pCloseButton})
        pButton->setObjectName(QStringLiteral("Button%1").arg(pButton->Id()));
    for (CAlphaStatic* pLabel : {m_pExistsStatic, m_pQuestionStatic, m_pExistingInfoStatic,
                                 m_pWithStatic, m_pReplacementInfoStatic})
        pLabel->setObjectName(QStringLiteral("Static%1").arg(pLabel->Id()));
    for (CGStatic* pLabel : {m_pTaskIcon, m_pIconExisting, m_pIconReplacement})
        pLabel->setObjectName(QStringLiteral("Static%1").arg(pLabel->Id()));
}

void CConfirmFile::FillTexts()
{
    static const CONFIRM_DESCRIPTION kNothing;
    const CONFIRM_DESCRIPTION& description = m_pDescription ? *m_pDescription : kNothing;
    const FIND_DATA* find = description.pFindData;
    const bool bFolder = find && find->bDirectory;
    QString name = find ? find->cFileName : QString();
    if (name.isEmpty())
        name = description.strDestPath.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);

    m_pExistsStatic->SetText(FitNameIntoText(
        LoadResString(bFolder ? IDS_CONFIRM_FOLDER_EXISTS : IDS_CONFIRM_FILE_EXISTS), name,
        m_fontText, m_pExistsStatic->size()));
    m_pQuestionStatic->SetText(
        FitTextToWidth(LoadResString(bFolder ? IDS_CONFIRM_MERGE_FOLDER : IDS_CONFIRM_REPLACE_FILE),
                       m_pQuestionStatic->width(), &m_fontText));

    // The entry on disk, and the one from the image beside it; without a
    // record of the image's entry the disk entry stands in for it.
    const EntryFacts existing = DiskEntry(description);
    const EntryFacts replacement = description.pItem ? ImageEntry(*description.pItem) : existing;
    m_pExistingInfoStatic->SetText(DescriptionText(existing));
    m_pIconExisting->SetOverlayBitmap(IconPicture(existing));
    m_pReplacementInfoStatic->SetText(DescriptionText(replacement));
    m_pIconReplacement->SetOverlayBitmap(IconPicture(replacement));

    // Some editions word the line below the existing entry differently and
    // call a folder's question a merge.
    int withId = bFolder ? IDS_CONFIRM_WITH_FOLDER : IDS_CONFIRM_WITH_FILE;
    int captionId = IDS_CONFIRM_CAPTION;
    if (GetOemConfirmString() == 1) {
        withId = bFolder ? IDS_CONFIRM_OEM_WITH_FOLDER : IDS_CONFIRM_OEM_WITH_FILE;
        if (bFolder)
            captionId = IDS_CONFIRM_OEM_MERGE_CAPTION;
    }
    const QString caption = LoadResString(captionId);
    setWindowTitle(caption);
    FitOneLine(m_pTitleStatic, caption, m_fontCaption, true, width() - 2 * kCaptionMargin);
    FitOneLine(m_pWithStatic, LoadResString(withId), m_fontText, false,
               kTextRight - m_pWithStatic->x());
}

// A one-line text that is wider than its label widens the label up to
// `nMaxWidth` (about its centre when `bCentred`, else to the right) and is
// cut with an ellipsis only beyond that.
void CConfirmFile::FitOneLine(CAlphaStatic* pLabel, const QString& text, const QFont& font,
                              bool bCentred, int nMaxWidth)
{
    const int needed = OneLineWidth(font, text);
    if (needed > pLabel->width()) {
        const int width = std::min(needed, nMaxWidth);
        QRect rect = pLabel->geometry();
        if (bCentred)
            rect =
                QRect(rect.left() + (rect.width() - width) / 2, rect.top(), width, rect.height());
        else
            rect.setWidth(width);
        pLabel->setGeometry(rect);
    }
    pLabel->SetText(FitTextToWidth(text, pLabel->width(), &font));
}

CAlphaStatic* CConfirmFile::Label(int nId) const
{
    switch (nId) {
    case IDC_CONFIRM_EXISTS:
        return m_pExistsStatic;
    case IDC_CONFIRM_QUESTION:
        return m_pQuestionStatic;
    case IDC_CONFIRM_EXISTING_INFO:
        return m_pExistingInfoStatic;
    case IDC_CONFIRM_WITH:
        return m_pWithStatic;
    case IDC_CONFIRM_REPLACEMENT_INFO:
        return m_pReplacementInfoStatic;
    default:
        return nullptr;
    }
}

CGStatic* CConfirmFile::IconLabel(int nId) const
{
    switch (nId) {
    case IDC_CONFIRM_TASK_ICON:
        return m_pTaskIcon;
    case IDC_CONFIRM_EXISTING_ICON:
        return m_pIconExisting;
    case IDC_CONFIRM_REPLACEMENT_ICON:
        return m_pIconReplacement;
    default:
        return nullptr;
    }
}

CAlphaButton* CConfirmFile::Button(int nId) const
{
    switch (nId) {
    case IDC_CONFIRM_REPLACE:
        return m_pReplaceButton;
    case IDC_CONFIRM_SKIP:
        return m_pSkipButton;
    case IDC_CONFIRM_REPLACE_ALL:
        return m_pReplaceAllButton;
    case IDC_CONFIRM_SKIP_ALL:
        return m_pSkipAllButton;
    case IDC_CONFIRM_CANCEL:
        return m_pCancelButton;
    case IDC_CONFIRM_CLOSE:
        return m_pCloseButton;
    default:
        return nullptr;
    }
}

int CConfirmFile::DoModal()
{
    InitDialog();
    return exec();
}

// Escape and a close request from the window system cancel.
void CConfirmFile::reject()
{
    done(IDC_CONFIRM_CANCEL);
}

bool CConfirmFile::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_COMMAND) {
            switch (const int id = message->CommandId()) {
            case IDC_CONFIRM_REPLACE:
            case IDC_CONFIRM_SKIP:
            case IDC_CONFIRM_REPLACE_ALL:
            case IDC_CONFIRM_SKIP_ALL:
            case IDC_CONFIRM_CANCEL:
                done(id);
                break;
            case IDC_CONFIRM_CLOSE:
                done(IDC_CONFIRM_CANCEL);
                break;
            default:
                break;
            }
        }
        return true;
    }
    return QDialog::event(event);
}

// Keys the focused answer leaves: Return and Enter give the default answer;
// an answer's access key also works without Alt, as in any dialog whose
// controls take no typing.
void CConfirmFile::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!modifiers && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        m_pReplaceButton->Click();
        return;
    }
    if (!modifiers && !event->text().isEmpty()) {
        const QString typed = event->text().toUpper();
        for (CAlphaButton* pButton : {m_pReplaceButton, m_pSkipButton, m_pReplaceAllButton,
                                      m_pSkipAllButton, m_pCancelButton}) {
            qsizetype key = -1;
            const QString caption = StripAccessKey(pButton->text(), &key);
            if (key >= 0 && caption.mid(key, 1).toUpper() == typed) {
                pButton->setFocus(Qt::ShortcutFocusReason);
                pButton->Click();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}

void CConfirmFile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_imgBackground);
}

// The whole surface outside the controls moves the dialog.
void CConfirmFile::mousePressEvent(QMouseEvent* event)
{
    if (!m_drag.Press(this, event))
        QDialog::mousePressEvent(event);
}

void CConfirmFile::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_drag.Move(this, event))
        QDialog::mouseMoveEvent(event);
}

void CConfirmFile::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_drag.Release(event))
        QDialog::mouseReleaseEvent(event);
}
