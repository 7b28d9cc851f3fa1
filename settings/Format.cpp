#include "Format.h"

#include "LangResources.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <array>
#include <mutex>

namespace {

// The unit words, loaded from the language resources at the first call and
// kept for the life of the process.
std::mutex g_unitMutex;
bool g_bUnitsLoaded = false;
std::array<QString, 4> g_unitWords; // bytes, KB, MB, GB

QString UnitWord(int id)
{
    std::lock_guard lock(g_unitMutex);
    if (!g_bUnitsLoaded) {
        for (int i = 0; i < 4; ++i)
            g_unitWords[static_cast<std::size_t>(i)] = LoadResString(IDS_UNIT_BYTES + i);
        g_bUnitsLoaded = true;
    }
    return g_unitWords[static_cast<std::size_t>(id - IDS_UNIT_BYTES)];
}

// The largest of bytes, KB, MB and GB that `bytes` reaches.
int SizeUnit(std::uint64_t bytes)
{
    if (bytes >= (1ULL << 30))
        return IDS_UNIT_GB;
    if (bytes >= (1ULL << 20))
        return IDS_UNIT_MB;
    if (bytes >= 1024)
        return IDS_UNIT_KB;
    return IDS_UNIT_BYTES;
}

// The user's time format with seconds and without a time-zone name.
QString TimeFormatWithSeconds(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool bQuoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            bQuoted = !bQuoted;
        if (!bQuoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString FormatGroupedNumber(std::int64_t value, int nCapacity)
{
    const QString text = QLocale::system().toString(static_cast<qlonglong>(value));
    if (nCapacity >= 0 && text.size() + 1 > nCapacity)
        return {};
    return text;
}

QString FormatSizeInKB(std::uint64_t bytes)
{
    const QString unit = UnitWord(IDS_UNIT_KB);
    if (bytes == 0)
        return QStringLiteral("0 ") + unit;
    // (bytes + 1023) / 1024 without overflow near the top of the range. At
    // most 2^54, which fits the signed count; its text (22 characters with
    // grouping) is not cut to a buffer's size.
    const std::uint64_t kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    const QString number = FormatGroupedNumber(static_cast<std::int64_t>(kilobytes));
    return number + QLatin1Char(' ') + unit;
}

bool FormatSizeWithUnit(std::uint64_t bytes, double* pValue, QString* pUnit)
{
    if (!pValue || !pUnit)
        return false;
    const int unit = SizeUnit(bytes);
    *pValue =
        static_cast<double>(bytes) / static_cast<double>(1ULL << (10 * (unit - IDS_UNIT_BYTES)));
    *pUnit = UnitWord(unit);
    return true;
}

QString FormatSizeWithUnitText(std::uint64_t bytes)
{
    const int unit = SizeUnit(bytes);
    if (unit == IDS_UNIT_BYTES)
        return QString::number(bytes) + QLatin1Char(' ') + UnitWord(unit);
    double value = 0;
    QString word;
    FormatSizeWithUnit(bytes, &value, &word);
    return QString::asprintf("%.2f ", value) + word;
}

QString FormatDateTime(const SYSTEMTIME& st)
{
    const QLocale locale = QLocale::system();
    const QDate date(st.wYear, st.wMonth, st.wDay);
    const QTime time(st.wHour, st.wMinute, st.wSecond);
    const QString dateText =
        date.isValid() ? locale.toString(date, QLocale::ShortFormat) : QString();
    const QString timeText =
        time.isValid() ? locale.toString(time, TimeFormatWithSeconds(locale)) : QString();
    return QLatin1Char(' ') + dateText + QLatin1Char(' ') + timeText + QLatin1Char(' ');
}

QString FormatFileTime(FILETIME64 ftUtc)
{
    FILETIME64 local = 0;
    SYSTEMTIME st;
    // A local time that is itself before the second day is a stamp too close
    // to either end of the range for the zone's offset.
    if (IsMissingFileTime(ftUtc) || !FileTimeToLocalFileTime(ftUtc, &local) ||
        IsMissingFileTime(local) || !FileTimeToSystemTime(local, &st))
        return {};
    return FormatDateTime(st);
}

void ResetFormatUnitWords()
{
    std::lock_guard lock(g_unitMutex);
    g_bUnitsLoaded = false;
}
