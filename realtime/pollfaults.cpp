#include "realtime/pollfaults.h"

QString pollFaultSummary(const PollFaultTally &tally, const QDateTime &now)
{
    if (tally.count == 0)
        return QString();
    // An unattended recording runs for days: a bare time of day would
    // pass a fault of last week for one of this morning.
    const QString format = tally.last.date() == now.date() ? QStringLiteral("hh:mm:ss")
                                                           : QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QStringLiteral("通讯错误 %1 次，最近 %2").arg(tally.count).arg(tally.last.toString(format));
}
