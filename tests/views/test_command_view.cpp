// The command bar on its own: the row of buttons at both image scales, the
// strip each one shows and its tooltip. Clicks and enabling in the real
// window are the app tests' (tests/app/test_command_bar.cpp).

#include "CommandIds.h"
#include "CommandView.h"
#include "ProgramPaths.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "SkinControls.h"
#include "StoredSettings.h"
#include "TempSettings.h"
#include "WidgetHelpers.h"

#include <QDir>
#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

const std::vector<int> kBarCommands = {ID_IMAGE_OPEN, ID_FILE_VIEW,  ID_EXTRACT,
                                       ID_VIEW_MODE,  ID_BURN_IMAGE, ID_MOUNT_IMAGE};

// The strip strings, each naming an image whose colour spells its number.
const int kStripStrings[] = {627, 628, 629, 630, 632, 633, 634, 635, 636, 638, 61826};

QColor StripColour(int nString)
{
    return QColor(nString & 0xFF, (nString >> 8) & 0xFF, 0x5A);
}

// A program folder with one-colour strips for every strip string, and
// tooltips that name their command.
class CommandBar : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString folder = m_settings.Path() + u"/program"_s;
        QDir().mkpath(folder + u"/Image/Bar"_s);
        QByteArray strings;
        for (const int id : kStripStrings) {
            QImage strip(4 * 6, 5, QImage::Format_ARGB32);
            strip.fill(StripColour(id));
            ASSERT_TRUE(strip.save(folder + u"/Image/Bar/s%1.png"_s.arg(id)));
            strings += u"%1 = Image\\\\Bar\\\\s%1.png\n"_s.arg(id).toUtf8();
        }
        for (const int id : kBarCommands)
            strings += u"%1 = Tip of %1\n"_s.arg(id).toUtf8();
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
    }
    // Scaling on, on a display of `dpi` pixels per inch.
    void SetDisplay(double dpi)
    {
        DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"EnableDPIAware"_s);
        enable.Set(1);
        ASSERT_TRUE(enable.Write());
        ResetScaleSettingsForTesting();
        SetDisplayDpiSource([dpi] { return dpi; });
    }
    TempSettings m_settings;
    std::unique_ptr<ScopedLangSet> m_lang;
};

// One row in the order of the commands, evenly spaced, half as large again
// at 1.5 scale; each button shows a strip of its own, another one at 1.5
// scale, and its tooltip when the pointer rests on it.
TEST_F(CommandBar, RowStripsAndTooltipsAtBothScales)
{
    QSize unscaled;
    std::map<int, int> unscaledStrip;
    for (const double dpi : {96.0, 144.0}) {
        SCOPED_TRACE(dpi);
        SetDisplay(dpi);
        auto bar = std::make_unique<CLTCommandView>();
        bar->resize(400, 60);
        bar->CreateButtons(kBarCommands);
        bar->OnInitialUpdate();
        bar->show();
        ASSERT_EQ(bar->ButtonCount(), 6u);
        const CAlphaButton* first = bar->Button(kBarCommands[0]);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->size(), dpi == 96 ? (unscaled = first->size()) : unscaled * 1.5);
        const int step = bar->Button(kBarCommands[1])->x() - first->x();
        EXPECT_GT(step, first->width()) << "buttons do not touch";
        std::set<int> strips;
        for (std::size_t i = 0; i < kBarCommands.size(); ++i) {
            const int id = kBarCommands[i];
            CAlphaButton* button = bar->Button(id);
            ASSERT_NE(button, nullptr) << id;
            EXPECT_EQ(button->geometry(),
                      QRect(first->pos() + QPoint(int(i) * step, 0), first->size()))
                << id;
            // The string whose strip the button shows, read back from its colour.
            const QColor colour = ShownColour(button, button->rect().center());
            const int strip = colour.red() | (colour.green() << 8);
            EXPECT_TRUE(std::count(std::begin(kStripStrings), std::end(kStripStrings), strip))
                << id;
            strips.insert(strip);
            if (dpi != 96) {
                EXPECT_NE(strip, unscaledStrip[id]) << id;
            }
            unscaledStrip.try_emplace(id, strip);
            const QPoint centre = button->rect().center();
            QHelpEvent help(QEvent::ToolTip, centre, button->mapToGlobal(centre));
            QApplication::sendEvent(button, &help);
            EXPECT_EQ(QToolTip::text(), u"Tip of %1"_s.arg(id));
            QToolTip::hideText();
        }
        EXPECT_TRUE(dpi != 96 || strips.size() == 6u) << "no two share a picture";
    }
}

} // namespace
