#include "comm/samplingthread.h"

#include "comm/linkpolicy.h"
#include "comm/meterlink.h"
#include "comm/modbusframe.h"
#include "comm/pollgrid.h"
#include "comm/pollplan.h"
#include "realtime/metersession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <algorithm>
#include <cstring>

SamplingThread::SamplingThread(QObject *parent)
    : QThread(parent)
{
    qRegisterMetaType<SamplingThread::ComErrType>();
    qRegisterMetaType<SamplingThread::ComErrType>("ComErrType");
}

SamplingThread::~SamplingThread()
{
    stop();
    wait();
}

void SamplingThread::stop()
{
    stopRequested = true;
}

QString SamplingThread::errorText(int kind, const ComConfig &settings)
{
    switch (kind) {
    case ComOpenFailed:
        return QCoreApplication::translate("MainWindow", "串口%1打开失败").arg(fieldText(settings.com));
    case ComPortNotOpen:
        return QCoreApplication::translate("MainWindow", "串口未打开");
    case ComSendFailed:
        return QCoreApplication::translate("MainWindow", "发送数据失败");
    case ComTimeout:
        return QCoreApplication::translate("MainWindow", "通讯超时");
    case ComLengthError:
        return QCoreApplication::translate("MainWindow", "接收的数据包长度有误");
    case ComReceiveError:
        return QCoreApplication::translate("MainWindow", "接收数据失败");
    case ComCrcError:
        return QCoreApplication::translate("MainWindow", "CRC校验错误");
    case ComConnectFailed: {
        // With two meters, the text alone does not tell which one failed.
        const QString address = hostPortText(fieldText(settings.IP));
        const QString text = QCoreApplication::translate("MainWindow", "主机连接失败");
        return address.isEmpty() ? text : text + QLatin1Char('\n') + address;
    }
    case ComNotConnected:
        return QCoreApplication::translate("MainWindow", "尚未连接主机");
    default:
        return QCoreApplication::translate("MainWindow", "通讯错误");
    }
}

bool SamplingThread::waitUntil(qint64 deadlineMs, const QElapsedTimer &clock)
{
    // The stop request is watched throughout.
    for (qint64 now = clock.elapsed(); now < deadlineMs; now = clock.elapsed()) {
        if (stopRequested || finishRequested)
            return false;
        msleep(static_cast<unsigned long>(qMin<qint64>(deadlineMs - now, 20)));
    }
    return true;
}

