// The command bar on its own, over a router that records what reaches it:
// the row of buttons at both image scales, which strip each one shows, its
// tooltip, and that clicks and enabling go through the router.

#include "CommandIds.h"
#include "CommandView.h"
#include "FrameHost.h"
#include "LangResources.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "SkinControls.h"
#include "StoredSettings.h"
#include "TempSettings.h"
#include "WidgetHelpers.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>
#include <map>

namespace {

const std::vector<int> kBarCommands = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                                       ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};

// The strip strings, each naming an image whose colour spells its number.
const int kStripStrings[] = {627, 628, 629, 630, 632, 633, 634, 635, 636, 638, 61826};

QColor StripColour(int nString)
{
    return QColor(nString & 0xFF, (nString >> 8) & 0xFF, 0x5A);
}

class FakeRouter : public ICommandRouter
{
public:
    void RouteCommand(int nID) override { m_routed.push_back(nID); }
    CCmdUI QueryCommand(int nID) override
    {
        CCmdUI ui;
        ui.nID = nID;
        ui.bEnabled = m_enabled.count(nID) && m_enabled[nID];
        return ui;
    }
    std::vector<int> m_routed;
    std::map<int, bool> m_enabled;
};

// A program folder with one-colour strips for every strip string, and
// tooltips that name their command.
class CommandBar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString folder = m_settings.Path() + QStringLiteral("/program");
        QDir().mkpath(folder + QStringLiteral("/Image/Bar"));
        QByteArray strings;
        for (const int id : kStripStrings) {
            QImage strip(4 * 6, 5, QImage::Format_ARGB32);
            strip.fill(StripColour(id));
            ASSERT_TRUE(strip.save(folder + QStringLiteral("/Image/Bar/s%1.png").arg(id)));
            strings += QStringLiteral("%1 = Image\\\\Bar\\\\s%1.png\n").arg(id).toUtf8();
        }
        for (const int id : kBarCommands)
            strings += QStringLiteral("%1 = Tip of %1\n").arg(id).toUtf8();
        m_lang = std::make_unique<ScopedLangSet>(strings);
        ASSERT_TRUE(m_lang->Loaded());
        SetProgramFolderForTesting(folder);
        ResetScaleSettingsForTesting();
    }
    void TearDown() override
    {
        SetDisplayDpiSource(nullptr);
        ResetScaleSettingsForTesting();
        SetProgramFolderForTesting(QString());
        m_lang.reset();
    }
    // Scaling on, on a display of `dpi` pixels per inch.
    void SetDisplay(double dpi)
    {
        DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("EnableDPIAware"));
        enable.Set(1);
        ASSERT_TRUE(enable.Write());
        ResetScaleSettingsForTesting();
        SetDisplayDpiSource([dpi] { return dpi; });
    }
    std::unique_ptr<CLTCommandView> MakeBar(const std::vector<int>& ids = kBarCommands)
    {
        auto bar = std::make_unique<CLTCommandView>();
        bar->resize(400, 60);
        bar->SetTarget(&m_router);
        bar->CreateButtons(ids);
        bar->OnInitialUpdate();
        bar->show();
        return bar;
    }
    // The string whose strip the button shows, read back from its colour.
    static int ShownStrip(CAlphaButton* button)
    {
        const QColor c = ShownColour(button, button->rect().center());
        return c.red() | (c.green() << 8);
    }

    TempSettings m_settings;
    std::unique_ptr<ScopedLangSet> m_lang;
    FakeRouter m_router;
};

