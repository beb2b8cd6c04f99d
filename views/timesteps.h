#pragma once

#include <QList>

#include <cstdint>

// One step of a time axis, counted on the local clock and calendar: seconds
// of the wall clock (every count divides a day, so steps restart at each
// midnight), whole days (weeks start on Monday), or calendar months (years
// are twelve of them). A count of 0 is no step at all.
struct TimeStep {
    enum Unit { Seconds, Days, Months };

    Unit unit = Seconds;
    int count = 0;

    bool isNull() const { return count <= 0; }
    // The least time the step can take: a month is taken as 28 days. (A day
    // is taken as 24 hours: the hour a clock change takes from it is small
    // beside the room left between labels.)
    int64_t shortestSeconds() const;
    bool operator==(const TimeStep &other) const { return unit == other.unit && count == other.count; }
};

// The finest step the labels of a time format tell apart: a second, a
// minute, or a day for a date alone.
TimeStep timeFormatResolution(int timeformat);

// The major step for span seconds shown in at most maxMajor steps: the finest
// of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, 1, 2,
// 7 days, 1, 2, 3, 6 months and 1, 2, 5, 10, ... years that is no finer than
// finest. A longer span gets the coarsest.
TimeStep majorTimeStep(double span, int maxMajor, const TimeStep &finest);

// The finest step of that list that cuts major into at most maxMinor equal
// parts (a month into weeks from its first day); null when none does.
TimeStep minorTimeStep(const TimeStep &major, int maxMinor);

struct TimeTicks {
    QList<double> major;
    QList<double> minor;
};

// The instants within from..to (seconds since the epoch) at which the local
// clock reads a whole multiple of the step: midnights for days, the first of
// the month for months. Minor ticks run from each major one to the next. A
// reading the clock skips in spring gets no tick (a skipped midnight gets
// one where the clock resumes); one it shows twice in autumn gets a tick the
// first time only, so no two ticks read alike.
TimeTicks timeTicks(double from, double to, const TimeStep &major, const TimeStep &minor);
