#include "Format.h"
#include "LangSet.h"
#include "QtPrint.h"
#include "TimeZone.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <limits>

// The settings tests run in a German locale, set before anything asks, to catch C conventions.

namespace {

const bool g_bGermanLocale = [] {
    qputenv("LC_ALL", "de_DE.UTF-8");
    return true;
}();

class Format : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_bGermanLocale);
        ASSERT_EQ(QLocale::system().name(), u"de_DE");
        ASSERT_TRUE(m_lang.Loaded());
        ResetFormatUnitWords();
    }
    void TearDown() override { ResetFormatUnitWords(); }
    ScopedLangSet m_lang{"6051 = Bytes\n6052 = KB\n6053 = MB\n6054 = GB\n"};
};

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST_F(Format, NumbersAndSizes)
{
    EXPECT_EQ(FormatGroupedNumber(999), u"999");
    EXPECT_EQ(FormatGroupedNumber(-1234), u"-1.234");
    EXPECT_EQ(FormatGroupedNumber(std::numeric_limits<std::int64_t>::min()),
              u"-9.223.372.036.854.775.808");
    // "1.234.567" needs 9 characters and a terminating NUL.
    EXPECT_EQ(FormatGroupedNumber(1234567, 10), u"1.234.567");
    EXPECT_TRUE(FormatGroupedNumber(1234567, 9).isEmpty());

    // Whole kilobytes rounded up; the largest counts neither wrap to 0 nor lose their number.
    const std::pair<std::uint64_t, const char16_t*> kilobytes[] = {
        {0, u"0 KB"},
        {1, u"1 KB"},
        {1024, u"1 KB"},
        {1025, u"2 KB"},
        {4700372992ULL, u"4.590.208 KB"},
        {kMax, u"18.014.398.509.481.984 KB"},
        {kMax - 1023, u"18.014.398.509.481.983 KB"},
    };
    for (const auto& [bytes, text] : kilobytes)
        EXPECT_EQ(FormatSizeInKB(bytes), QStringView(text)) << bytes;

    // The largest unit reached; bytes whole, the rest with two decimals.
    const std::pair<std::uint64_t, const char16_t*> units[] = {
        {0, u"0 Bytes"},
        {1023, u"1023 Bytes"},
        {1024, u"1.00 KB"},
        {48213, u"47.08 KB"},
        {1048575, u"1024.00 KB"},
        {1048576, u"1.00 MB"},
        {1073741823, u"1024.00 MB"},
        {1073741824, u"1.00 GB"},
        {5ULL << 40, u"5120.00 GB"},
    };
    for (const auto& [bytes, text] : units)
        EXPECT_EQ(FormatSizeWithUnitText(bytes), QStringView(text)) << bytes;
    double value = 0;
    QString unit;
    EXPECT_FALSE(FormatSizeWithUnit(1, nullptr, &unit));
    EXPECT_FALSE(FormatSizeWithUnit(1, &value, nullptr));
}

TEST_F(Format, UnitWordsAreLoadedOnce)
{
    EXPECT_EQ(FormatSizeInKB(1), u"1 KB");
    CLangResources other;
    SetLangResources(&other); // a set without unit words
    EXPECT_EQ(FormatSizeInKB(1), u"1 KB") << "the words of the first call are kept";
    ResetFormatUnitWords();
    EXPECT_EQ(FormatSizeInKB(1), u"1 ") << "a missing word is empty, never a crash";
}

TEST_F(Format, DatesAndFileTimes)
{
    SYSTEMTIME st{.wYear = 2026, .wMonth = 3, .wDay = 7, .wHour = 9, .wMinute = 5, .wSecond = 4};
    EXPECT_EQ(FormatDateTime(st), u" 07.03.26 09:05:04 ");
    // A date that does not exist leaves its part empty but keeps the blanks.
    st.wMonth = 2;
    st.wDay = 30;
    EXPECT_EQ(FormatDateTime(st), u"  09:05:04 ");

    // East of UTC the zero time is in 1601: a time before the second day is missing.
    const ScopedTimeZone zone("LTN-3");
    FILETIME64 real = 0;
    ASSERT_TRUE(SystemTimeToFileTime({.wYear = 2023, .wMonth = 11, .wDay = 4, .wHour = 22}, &real));
    st = {.wYear = 2023, .wMonth = 11, .wDay = 5, .wHour = 1};
    const std::pair<FILETIME64, QString> rows[] = {
        {0, QString()},
        {FILETIME_FIRST_KNOWN - 1, QString()},
        {std::numeric_limits<FILETIME64>::max(), QString()},
        {FILETIME_FIRST_KNOWN, QStringLiteral(" 02.01.01 03:00:00 ")},
        {real, FormatDateTime(st)},
    };
    for (const auto& [ft, text] : rows)
        EXPECT_EQ(FormatFileTime(ft), text) << ft;
}

} // namespace
