#include "realtime/pollfaults.h"

namespace {

QString faultSummary(const QString &what, const PollFaultTally &tally, const QDateTime &now)
{
    if (tally.count == 0)
        return QString();
    // An unattended recording runs for days: a bare time of day would
    // pass a fault of last week for one of this morning.
    const QString format = tally.last.date() == now.date() ? QStringLiteral("hh:mm:ss")
                                                           : QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QStringLiteral("%1 %2 次，最近 %3").arg(what).arg(tally.count).arg(tally.last.toString(format));
}

} // namespace

QString pollFaultSummary(const PollFaultTally &tally, const QDateTime &now)
{
    return faultSummary(QStringLiteral("通讯错误"), tally, now);
}

QString saveFaultSummary(const PollFaultTally &tally, const QDateTime &now)
{
    return faultSummary(QStringLiteral("保存错误"), tally, now);
}
