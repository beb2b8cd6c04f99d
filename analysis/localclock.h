#pragma once

#include <QtGlobal>

// The local clock of the reports: windows of it and where its UTC offset
// changes.

inline qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The local clock's offset from UTC at t, in seconds.
int utcOffset(qint64 t);

// A fixed window of the local clock: [start, end) in seconds since the
// epoch, and the clock's UTC offset inside it. Clock changes fall on window
// boundaries, so one offset holds for the whole window.
struct ClockWindow {
    qint64 start = 0;
    qint64 end = 0;
    int offset = 0;

    bool contains(qint64 t) const { return t >= start && t < end; }
};

ClockWindow clockWindowAt(qint64 t, int length);

// The first second after from, up to to, at which the offset is no longer
// the one at from; to when there is none before it.
qint64 nextOffsetChange(qint64 from, qint64 to);
