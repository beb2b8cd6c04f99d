#include "realtime/pollfaults.h"

#include <QStringList>

namespace {

// An unattended recording runs for days: a bare time of day would pass a
// fault of last week for one of this morning.
QString lastFaultText(const PollFaultTally &tally, const QDateTime &now)
{
    const QString format = tally.last.date() == now.date() ? QStringLiteral("hh:mm:ss")
                                                           : QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QStringLiteral("最近 ") + tally.last.toString(format);
}

} // namespace

QString pollFaultSummary(const PollFaultTally &tally, const QDateTime &now)
{
    QStringList parts;
    if (tally.count > 0)
        parts << QStringLiteral("通讯错误 %1 次").arg(tally.count);
    if (tally.slotCount > 0 && tally.missed > 0)
        parts << QStringLiteral("漏采 %1 次（%2%）").arg(tally.missed).arg(qRound(100.0 * tally.missed / tally.slotCount));
    if (tally.count > 0)
        parts << lastFaultText(tally, now);
    return parts.join(QStringLiteral("，"));
}

QString saveFaultSummary(const PollFaultTally &tally, const QDateTime &now)
{
    if (tally.count == 0)
        return QString();
    return QStringLiteral("保存错误 %1 次，").arg(tally.count) + lastFaultText(tally, now);
}
