#pragma once

#include <QVector>
#include <QtGlobal>

#include <vector>

// How the sampling thread shares one link among its meters, slot by slot:
// which meters it polls, in which order, and how long each may take. With
// several meters on a line, one that stops answering must not cost the
// others their polls: it is polled after them, its wait is cut to what is
// left of the slot, and after three failures in a row it is polled only
// every 2nd, 4th, 8th … slot (at least once a minute) until it answers
// again. A meter alone on its link has nobody to make room for and is
// polled every slot with the links' full time-outs.

constexpr int kFailuresBeforeBackoff = 3;
constexpr qint64 kLongestBackoffMs = 60000;
// What a meter that answered is expected to need beyond twice its last
// exchange: the jitter of a busy machine or gateway.
constexpr qint64 kExchangeMarginMs = 50;

// What the thread knows of one meter between slots.
struct MeterStanding {
    // Polls of the meter that failed since it last answered.
    int failuresInRow = 0;
    // The first slot in which it is polled again.
    qint64 dueSlot = 0;
    // How long its last answered poll took; -1 before it answered once.
    qint64 exchangeMs = -1;

    bool operator==(const MeterStanding &o) const
    {
        return failuresInRow == o.failuresInRow && dueSlot == o.dueSlot && exchangeMs == o.exchangeMs;
    }
};

// The slots from one poll of a meter to its next after failuresInRow
// failures in a row, with meterCount meters on the link and periodMs
// between slots: 1 before the third failure, then 2, 4, 8 …, never more
// than a minute of slots; always 1 for a meter alone on its link.
qint64 backoffSlots(int failuresInRow, qint64 periodMs, int meterCount);

// The standing after the meter's poll in slot, which it answered or not
// after tookMs. A poll the link lost (a link fault) is no poll of the
// meter's and leaves its standing as it was.
MeterStanding afterPoll(const MeterStanding &before, qint64 slot, bool answered, qint64 tookMs, qint64 periodMs,
                        int meterCount);

// The meters of those taking part (skip: left out for good) that are due
// in slot, in the order they are polled: the ones whose last poll was
// answered, or which have not been polled yet, first, then the failing
// ones, each group in the order of the settings.
QVector<int> slotOrder(const std::vector<MeterStanding> &meters, const std::vector<bool> &skip, qint64 slot);

// The time a meter is expected to need for a poll: twice its last answered
// one and a margin, or before that an even share of what a slot offers.
qint64 meterNeedMs(const MeterStanding &meter, qint64 periodMs, int meterCount);

// The longest a poll may take: what is left of the slot (slotLeftMs) once
// the meters still to come in it have what they need (laterNeedMs), but
// never less than the meter's own need, so that an overloaded line still
// reads every meter. -1, no limit beyond the links' own time-outs, for a
// meter alone on its link.
qint64 pollBudgetMs(qint64 slotLeftMs, qint64 laterNeedMs, qint64 ownNeedMs, int meterCount);

// What is left of the slot that ends at slotEndMs at nowMs, less a guard
// that keeps a poll that uses all of it from ending after the next slot
// began (which would skip that slot for every meter).
qint64 slotLeftMs(qint64 slotEndMs, qint64 nowMs, qint64 periodMs);

// Whether a failed poll's code says the link itself failed (the port went,
// the connection was lost, a request could not be sent), which the link is
// opened again for, rather than the meter's answer.
bool isLinkFault(int code);