void SamplingThread::run()
{
    // stopRequested is not cleared here: a stop() that comes between start()
    // and the first line of run() would be lost, and the caller, who waits
    // without a time limit, would wait for ever. The flag starts false and
    // each object runs once.

    const int meterCount = int(sessions.size());
    // Several meters share the slots of the grid, as the polls of a run that
    // goes on through faults do.
    const bool onGrid = keepAcquiring || meterCount > 1;
    // The meter being polled, whose frames the link reports.
    int polled = -1;
    // Made here, so that the link and its port or socket live in this thread.
    const std::unique_ptr<MeterLink> link = linkFactory ? linkFactory(settings) : makeMeterLink(settings);
    connect(link.get(), &MeterLink::ComMessage, [this, &polled](const QString &frame) { emit frameReported(polled, frame); });
    // Going on through faults, or with other meters to poll, Stop must wait
    // neither for a poll's remaining attempts nor for a connection attempt.
    if (onGrid)
        link->setCancelFlag(&stopRequested);
    int result = link->open();
    bool linkOpen = result == ComOk;
    // Until the link opens, and again after its fault, its opening is news.
    bool linkDown = !linkOpen;
    if (linkOpen)
        emit linkOpened();
    if (!linkOpen && !keepAcquiring) {
        // An open that a stop cut short failed for no fault of the link's.
        if (!(onGrid && stopRequested))
            emit warning(-1, static_cast<ComErrType>(result));
        stopRequested = true;
    }

    std::fill(std::begin(pollBuffer), std::end(pollBuffer), 0.0f);
    QElapsedTimer clock;
    clock.start();
    const qint64 periodMs = qint64(intervalSeconds(settings)) * 1000;
    PollGrid grid(periodMs, QDateTime::currentMSecsSinceEpoch());
    qint64 slot = 0;
    std::vector<MeterStanding> standing(sessions.size());
    // Meters whose run ended on their error, when not going on through
    // faults; the others go on.
    std::vector<bool> dropped(sessions.size(), false);
    // Each meter's slots so far and those that brought it no sample.
    struct MeterCounts {
        int slotCount = 0;
        int missed = 0;
    };
    std::vector<MeterCounts> counts(sessions.size());
    // Tells of a meter polled less often, or every slot again.
    const auto plan = [&](int m, bool answered, qint64 tookMs) {
        const auto backedOff = [&](const MeterStanding &s) {
            return backoffSlots(s.failuresInRow, periodMs, meterCount) > 1;
        };
        const bool before = backedOff(standing[size_t(m)]);
        standing[size_t(m)] = afterPoll(standing[size_t(m)], slot, answered, tookMs, periodMs, meterCount);
        if (backedOff(standing[size_t(m)]) != before)
            emit backoffChanged(m, !before);
    };
    // The link was opened for the first slot already.
    bool openedForSlot = true;

    for (;;) {
        if (stopRequested || finishRequested)
            break;
        const qint64 pollStart = clock.elapsed();
        // Off the grid, each poll is stamped when it is stored.
        const uint32_t slotStamp = onGrid ? grid.slotTime(slot, pollStart, QDateTime::currentMSecsSinceEpoch()) : 0;
        const QVector<int> order = onGrid ? slotOrder(standing, dropped, slot) : QVector<int>{0};
        // Opened again only for a slot with a meter to poll.
        if (!linkOpen && !openedForSlot && !order.isEmpty()) {
            result = link->open();
            linkOpen = result == ComOk;
            if (linkOpen && linkDown) {
                linkDown = false;
                emit linkOpened();
            }
        }
        openedForSlot = false;
        std::vector<bool> stored(sessions.size(), false);
        bool ended = false;
        bool linkFailed = !linkOpen && !order.isEmpty();
        bool answered = false;
        for (int i = 0; i < order.size() && linkOpen; ++i) {
            const int m = order[i];
            MeterSession &session = *sessions[size_t(m)];
            // Between two meters' polls as between two slots.
            if (i > 0 && (stopRequested || finishRequested)) {
                ended = true;
                break;
            }
            qint64 laterNeedMs = 0;
            for (int j = i + 1; j < order.size(); ++j)
                laterNeedMs += meterNeedMs(standing[size_t(order[j])], periodMs, meterCount);
            const qint64 started = clock.elapsed();
            link->setPollBudget(pollBudgetMs(slotLeftMs(grid.slotStart(slot + 1), started, periodMs), laterNeedMs,
                                             meterNeedMs(standing[size_t(m)], periodMs, meterCount), meterCount));
            polled = m;
            result = link->readValues(session.meter().addr, pollBuffer);
            const qint64 tookMs = clock.elapsed() - started;
            if (result == ComOk) {
                SampleRecord poll;
                static_assert(sizeof poll == sizeof pollBuffer, "the poll buffer has the record's layout");
                memcpy(&poll, pollBuffer, sizeof poll);
                const MeterSession::Stored done =
                    session.storePoll(poll, onGrid ? slotStamp : QDateTime::currentDateTime().toTime_t());
                if (!done.failedJournal.isEmpty())
                    emit journalFailed(m, done.failedJournal);
                emit pollStored(m);
                plan(m, true, tookMs);
                stored[size_t(m)] = true;
                answered = true;
                continue;
            }
            // Cut short by the stop: no fault of the meter's.
            if (onGrid && stopRequested) {
                ended = true;
                break;
            }
            if (isLinkFault(result) || !link->isUp()) {
                linkFailed = true;
                break;
            }
            const auto kind = static_cast<ComErrType>(result);
            if (!keepAcquiring) {
                emit warning(m, kind);
                dropped[size_t(m)] = true;
                continue;
            }
            emit pollFailed(m, kind, QDateTime::currentDateTime());
            plan(m, false, tookMs);
        }
        if (ended)
            break;
        if (linkFailed) {
            linkDown = true;
            if (!keepAcquiring) {
                emit warning(-1, static_cast<ComErrType>(result));
                break;
            }
            emit pollFailed(-1, static_cast<ComErrType>(result), QDateTime::currentDateTime());
        }
        // A link fault, or no meter answering at all (a connection the
        // gateway or the meter forgot, half a reply on the line): whatever
        // the link holds now must not meet the next poll. One meter that
        // stays silent is its own fault and costs the others no reopening.
        if (linkOpen && (linkFailed || (!order.isEmpty() && !answered))) {
            link->close();
            linkOpen = false;
        }
        if (std::find(dropped.begin(), dropped.end(), false) == dropped.end())
            break;
        if (!onGrid) {
            // From the start of one poll to the start of the next, so the
            // exchange itself is part of the interval.
            if (!waitUntil(pollStart + periodMs, clock))
                break;
            continue;
        }
        const qint64 next = grid.nextSlot(slot, clock.elapsed());
        for (size_t m = 0; m < sessions.size(); ++m) {
            if (dropped[m])
                continue;
            // This slot's poll when it brought nothing, and every slot skipped.
            const int missed = int(next - slot - 1) + (stored[m] ? 0 : 1);
            sessions[m]->tellMissed(missed);
            counts[m].missed += missed;
            counts[m].slotCount += int(next - slot);
            emit slotsCounted(int(m), counts[m].slotCount, counts[m].missed);
        }
        slot = next;
        if (!waitUntil(grid.slotStart(slot), clock))
            break;
    }
    for (const std::shared_ptr<MeterSession> &session : sessions)
        session->endRun();
}
