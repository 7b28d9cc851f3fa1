#include "LangSet.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

class ScaleTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetScaleSettingsForTesting(); }
    void TearDown() override
    {
        SetDisplayDpiSource(nullptr);
        ResetScaleSettingsForTesting();
    }
    void SetDpi(double dpi)
    {
        SetDisplayDpiSource([dpi] { return dpi; });
    }
    TempSettings m_settings;
};

TEST_F(ScaleTest, ScalingFollowsTheDisplayOnlyWhenSwitchedOn)
{
    SetDpi(192);
    EXPECT_FALSE(IsDpiScalingEnabled());
    EXPECT_DOUBLE_EQ(GetDpiScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetImageScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetDpiScale(true), 2.0) << "the force flag asks the display anyway";

    // Read once per process: switched on now, it is seen only after a reset.
    DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, u"EnableDPIAware"_s);
    ASSERT_TRUE(enable.Set(1).Write());
    EXPECT_FALSE(IsDpiScalingEnabled());
    ResetScaleSettingsForTesting();
    ASSERT_TRUE(IsDpiScalingEnabled());
    // Pictures scale only in steps: 1 or 1.5.
    for (const auto& [dpi, dpiScale, imageScale] : {std::tuple{96.0, 1.0, 1.0},
                                                    {120.0, 1.25, 1.0},
                                                    {143.0, 143 / 96.0, 1.0},
                                                    {144.0, 1.5, 1.5},
                                                    {192.0, 2.0, 1.5}}) {
        SetDpi(dpi);
        EXPECT_DOUBLE_EQ(GetDpiScale(), dpiScale) << dpi;
        EXPECT_DOUBLE_EQ(GetImageScale(), imageScale) << dpi;
    }
}

TEST_F(ScaleTest, FontFaceFromTheResources)
{
    EXPECT_EQ(GetUIFontName(u"Fallback"_s), u"Fallback") << "no resources";
    const ScopedLangSet lang("8012 = Segoe UI\n");
    EXPECT_EQ(GetUIFontName(u"Fallback"_s), u"Segoe UI");
    SetOsVersionForTesting({5, 1});
    EXPECT_EQ(GetUIFontName(u"Fallback"_s), u"Fallback");
    ResetOsVersionForTesting();
}

} // namespace
