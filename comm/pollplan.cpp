#include "comm/pollplan.h"

#include "comm/comerror.h"

qint64 backoffSlots(int failuresInRow, qint64 periodMs, int meterCount)
{
    if (meterCount <= 1 || failuresInRow < kFailuresBeforeBackoff)
        return 1;
    const qint64 longest = qMax<qint64>(1, kLongestBackoffMs / qMax<qint64>(periodMs, 1));
    // 2 after the third failure, doubling with each further one; the shift
    // stays small however long a meter stays away.
    const int doublings = qMin(failuresInRow - kFailuresBeforeBackoff + 1, 30);
    return qMin(qint64(1) << doublings, longest);
}

MeterStanding afterPoll(const MeterStanding &before, qint64 slot, bool answered, qint64 tookMs, qint64 periodMs,
                        int meterCount)
{
    MeterStanding after = before;
    if (answered) {
        after.failuresInRow = 0;
        after.exchangeMs = tookMs;
    } else {
        ++after.failuresInRow;
    }
    after.dueSlot = slot + backoffSlots(after.failuresInRow, periodMs, meterCount);
    return after;
}

QVector<int> slotOrder(const std::vector<MeterStanding> &meters, const std::vector<bool> &skip, qint64 slot)
{
    QVector<int> order;
    for (const bool failing : {false, true}) {
        for (int m = 0; m < int(meters.size()); ++m) {
            const MeterStanding &meter = meters[size_t(m)];
            if ((meter.failuresInRow > 0) == failing && !skip[size_t(m)] && meter.dueSlot <= slot)
                order.append(m);
        }
    }
    return order;
}

namespace {

// The end of a slot that no poll may use: the thread's own turn between
// two slots.
qint64 slotGuardMs(qint64 periodMs)
{
    return qMin<qint64>(50, periodMs / 20);
}

} // namespace

qint64 meterNeedMs(const MeterStanding &meter, qint64 periodMs, int meterCount)
{
    if (meter.exchangeMs >= 0)
        return 2 * meter.exchangeMs + kExchangeMarginMs;
    return (periodMs - slotGuardMs(periodMs)) / qMax(meterCount, 1);
}

qint64 pollBudgetMs(qint64 slotLeftMs, qint64 laterNeedMs, qint64 ownNeedMs, int meterCount)
{
    if (meterCount <= 1)
        return -1;
    return qMax(slotLeftMs - laterNeedMs, ownNeedMs);
}

qint64 slotLeftMs(qint64 slotEndMs, qint64 nowMs, qint64 periodMs)
{
    return qMax<qint64>(0, slotEndMs - slotGuardMs(periodMs) - nowMs);
}

bool isLinkFault(int code)
{
    switch (code) {
    case ComOpenFailed:
    case ComPortNotOpen:
    case ComSendFailed:
    case ComConnectFailed:
    case ComNotConnected:
        return true;
    default:
        return false;
    }
}
