#include "FileTime.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeap(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(unsigned y, unsigned m)
{
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

} // namespace

FILETIME64 UnixTimeToFileTime(std::int64_t seconds, std::uint32_t nanoseconds)
{
    if (seconds < -FILETIME_UNIX_EPOCH_SECONDS)
        return 0;
    const auto since1601 = static_cast<std::uint64_t>(seconds + FILETIME_UNIX_EPOCH_SECONDS);
    return since1601 * FILETIME_TICKS_PER_SECOND + nanoseconds / 100;
}

std::int64_t FileTimeToUnixTime(FILETIME64 ft, std::uint32_t* nanoseconds)
{
    if (nanoseconds)
        *nanoseconds = static_cast<std::uint32_t>(ft % FILETIME_TICKS_PER_SECOND) * 100;
    return static_cast<std::int64_t>(ft / FILETIME_TICKS_PER_SECOND) - FILETIME_UNIX_EPOCH_SECONDS;
}

bool FileTimeToSystemTime(FILETIME64 ft, SYSTEMTIME* st)
{
    if (!st || ft >= 0x8000000000000000ULL)
        return false;
    const std::int64_t unixSeconds = FileTimeToUnixTime(ft);
    std::int64_t days = unixSeconds / kSecondsPerDay;
    std::int64_t rest = unixSeconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    st->wYear = static_cast<std::uint16_t>(year);
    st->wMonth = static_cast<std::uint16_t>(month);
    st->wDay = static_cast<std::uint16_t>(day);
    // 1970-01-01 was a Thursday.
    st->wDayOfWeek = static_cast<std::uint16_t>(((days % 7) + 7 + 4) % 7);
    st->wHour = static_cast<std::uint16_t>(rest / 3600);
    st->wMinute = static_cast<std::uint16_t>(rest / 60 % 60);
    st->wSecond = static_cast<std::uint16_t>(rest % 60);
    st->wMilliseconds = static_cast<std::uint16_t>(ft % FILETIME_TICKS_PER_SECOND / 10'000);
    return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME64* ft)
{
    if (!ft || st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 ||
        st.wDay < 1 || st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 ||
        st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    const std::int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
    const std::int64_t seconds =
        days * kSecondsPerDay + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
    *ft = UnixTimeToFileTime(seconds) + std::uint64_t{st.wMilliseconds} * 10'000;
    return true;
}

bool FileTimeToLocalFileTime(FILETIME64 utc, FILETIME64* local)
{
    if (!local)
        return false;
    std::uint32_t ns = 0;
    const std::time_t t = static_cast<std::time_t>(FileTimeToUnixTime(utc, &ns));
    std::tm tmLocal{};
    if (!localtime_r(&t, &tmLocal))
        return false;
    const std::int64_t localSeconds = static_cast<std::int64_t>(t) + tmLocal.tm_gmtoff;
    if (localSeconds < -FILETIME_UNIX_EPOCH_SECONDS)
        return false;
    *local = UnixTimeToFileTime(localSeconds, ns);
    return true;
}

bool LocalFileTimeToFileTime(FILETIME64 local, FILETIME64* utc)
{
    if (!utc)
        return false;
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(local, &st))
        return false;
    std::tm tmLocal{};
    tmLocal.tm_year = st.wYear - 1900;
    tmLocal.tm_mon = st.wMonth - 1;
    tmLocal.tm_mday = st.wDay;
    tmLocal.tm_hour = st.wHour;
    tmLocal.tm_min = st.wMinute;
    tmLocal.tm_sec = st.wSecond;
    tmLocal.tm_isdst = -1;
    const std::time_t t = mktime(&tmLocal);
    if (t == static_cast<std::time_t>(-1)) {
        // -1 is also one second before 1970; tell the two apart.
        std::tm check{};
        const std::time_t minusOne = -1;
        if (!localtime_r(&minusOne, &check) || check.tm_year != tmLocal.tm_year ||
            check.tm_yday != tmLocal.tm_yday || check.tm_hour != tmLocal.tm_hour ||
            check.tm_min != tmLocal.tm_min || check.tm_sec != tmLocal.tm_sec)
            return false;
    }
    if (static_cast<std::int64_t>(t) < -FILETIME_UNIX_EPOCH_SECONDS)
        return false;
    *utc = UnixTimeToFileTime(static_cast<std::int64_t>(t), 0) + local % FILETIME_TICKS_PER_SECOND;
    return true;
}
