#include "FileTime.h"
#include "TimeZone.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using U16 = std::uint16_t;
SYSTEMTIME Make(U16 y, U16 mo, U16 d, U16 h = 0, U16 mi = 0, U16 s = 0, U16 ms = 0)
{
    return {y, mo, 1, d, h, mi, s, ms}; // the day of the week left at its default
}

TEST(FileTime, KnownInstants)
{
    FILETIME64 ft = 0;
    ASSERT_TRUE(SystemTimeToFileTime(Make(1970, 1, 1), &ft));
    EXPECT_EQ(ft, 116444736000000000ULL);
    ASSERT_TRUE(SystemTimeToFileTime(Make(1601, 1, 1), &ft));
    EXPECT_EQ(ft, 0u);
    EXPECT_EQ(UnixTimeToFileTime(0), 116444736000000000ULL);
    EXPECT_EQ(UnixTimeToFileTime(1, 999'999'999), 116444736000000000ULL + 19'999'999);
    EXPECT_EQ(UnixTimeToFileTime(-20'000'000'000LL), 0u) << "before 1601";
    std::uint32_t ns = 0;
    EXPECT_EQ(FileTimeToUnixTime(116444736000000000ULL + 15, &ns), 0);
    EXPECT_EQ(ns, 1500u);
}

TEST(FileTime, CalendarRoundTrip)
{
    // Dates around leap days, century rules and the ends of the range.
    const SYSTEMTIME dates[] = {
        Make(2000, 2, 29, 23, 59, 59, 999), Make(1904, 2, 29),
        Make(2024, 12, 31, 12, 0, 0),       Make(1601, 1, 1, 0, 0, 1),
        Make(2038, 1, 19, 3, 14, 8),        Make(30827, 12, 31, 23, 59, 59)};
    auto fields = [](const SYSTEMTIME& t) {
        return std::tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                          t.wMilliseconds);
    };
    for (const SYSTEMTIME& in : dates) {
        FILETIME64 ft = 0;
        SYSTEMTIME out;
        ASSERT_TRUE(SystemTimeToFileTime(in, &ft)) << in.wYear;
        ASSERT_TRUE(FileTimeToSystemTime(ft, &out));
        EXPECT_EQ(fields(out), fields(in)) << in.wYear;
    }
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(UnixTimeToFileTime(1733400000), &st)); // 2024-12-05
    EXPECT_EQ(st.wDayOfWeek, 4) << "a Thursday";

    // Impossible dates and times are refused.
    FILETIME64 ft = 0;
    for (const SYSTEMTIME& bad :
         {Make(1900, 2, 29), Make(2023, 2, 29), Make(2024, 4, 31), Make(2024, 13, 1),
          Make(2024, 0, 1), Make(2024, 1, 0), Make(2024, 1, 1, 24), Make(1600, 12, 31)})
        EXPECT_FALSE(SystemTimeToFileTime(bad, &ft)) << bad.wYear << "-" << bad.wMonth;
    EXPECT_FALSE(FileTimeToSystemTime(0x8000000000000000ULL, &st));
}

// Local time follows the zone's rule at the instant: summer and winter differ.
TEST(LocalTime, OffsetDependsOnTheDate)
{
    // A rule string needs no time-zone database.
    const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    constexpr FILETIME64 hour = 3600 * FILETIME_TICKS_PER_SECOND;
    FILETIME64 winter = 0, summer = 0, local = 0, back = 0;
    ASSERT_TRUE(SystemTimeToFileTime(Make(2026, 1, 15, 12, 0, 0, 250), &winter));
    ASSERT_TRUE(SystemTimeToFileTime(Make(2026, 7, 15, 12, 0, 0), &summer));
    ASSERT_TRUE(FileTimeToLocalFileTime(winter, &local));
    EXPECT_EQ(local - winter, hour);
    ASSERT_TRUE(LocalFileTimeToFileTime(local, &back));
    EXPECT_EQ(back, winter) << "the fraction of a second survives the round trip";
    ASSERT_TRUE(FileTimeToLocalFileTime(summer, &local));
    EXPECT_EQ(local - summer, 2 * hour);
    ASSERT_TRUE(LocalFileTimeToFileTime(local, &back));
    EXPECT_EQ(back, summer);

    FILETIME64 utc = 0;
    ASSERT_TRUE(SystemTimeToFileTime(Make(1969, 12, 31, 23, 59, 59), &utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(utc, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(local, &back));
    EXPECT_EQ(back, utc) << "one second before 1970 is not an error";
    EXPECT_FALSE(FileTimeToLocalFileTime(utc, nullptr));
}

} // namespace