// One row in the order of the commands, evenly spaced, half as large again
// at 1.5 scale; each button shows its command's strip for the scale and its
// tooltip when the pointer rests on it.
TEST_F(CommandBar, RowStripsAndTooltipsAtBothScales)
{
    const struct
    {
        double dpi;
        int strip[6];
    } cases[] = {
        // Mount's strip is 61826 below 1.5 and Burn's at 1.5.
        {96, {629, 627, 628, 630, 632, 61826}},
        {144, {635, 633, 634, 636, 638, 638}},
    };
    QSize unscaled;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        SetDisplay(c.dpi);
        auto bar = MakeBar();
        ASSERT_EQ(bar->ButtonCount(), 6u);
        const CAlphaButton* first = bar->Button(kBarCommands[0]);
        ASSERT_NE(first, nullptr);
        if (c.dpi == 96) {
            unscaled = first->size();
        } else {
            EXPECT_EQ(first->size(), unscaled * 1.5);
        }
        const int step = bar->Button(kBarCommands[1])->x() - first->x();
        EXPECT_GT(step, first->width()) << "buttons do not touch";
        for (std::size_t i = 0; i < kBarCommands.size(); ++i) {
            const int id = kBarCommands[i];
            CAlphaButton* button = bar->Button(id);
            ASSERT_NE(button, nullptr) << id;
            EXPECT_EQ(button->geometry(),
                      QRect(first->pos() + QPoint(int(i) * step, 0), first->size()))
                << id;
            EXPECT_EQ(ShownStrip(button), c.strip[i]) << id;
            const QPoint centre = button->rect().center();
            QHelpEvent help(QEvent::ToolTip, centre, button->mapToGlobal(centre));
            QApplication::sendEvent(button, &help);
            EXPECT_EQ(QToolTip::text(), QStringLiteral("Tip of %1").arg(id));
            QToolTip::hideText();
        }
    }
}

TEST_F(CommandBar, OtherCommandsTakeTheViewStripAndZeroGetsNoButton)
{
    for (const double dpi : {96.0, 144.0}) {
        SetDisplay(dpi);
        auto bar = MakeBar({ID_VIEW_DETAILS, 0, ID_EXTRACT});
        ASSERT_NE(bar->Button(ID_VIEW_DETAILS), nullptr);
        EXPECT_EQ(ShownStrip(bar->Button(ID_VIEW_DETAILS)), dpi < 144 ? 627 : 633);
        EXPECT_EQ(bar->Button(0), nullptr);
        // The zero entry leaves no hole in the row.
        auto full = MakeBar({ID_VIEW_DETAILS, ID_EXTRACT});
        EXPECT_EQ(bar->Button(ID_EXTRACT)->geometry(), full->Button(ID_EXTRACT)->geometry());
    }
}

TEST_F(CommandBar, ClicksGoToTheRouterAndEnablingFollowsIt)
{
    m_router.m_enabled = {{ID_IMAGE_OPEN, true}, {ID_EXTRACT, true}};
    auto bar = MakeBar();
    // The pass at start has run before any event.
    EXPECT_TRUE(bar->Button(ID_IMAGE_OPEN)->isEnabled());
    EXPECT_TRUE(bar->Button(ID_EXTRACT)->isEnabled());
    EXPECT_FALSE(bar->Button(ID_BURN_IMAGE)->isEnabled());

    for (const int id : {ID_EXTRACT, ID_IMAGE_OPEN, ID_BURN_IMAGE})
        QTest::mouseClick(bar->Button(id), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_router.m_routed, (std::vector<int>{ID_EXTRACT, ID_IMAGE_OPEN}))
        << "a disabled button sends nothing";

    // The idle pass picks up a change on its own.
    m_router.m_enabled = {{ID_BURN_IMAGE, true}};
    QTest::qWait(COMMAND_BAR_IDLE_MS * 3);
    EXPECT_TRUE(bar->Button(ID_BURN_IMAGE)->isEnabled());
    EXPECT_FALSE(bar->Button(ID_IMAGE_OPEN)->isEnabled());

    // Without a router nothing is sent.
    bar->SetTarget(nullptr);
    QTest::mouseClick(bar->Button(ID_BURN_IMAGE), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_router.m_routed.size(), 2u);
}

} // namespace
