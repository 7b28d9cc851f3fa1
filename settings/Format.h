#pragma once

// The texts that lists and dialogs show for numbers, sizes and dates, in the
// user's locale (QLocale::system()) with unit words from the language
// resources.

#include "FileTime.h"

#include <QString>
#include <cstdint>

// Unit words of the language resources.
inline constexpr int IDS_UNIT_BYTES = 6051;
inline constexpr int IDS_UNIT_KB = 6052;
inline constexpr int IDS_UNIT_MB = 6053;
inline constexpr int IDS_UNIT_GB = 6054;

// The value in decimal with the user's digit grouping, no decimals. With a
// capacity (in characters, room for a terminating NUL included, as a buffer
// would have) a text that does not fit gives an empty text.
QString FormatGroupedNumber(std::int64_t value, int nCapacity = -1);

// Whole kilobytes, a part of a kilobyte counting as one, grouped, with the
// kilobyte word: 0 -> "0 KB", 1 -> "1 KB", 1024 -> "1 KB", 1025 -> "2 KB".
QString FormatSizeInKB(std::uint64_t bytes);

// Picks the largest unit of bytes, KB, MB and GB that the size reaches and
// gives the size in it; the caller prints the number. False, and nothing
// written, when an output is missing.
bool FormatSizeWithUnit(std::uint64_t bytes, double* pValue, QString* pUnit);
// The size in the unit FormatSizeWithUnit picks, with two decimals and the
// unit word ("1.50 KB", "47.08 MB"); a size in bytes is whole ("900 bytes").
QString FormatSizeWithUnitText(std::uint64_t bytes);

// The date and the time in the user's short date and time formats, as
// " date time " (one blank before, between and after).
QString FormatDateTime(const SYSTEMTIME& st);

// A time stamp before 1601-01-02 UTC is no time at all: the zero FILETIME
// that stands for "unknown", perhaps moved by a zone's offset.
inline constexpr FILETIME64 FILETIME_FIRST_KNOWN = 24ULL * 3600 * FILETIME_TICKS_PER_SECOND;
inline bool IsMissingFileTime(FILETIME64 ft)
{
    return ft < FILETIME_FIRST_KNOWN;
}
// A UTC time stamp in local time as FormatDateTime writes it; empty for a
// missing time and for one that has no calendar date.
QString FormatFileTime(FILETIME64 ftUtc);

// Forgets the unit words so the next call loads them again (for tests that
// switch the language resources).
void ResetFormatUnitWords();
