#pragma once

#include "data/samplerecord.h"

#include <QString>

#include <cstdint>

// The data files hold local wall-clock times. Converting them through
// QDateTime costs microseconds per line, far more than the rest of the
// parse, so this cache works out the UTC offset once per day (or, on a day
// with a daylight-saving change, once per hour) and then converts by
// arithmetic. Every cached offset is checked against QDateTime first, and
// any day or hour where a local time could be missing or repeated is left to
// QDateTime itself, so the results are exactly those of
// QDateTime::fromString(text, "yyyy/MM/dd hh:mm:ss").toTime_t().
//
// Not thread-safe; use one per parse. Memory stays fixed whatever the input.
class LocalTimeCache
{
public:
    LocalTimeCache();

    // text: 19 characters "yyyy/MM/dd hh:mm:ss" with a digit at every digit
    // position (the caller checks the shape, not the ranges).
    uint32_t convert(const char *text);

    // What QDateTime makes of an already simplified time text.
    static uint32_t convertWithQt(const QString &text);

private:
    enum State : int8_t { Unknown, Fast, Slow };
    struct Entry {
        int64_t key;
        int64_t base; // UTC seconds of the first local second of the span
        State state;
    };
    static constexpr int kDaySlots = 256;
    static constexpr int kHourSlots = 64;

    bool cached(int64_t dayNumber, int h) const;
    Entry &day(int64_t dayNumber);
    Entry &hour(int64_t dayNumber, int h);
    uint32_t slow(const char *text);
    // Remembers the hour of text ("yyyy/MM/dd hh") as one whose seconds all
    // follow base; returns base.
    int64_t knownHour(const char *text, int64_t base);

    static constexpr int kHourTextLength = 13;

    static constexpr int64_t kSettleCost = 100;

    Entry m_days[kDaySlots];
    Entry m_hours[kHourSlots];
    char m_hourText[kHourTextLength] = {};
    int64_t m_hourBase = 0;
    bool m_hourKnown = false;
    int64_t m_conversions = 0;
    int64_t m_settled = 0;
};
