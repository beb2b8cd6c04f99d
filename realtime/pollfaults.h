#pragma once

#include <QDateTime>
#include <QString>

// The failed polls of one acquisition that goes on through them, and the
// slots of its poll grid so far with those that brought no sample (failed,
// or skipped while a fault, a reconnect or a long exchange went on); or the
// failed writes of its daily files.
struct PollFaultTally {
    int count = 0;
    QDateTime last;
    int slotCount = 0;
    int missed = 0;

    void add(const QDateTime &when)
    {
        ++count;
        last = when;
    }
};

// "通讯错误 39 次，漏采 190 次（29%），最近 20:46:02": how many polls failed,
// how many slots brought no sample (once slots are counted) and when the
// last poll failed, with its date when that was not today; empty without a
// fault or a missed slot.
QString pollFaultSummary(const PollFaultTally &tally, const QDateTime &now);
// "保存错误 2 次，最近 14:03:12", the same for records that could not be
// written to their file.
QString saveFaultSummary(const PollFaultTally &tally, const QDateTime &now);
