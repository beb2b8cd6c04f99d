#include "comm/pollgrid.h"

namespace {
const qint64 kClockSetMs = 2000;
}

PollGrid::PollGrid(qint64 periodMs, qint64 wallMs)
    : periodMs(qMax<qint64>(periodMs, 1))
    , wallAtStart(wallMs)
{
}

qint64 PollGrid::nextSlot(qint64 slot, qint64 elapsedMs) const
{
    const qint64 firstNotPassed = elapsedMs <= 0 ? 0 : (elapsedMs + periodMs - 1) / periodMs;
    return qMax(slot + 1, firstNotPassed);
}

uint32_t PollGrid::slotTime(qint64 slot, qint64 elapsedMs, qint64 wallMs)
{
    const qint64 wallAtSlot = wallMs - (elapsedMs - slotStart(slot));
    if (qAbs(wallAtSlot - (wallAtStart + slotStart(slot))) > kClockSetMs)
        wallAtStart = wallAtSlot - slotStart(slot);
    return uint32_t((wallAtStart + slotStart(slot)) / 1000);
}
