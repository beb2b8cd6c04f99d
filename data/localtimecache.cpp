#include "data/localtimecache.h"

#include <QDateTime>

#include <cstring>

namespace {

const QString &timePattern()
{
    static const QString pattern = QStringLiteral("yyyy/MM/dd hh:mm:ss");
    return pattern;
}

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;
// No zone of the tz database strays further than 14 hours from UTC after
// 1970; the margin keeps the search windows safe.
constexpr int64_t kMaxOffset = 16 * kHour;
// Offsets change months apart, never back within an hour, so sampling them
// hourly (and at both ends of a span) sees every change.
constexpr int64_t kStep = kHour;

int digits(const char *p, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (p[i] - '0');
    return v;
}

bool leapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int offsetAt(int64_t utc)
{
    return QDateTime::fromSecsSinceEpoch(utc, Qt::LocalTime).offsetFromUtc();
}

// True when the local offset is the same at every sampled instant of
// [from, to]; offsets last far longer than the sampling step, so a change
// inside the span always shows at a sample.
bool constantOffset(int64_t from, int64_t to, int64_t step, int &offset)
{
    offset = offsetAt(from);
    for (int64_t t = from + step; t < to; t += step) {
        if (offsetAt(t) != offset)
            return false;
    }
    return offsetAt(to) == offset;
}

void offsetRange(int64_t from, int64_t to, int64_t step, int &low, int &high)
{
    low = high = offsetAt(to);
    for (int64_t t = from; t < to; t += step) {
        const int o = offsetAt(t);
        low = qMin(low, o);
        high = qMax(high, o);
    }
}

QString localText(int64_t dayNumber, int h, int m, int s)
{
    const QDate date = QDate(1970, 1, 1).addDays(dayNumber);
    return date.toString(QStringLiteral("yyyy/MM/dd ")) + QTime(h, m, s).toString(QStringLiteral("hh:mm:ss"));
}

// A span of local time [wall, wall + length) whose every second exists once,
// with the single offset found; confirmed by QDateTime at both ends.
bool settle(int64_t dayNumber, int firstHour, int64_t length, int64_t &base)
{
    const int64_t wall = dayNumber * kDay + firstHour * kHour;
    // Every instant whose local time falls in the span lies within
    // kMaxOffset of it; the offsets found there bound where it can be.
    int low, high;
    offsetRange(wall - kMaxOffset, wall + length + kMaxOffset, kStep, low, high);
    int offset;
    if (!constantOffset(wall - high, wall + length - 1 - low, kStep, offset))
        return false;
    base = wall - offset;
    const int last = int(length - 1);
    const int lastHour = firstHour + last / int(kHour);
    const uint32_t first = LocalTimeCache::convertWithQt(localText(dayNumber, firstHour, 0, 0));
    const uint32_t end = LocalTimeCache::convertWithQt(
        localText(dayNumber, lastHour, (last % int(kHour)) / 60, last % 60));
    return int64_t(first) == base && int64_t(end) == base + last;
}

} // namespace

LocalTimeCache::LocalTimeCache()
{
    for (Entry &e : m_days)
        e = Entry{-1, 0, Unknown};
    for (Entry &e : m_hours)
        e = Entry{-1, 0, Unknown};
}

uint32_t LocalTimeCache::convertWithQt(const QString &text)
{
    return QDateTime::fromString(text, timePattern()).toTime_t();
}

uint32_t LocalTimeCache::slow(const char *text)
{
    return convertWithQt(QString::fromLatin1(text, 19));
}

bool LocalTimeCache::cached(int64_t dayNumber, int h) const
{
    const Entry &d = m_days[uint64_t(dayNumber) % kDaySlots];
    if (d.key != dayNumber)
        return false;
    return d.state == Fast || m_hours[uint64_t(dayNumber * 24 + h) % kHourSlots].key == dayNumber * 24 + h;
}

LocalTimeCache::Entry &LocalTimeCache::day(int64_t dayNumber)
{
    Entry &e = m_days[uint64_t(dayNumber) % kDaySlots];
    if (e.key != dayNumber) {
        ++m_settled;
        e.key = dayNumber;
        e.state = settle(dayNumber, 0, kDay, e.base) ? Fast : Slow;
    }
    return e;
}

LocalTimeCache::Entry &LocalTimeCache::hour(int64_t dayNumber, int h)
{
    const int64_t key = dayNumber * 24 + h;
    Entry &e = m_hours[uint64_t(key) % kHourSlots];
    if (e.key != key) {
        ++m_settled;
        e.key = key;
        e.state = settle(dayNumber, h, kHour, e.base) ? Fast : Slow;
    }
    return e;
}

int64_t LocalTimeCache::knownHour(const char *text, int64_t base)
{
    memcpy(m_hourText, text, kHourTextLength);
    m_hourBase = base;
    m_hourKnown = true;
    return base;
}

uint32_t LocalTimeCache::convert(const char *text)
{
    const int minute = digits(text + 14, 2);
    const int second = digits(text + 17, 2);
    // Times mostly follow each other within the hour of the one before.
    if (m_hourKnown && minute <= 59 && second <= 59 && memcmp(text, m_hourText, kHourTextLength) == 0) {
        ++m_conversions;
        return uint32_t(m_hourBase + minute * 60 + second);
    }
    const int year = digits(text, 4);
    const int month = digits(text + 5, 2);
    const int dayOfMonth = digits(text + 8, 2);
    const int h = digits(text + 11, 2);
    // A field out of its range, or a year that no offset can bring into the
    // 32-bit range, is no time at all; answering that here keeps a file of
    // such lines as quick to read as a good one.
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > daysInMonth(year, month) || h > 23
        || minute > 59 || second > 59 || year < 1969 || year > 2106)
        return SampleRecord::kInvalidTime;
    // Years at the ends of the 32-bit range are rare; QDateTime decides those.
    if (year < 1971 || year > 2105)
        return slow(text);

    const int64_t dayNumber = daysFromCivil(year, month, dayOfMonth);
    ++m_conversions;
    // Settling a day or an hour costs about a hundred QDateTime calls; when
    // the times jump around so much that this does not pay off, ask
    // QDateTime directly.
    if (m_settled > 16 && m_settled * kSettleCost > m_conversions && !cached(dayNumber, h))
        return slow(text);
    const Entry &d = day(dayNumber);
    if (d.state == Fast)
        return uint32_t(knownHour(text, d.base + h * kHour) + minute * 60 + second);
    const Entry &hr = hour(dayNumber, h);
    if (hr.state == Fast)
        return uint32_t(knownHour(text, hr.base) + minute * 60 + second);
    return slow(text);
}
