#include "LangResources.h"
#include "QtPrint.h"
#include "RegValues.h"
#include "Scale.h"
#include "StoredSettings.h"
#include "SystemVersion.h"
#include "TempSettings.h"

#include <QFile>
#include <gtest/gtest.h>

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

TEST_F(ScaleTest, ScalingOffGivesOneWhateverTheDisplay)
{
    SetDpi(192);
    EXPECT_FALSE(IsDpiScalingEnabled());
    EXPECT_DOUBLE_EQ(GetDpiScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetImageScale(), 1.0);
    EXPECT_DOUBLE_EQ(GetDpiScale(true), 2.0) << "the force flag asks the display anyway";
}

TEST_F(ScaleTest, ScalingOnFollowsTheDisplay)
{
    DwordReg enable(HKEY_LOCAL_MACHINE, SETTINGS_KEY, QStringLiteral("EnableDPIAware"));
    enable.Set(1);
    ASSERT_TRUE(enable.Write());
    ASSERT_TRUE(IsDpiScalingEnabled());

    struct Row
    {
        double dpi, dpiScale, imageScale;
    };
    for (const Row& row : {Row{96, 1.0, 1.0}, Row{120, 1.25, 1.0}, Row{143, 143 / 96.0, 1.0},
                           Row{144, 1.5, 1.5}, Row{192, 2.0, 1.5}}) {
        SetDpi(row.dpi);
        EXPECT_DOUBLE_EQ(GetDpiScale(), row.dpiScale) << row.dpi;
        EXPECT_DOUBLE_EQ(GetImageScale(), row.imageScale) << row.dpi;
    }

    // Read once per process: a later change is not seen.
    enable.Set(0);
    ASSERT_TRUE(enable.Write());
    EXPECT_TRUE(IsDpiScalingEnabled());
}

TEST_F(ScaleTest, FontFaceFromTheResources)
{
    const QString path = m_settings.Path() + QStringLiteral("/ADTRC.lang");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[strings]\n8012 = Segoe UI\n");
    file.close();
    CLangResources res;
    ASSERT_TRUE(res.LoadFile(path));

    EXPECT_EQ(GetUIFontName(QStringLiteral("Fallback")), u"Fallback") << "no resources";
    SetLangResources(&res);
    EXPECT_EQ(GetUIFontName(QStringLiteral("Fallback")), u"Segoe UI");
    SetOsVersionForTesting({5, 1});
    EXPECT_EQ(GetUIFontName(QStringLiteral("Fallback")), u"Fallback");
    ResetOsVersionForTesting();
    SetLangResources(nullptr);
}

} // namespace
