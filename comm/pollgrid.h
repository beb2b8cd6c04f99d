#pragma once

#include <QtGlobal>

#include <cstdint>

// When the polls of an acquisition that goes on through faults start: slot k
// at the first poll's start + k × the interval, counted on a monotonic clock.
// A poll takes its slot or none: slots that pass during a fault, a reconnect
// or a long exchange are skipped (and counted as missed), never made up by
// polls in quick succession. Each poll is stamped with its slot's time, so at
// an interval of a second or more no two polls share a second, however long
// each exchange takes.
class PollGrid
{
public:
    // The first poll starts at 0 on the monotonic clock, when the wall clock
    // reads wallMs (milliseconds since the epoch).
    PollGrid(qint64 periodMs, qint64 wallMs);

    // Where slot starts on the monotonic clock.
    qint64 slotStart(qint64 slot) const { return slot * periodMs; }
    // The slot of the poll after the one of slot, which ended at elapsedMs:
    // the first whose start has not passed.
    qint64 nextSlot(qint64 slot, qint64 elapsedMs) const;
    // The time to stamp the poll of slot with, in whole seconds since the
    // epoch, when it starts at elapsedMs while the wall clock reads wallMs.
    // The stamps follow the wall clock when it is set (by more than two
    // seconds); below that, a difference is the reading's own jitter.
    uint32_t slotTime(qint64 slot, qint64 elapsedMs, qint64 wallMs);

private:
    qint64 periodMs;
    // The wall clock at slot 0, as the latest setting of the clock has it.
    qint64 wallAtStart;
};
