#pragma once

// Time stamps as the program stores them: FILETIME values, unsigned 64-bit
// counts of 100-nanosecond intervals since 1 January 1601. A FILETIME is
// UTC unless a name says "local"; local time follows the C library's
// time-zone rules (TZ, /etc/localtime) for the instant being converted.

#include <cstdint>
#include <ctime>

using FILETIME64 = std::uint64_t;

// A broken-down calendar date and time.
struct SYSTEMTIME
{
    std::uint16_t wYear = 1601;
    std::uint16_t wMonth = 1;     // 1..12
    std::uint16_t wDayOfWeek = 1; // 0 = Sunday
    std::uint16_t wDay = 1;       // 1..31
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

inline constexpr std::uint64_t FILETIME_TICKS_PER_SECOND = 10'000'000ULL;
// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t FILETIME_UNIX_EPOCH_SECONDS = 11'644'473'600LL;

// Unix time (seconds and nanoseconds since 1970, UTC) to FILETIME. Instants
// before 1601 give 0.
FILETIME64 UnixTimeToFileTime(std::int64_t seconds, std::uint32_t nanoseconds = 0);
// FILETIME to Unix seconds, rounded down, with the rest in nanoseconds.
std::int64_t FileTimeToUnixTime(FILETIME64 ft, std::uint32_t* nanoseconds = nullptr);

// Calendar conversion without any time zone. SystemTimeToFileTime fails on
// fields out of range (month 13, 30 February, hour 24, years before 1601 or
// after 30827).
bool FileTimeToSystemTime(FILETIME64 ft, SYSTEMTIME* st);
bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME64* ft);

// UTC and local time. Each conversion uses the offset in force at the
// instant converted, so summer and winter dates each get their own. A local
// time that falls in a gap or an overlap of a change of offset is resolved by
// the C library (mktime with tm_isdst = -1).
bool FileTimeToLocalFileTime(FILETIME64 utc, FILETIME64* local);
bool LocalFileTimeToFileTime(FILETIME64 local, FILETIME64* utc);
