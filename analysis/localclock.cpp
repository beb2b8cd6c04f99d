#include "analysis/localclock.h"

#include <QDateTime>

int utcOffset(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t).offsetFromUtc();
}

ClockWindow clockWindowAt(qint64 t, int length)
{
    ClockWindow w;
    w.offset = utcOffset(t);
    w.start = floorDiv(t + w.offset, length) * length - w.offset;
    w.end = w.start + length;
    return w;
}

qint64 nextOffsetChange(qint64 from, qint64 to)
{
    const int offset = utcOffset(from);
    if (to <= from || utcOffset(to - 1) == offset)
        return to;
    // A change lies in (from, to - 1]: halve the range around it.
    qint64 same = from;
    qint64 changed = to - 1;
    while (changed - same > 1) {
        const qint64 middle = same + (changed - same) / 2;
        (utcOffset(middle) == offset ? same : changed) = middle;
    }
    return changed;
}
