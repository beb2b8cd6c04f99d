#pragma once

#include <QDateTime>
#include <QString>

// The failed polls of one acquisition that goes on through them, or the
// failed writes of its daily files.
struct PollFaultTally {
    int count = 0;
    QDateTime last;

    void add(const QDateTime &when)
    {
        ++count;
        last = when;
    }
};

// "通讯错误 3 次，最近 14:03:12": how many polls failed and when the last
// one did, with its date when that was not today; empty without a fault.
QString pollFaultSummary(const PollFaultTally &tally, const QDateTime &now);
// "保存错误 2 次，最近 14:03:12", the same for records that could not be
// written to their file.
QString saveFaultSummary(const PollFaultTally &tally, const QDateTime &now);
