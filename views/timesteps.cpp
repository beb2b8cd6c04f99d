#include "views/timesteps.h"

#include "views/timescaledraw.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

constexpr int64_t kDay = 86400;
// The Julian day of 1970-01-01. Julian day 0 was a Monday, so days counted
// from it in sevens start their weeks on Mondays.
constexpr int64_t kEpochDay = 2440588;
// As many ticks as Qwt's own engines make at most, and no more minor parts
// than an hour has minutes, for hand-edited tick counts far beyond what an
// axis can show.
constexpr int kMaxTicks = 10000;
constexpr int kMaxParts = 60;
// Axis values beyond about a thousand years from 1970 (a panner dragged far
// off) get no ticks rather than calendar arithmetic out of range.
constexpr double kFarAway = 3.2e10;

const TimeStep kSteps[] = {
    {TimeStep::Seconds, 1},     {TimeStep::Seconds, 2},     {TimeStep::Seconds, 5},     {TimeStep::Seconds, 10},
    {TimeStep::Seconds, 15},    {TimeStep::Seconds, 30},    {TimeStep::Seconds, 60},    {TimeStep::Seconds, 120},
    {TimeStep::Seconds, 300},   {TimeStep::Seconds, 600},   {TimeStep::Seconds, 900},   {TimeStep::Seconds, 1800},
    {TimeStep::Seconds, 3600},  {TimeStep::Seconds, 7200},  {TimeStep::Seconds, 10800}, {TimeStep::Seconds, 21600},
    {TimeStep::Seconds, 43200}, {TimeStep::Days, 1},        {TimeStep::Days, 2},        {TimeStep::Days, 7},
    {TimeStep::Months, 1},      {TimeStep::Months, 2},      {TimeStep::Months, 3},      {TimeStep::Months, 6},
    {TimeStep::Months, 12},     {TimeStep::Months, 24},     {TimeStep::Months, 60},     {TimeStep::Months, 120},
    {TimeStep::Months, 240},    {TimeStep::Months, 600},    {TimeStep::Months, 1200},
};

int64_t floorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t floorMod(int64_t a, int64_t b)
{
    return a - floorDiv(a, b) * b;
}

// Seconds the local clock is ahead of UTC at instant t.
int offsetAt(int64_t t)
{
    return QDateTime::fromSecsSinceEpoch(t).offsetFromUtc();
}

// A wall reading is the local clock's date and time as seconds since
// 1970-01-01 00:00 of that clock.
QDate dateOfWall(int64_t wall)
{
    return QDate::fromJulianDay(floorDiv(wall, kDay) + kEpochDay);
}

int64_t wallOfDate(const QDate &date)
{
    return (date.toJulianDay() - kEpochDay) * kDay;
}

int64_t alignDown(int64_t wall, const TimeStep &step)
{
    switch (step.unit) {
    case TimeStep::Seconds:
        return wall - floorMod(wall, step.count);
    case TimeStep::Days: {
        const int64_t day = floorDiv(wall, kDay) + kEpochDay;
        return (day - floorMod(day, step.count) - kEpochDay) * kDay;
    }
    case TimeStep::Months: {
        const QDate date = dateOfWall(wall);
        int64_t month = int64_t(date.year()) * 12 + date.month() - 1;
        month -= floorMod(month, step.count);
        return wallOfDate(QDate(int(floorDiv(month, 12)), int(floorMod(month, 12)) + 1, 1));
    }
    }
    return wall;
}

int64_t advance(int64_t wall, const TimeStep &step)
{
    switch (step.unit) {
    case TimeStep::Seconds:
        return wall + step.count;
    case TimeStep::Days:
        return wall + step.count * kDay;
    case TimeStep::Months:
        return wallOfDate(dateOfWall(wall).addMonths(step.count));
    }
    return wall;
}

struct Instant {
    int64_t time;
    int offset;
    // The clock never read the wall time asked for; time is where it
    // jumped past it.
    bool skipped;
};

