#pragma once

#include <QString>

#include <cstdint>

// A time as the program shows it: local time in pattern, or "无效时间" for
// the time a record gets when its time line does not read (which as a date
// would pass for a moment in 2106).
QString localTimeText(uint32_t seconds, const QString &pattern = QStringLiteral("yyyy-MM-dd hh:mm:ss"));

// Seconds since the epoch as local "yyyy-MM-dd hh:mm:ss", exactly as
// QDateTime::fromSecsSinceEpoch(t).toString("yyyy-MM-dd hh:mm:ss") gives it,
// at a fraction of the cost: the UTC offset is asked of QDateTime once per
// quarter of an hour of times, and the rest is arithmetic. A quarter whose
// two ends have different offsets (a daylight-saving change lies inside)
// is left to QDateTime.
//
// Not thread-safe; one per user.
class LocalTimeFormatter
{
public:
    static constexpr int kLength = 19;

    // Writes kLength characters, no terminator; seconds is a time a record
    // can have (not SampleRecord::kInvalidTime).
    void write(uint32_t seconds, char *out);
    // As localTimeText: "无效时间" for SampleRecord::kInvalidTime.
    QString text(uint32_t seconds);

private:
    static constexpr uint32_t kBlock = 900;
    bool settle(uint32_t block);

    uint32_t m_block = 0xFFFFFFFFu;
    bool m_fast = false;
    int m_offset = 0;
};
