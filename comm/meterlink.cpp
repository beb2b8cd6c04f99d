#include "comm/meterlink.h"

#include "comm/client.h"
#include "comm/linkpolicy.h"
#include "comm/master.h"
#include "comm/modbusframe.h"

MeterLink::MeterLink(const ComConfig &settings)
    : settings(settings)
{
}

MeterLink::~MeterLink() = default;

void MeterLink::setPollBudget(qint64 ms)
{
    budgetMs = ms;
    budgetTimer.start();
}

int MeterLink::replyTimeoutMs() const
{
    if (budgetMs < 0)
        return kReplyTimeoutMs;
    return int(qBound<qint64>(0, budgetMs - budgetTimer.elapsed(), kReplyTimeoutMs));
}

void MeterLink::reportBytes(int n)
{
    emit ComMessage(hexReport(buffer, qMin(n, static_cast<int>(sizeof buffer))));
}

std::unique_ptr<MeterLink> makeMeterLink(const ComConfig &settings)
{
    if (settings.comtype != 0)
        return std::make_unique<Client>(settings);
    return std::make_unique<Master>(settings);
}