// The instant at which the local clock reads wall. offset is the one
// expected: the previous tick's, so that of a reading shown twice the first
// is taken unless the previous tick came after it.
Instant instantOfWall(int64_t wall, int offset)
{
    if (offsetAt(wall - offset) == offset)
        return {wall - offset, offset, false};
    const int early = offsetAt(wall - kDay);
    const int late = offsetAt(wall + kDay);
    for (const int candidate : {early, late}) {
        if (offsetAt(wall - candidate) == candidate)
            return {wall - candidate, candidate, false};
    }
    // Skipped forward: the clock reads early until some instant in lo..hi
    // and late from then on.
    int64_t lo = wall - late;
    int64_t hi = wall - early;
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        (offsetAt(mid) == early ? lo : hi) = mid;
    }
    return {hi, late, true};
}

// How many equal parts of the clock minor cuts major into; 0 when it does
// not cut it evenly.
int64_t partsOf(const TimeStep &major, const TimeStep &minor)
{
    if (major.unit == TimeStep::Months && minor.unit == TimeStep::Months)
        return major.count % minor.count == 0 ? major.count / minor.count : 0;
    if (major.unit == TimeStep::Months || minor.unit == TimeStep::Months) {
        // Weeks from the first of the month; the last one is cut short.
        const bool weeksOfMonth = major == TimeStep{TimeStep::Months, 1} && minor == TimeStep{TimeStep::Days, 7};
        return weeksOfMonth ? 5 : 0;
    }
    const int64_t whole = major.shortestSeconds();
    const int64_t part = minor.shortestSeconds();
    return whole % part == 0 ? whole / part : 0;
}

} // namespace

int64_t TimeStep::shortestSeconds() const
{
    switch (unit) {
    case Seconds:
        return count;
    case Days:
        return count * kDay;
    case Months:
        return count * 28 * kDay;
    }
    return count;
}

TimeStep timeFormatResolution(int timeformat)
{
    const QString pattern = timeLabelPattern(timeformat);
    if (pattern.contains(QLatin1String("ss")))
        return {TimeStep::Seconds, 1};
    if (pattern.contains(QLatin1String("mm")))
        return {TimeStep::Seconds, 60};
    return {TimeStep::Days, 1};
}

TimeStep majorTimeStep(double span, int maxMajor, const TimeStep &finest)
{
    const double least = std::fabs(span) / std::max(maxMajor, 1);
    for (const TimeStep &step : kSteps) {
        if (step.shortestSeconds() >= finest.shortestSeconds() && double(step.shortestSeconds()) >= least)
            return step;
    }
    return kSteps[std::size(kSteps) - 1];
}

TimeStep minorTimeStep(const TimeStep &major, int maxMinor)
{
    for (const TimeStep &step : kSteps) {
        const int64_t parts = partsOf(major, step);
        if (parts >= 2 && parts <= std::min(maxMinor, kMaxParts))
            return step;
    }
    return {};
}

TimeTicks timeTicks(double from, double to, const TimeStep &major, const TimeStep &minor)
{
    TimeTicks ticks;
    if (major.isNull() || !(from < to) || from < -kFarAway || to > kFarAway)
        return ticks;
    const auto first = int64_t(std::ceil(from));
    const auto last = int64_t(std::floor(to));

    int offset = offsetAt(first);
    int64_t previous = std::numeric_limits<int64_t>::min();
    // Places the tick at the local reading wall; false once past the end.
    auto place = [&](int64_t wall, QList<double> &list) {
        if (ticks.major.size() + ticks.minor.size() >= kMaxTicks)
            return false;
        const Instant at = instantOfWall(wall, offset);
        offset = at.offset;
        const bool kept = !at.skipped || floorMod(wall, kDay) == 0;
        if (!kept || at.time <= previous)
            return true;
        if (at.time > last)
            return false;
        previous = at.time;
        if (at.time >= first)
            list.append(double(at.time));
        return true;
    };

    int64_t wall = alignDown(first + offset, major);
    while (place(wall, ticks.major)) {
        const int64_t next = advance(wall, major);
        if (!minor.isNull()) {
            for (int64_t at = advance(wall, minor); at < next; at = advance(at, minor)) {
                if (!place(at, ticks.minor))
                    return ticks;
            }
        }
        wall = next;
    }
    return ticks;
}
