#include "data/localtimetext.h"

#include "data/samplerecord.h"

#include <QDateTime>

#include <cstring>

namespace {

int offsetAt(uint32_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).offsetFromUtc();
}

void twoDigits(char *out, int value)
{
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

// Days since 1970-01-01 to the proleptic Gregorian calendar.
void civilFromDays(int64_t days, int &year, int &month, int &day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

QString localTimeText(uint32_t seconds, const QString &pattern)
{
    if (seconds == SampleRecord::kInvalidTime)
        return QStringLiteral("无效时间");
    return QDateTime::fromSecsSinceEpoch(seconds).toString(pattern);
}

bool LocalTimeFormatter::settle(uint32_t block)
{
    if (block != m_block) {
        m_block = block;
        const uint32_t first = block * kBlock;
        const uint32_t last = first + (kBlock - 1);
        m_offset = offsetAt(first);
        // The last quarter of the 32-bit range would wrap around.
        m_fast = last > first && offsetAt(last) == m_offset;
    }
    return m_fast;
}

void LocalTimeFormatter::write(uint32_t seconds, char *out)
{
    if (!settle(seconds / kBlock)) {
        const QByteArray text = QDateTime::fromSecsSinceEpoch(seconds)
                                    .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                                    .toLatin1()
                                    .leftJustified(kLength, ' ', true);
        memcpy(out, text.constData(), kLength);
        return;
    }
    const int64_t local = int64_t(seconds) + m_offset;
    int64_t days = local / 86400;
    int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int year, month, day;
    // 32-bit times with any offset fall in the years 1969 to 2106.
    civilFromDays(days, year, month, day);
    twoDigits(out, year / 100);
    twoDigits(out + 2, year % 100);
    out[4] = '-';
    twoDigits(out + 5, month);
    out[7] = '-';
    twoDigits(out + 8, day);
    out[10] = ' ';
    twoDigits(out + 11, int(rest / 3600));
    out[13] = ':';
    twoDigits(out + 14, int(rest / 60 % 60));
    out[16] = ':';
    twoDigits(out + 17, int(rest % 60));
}

QString LocalTimeFormatter::text(uint32_t seconds)
{
    if (!SampleRecord::isValidTime(seconds))
        return localTimeText(seconds);
    char buffer[kLength];
    write(seconds, buffer);
    return QString::fromLatin1(buffer, kLength);
}
