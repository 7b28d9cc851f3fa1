#include "CommandView.h"

#include "CommandIds.h"
#include "FrameHost.h"
#include "LangResources.h"
#include "Scale.h"
#include "SkinControls.h"
#include "SkinMessages.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Where the row starts and how the buttons are spaced, before the display
// scale.
constexpr int kRowLeft = 5;
constexpr int kRowTop = 7;
constexpr int kButtonWidth = 24;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 10;

struct CommandImages
{
    int nID;
    int nImage;      // below image scale 1.5
    int nImageLarge; // at image scale 1.5
};

// The Mount button's strip string lies outside the run of the others, and
// at 1.5 it shares the Burn button's.
constexpr CommandImages kImages[] = {
    {ID_IMAGE_OPEN, 629, 635}, {ID_FILE_VIEW, 627, 633},  {ID_EXTRACT, 628, 634},
    {ID_VIEW_MODE, 630, 636},  {ID_BURN_IMAGE, 632, 638}, {ID_MOUNT_IMAGE, 61826, 638},
};
constexpr CommandImages kOtherCommand = {0, 627, 633};

} // namespace

int CommandImageString(int nID, double scale)
{
    CommandImages images = kOtherCommand;
    for (const CommandImages& row : kImages) {
        if (row.nID == nID)
            images = row;
    }
    return scale >= 1.5 ? images.nImageLarge : images.nImage;
}

CLTCommandView::CLTCommandView(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("CommandBar"));
    // The bar paints every pixel itself, and a click on it takes no focus.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    m_idleTimer.setInterval(COMMAND_BAR_IDLE_MS);
    connect(&m_idleTimer, &QTimer::timeout, this, &CLTCommandView::UpdateButtons);
    // Extract follows the keyboard focus.
    connect(qApp, &QApplication::focusChanged, this, [this] { RequestUpdate(); });
}

CLTCommandView::~CLTCommandView()
{
    DestroyButtons();
}

void CLTCommandView::DestroyButtons()
{
    m_pButtons.clear();
    m_nButtonCount = 0;
}

void CLTCommandView::CreateButtons(std::span<const int> commandIds)
{
    DestroyButtons();
    m_nButtonCount = static_cast<unsigned>(commandIds.size());
    if (commandIds.empty())
        return;
    const double scale = GetImageScale();
    int x = kRowLeft;
    for (const int nID : commandIds) {
        if (nID == 0)
            continue;
        auto button = std::make_unique<CAlphaButton>();
        button->setObjectName(QStringLiteral("Command%1").arg(nID));
        button->setFocusPolicy(Qt::NoFocus);
        button->LoadStateImages(LoadResString(CommandImageString(nID, scale)), true);
        button->Create(QString(), WS_CHILD | WS_VISIBLE,
                       QRect(QPoint(x, kRowTop), QSize(kButtonWidth, kButtonHeight)), this, nID);
        button->SetTooltipFromString(nID, true);
        x += button->width() + kButtonGap;
        m_pButtons.push_back(std::move(button));
    }
    m_nRowRight = x;
}

void CLTCommandView::OnInitialUpdate()
{
    UpdateButtons();
    m_idleTimer.start();
}

void CLTCommandView::RequestUpdate()
{
    if (m_bUpdateQueued)
        return;
    m_bUpdateQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bUpdateQueued = false;
            UpdateButtons();
        },
        Qt::QueuedConnection);
}

void CLTCommandView::UpdateButtons()
{
    if (!m_pTarget)
        return;
    for (const auto& button : m_pButtons)
        button->setEnabled(m_pTarget->QueryCommand(button->Id()).bEnabled);
}

CAlphaButton* CLTCommandView::Button(int nID) const
{
    for (const auto& button : m_pButtons) {
        if (button->Id() == nID)
            return button.get();
    }
    return nullptr;
}

bool CLTCommandView::event(QEvent* event)
{
    if (const CPostedMessage* message = AsPostedMessage(event)) {
        if (message->Message() == WM_COMMAND && message->NotifyCode() == BN_CLICKED) {
            const int nID = message->CommandId();
            if (m_pTarget)
                m_pTarget->RouteCommand(nID);
            UpdateButtons();
        }
        return true;
    }
    return QWidget::event(event);
}

void CLTCommandView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), COMMAND_BAR_COLOUR);
}
