#include "comm/samplingthread.h"

#include "comm/linkpolicy.h"
#include "comm/meterlink.h"
#include "comm/modbusframe.h"
#include "comm/pollgrid.h"
#include "realtime/metersession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

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
        if (stopRequested)
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

    // The meter being polled, whose frames the link reports.
    int polled = 0;
    // Made here, so that the link and its port or socket live in this thread.
    const std::unique_ptr<MeterLink> link = linkFactory ? linkFactory(settings) : makeMeterLink(settings);
    connect(link.get(), &MeterLink::ComMessage, [this, &polled](const QString &frame) { emit frameReported(polled, frame); });
    // Going on through faults, Stop must wait neither for a poll's
    // remaining attempts nor for a connection attempt.
    if (keepAcquiring)
        link->setCancelFlag(&stopRequested);
    int result = link->open();
    bool linkOpen = result == ComOk;
    if (!linkOpen && !keepAcquiring)
        stopRequested = true;

    std::fill(std::begin(pollBuffer), std::end(pollBuffer), 0.0f);
    QElapsedTimer clock;
    clock.start();
    const qint64 periodMs = qint64(intervalSeconds(settings)) * 1000;
    PollGrid grid(periodMs, QDateTime::currentMSecsSinceEpoch());
    qint64 slot = 0;
    // Each meter's slots so far and those that brought it no sample.
    struct MeterCounts {
        int slotCount = 0;
        int missed = 0;
    };
    std::vector<MeterCounts> counts(sessions.size());
    bool reopen = false;

    for (;;) {
        if (stopRequested) {
            if (result != ComOk && !keepAcquiring)
                emit warning(static_cast<ComErrType>(result));
            break;
        }
        const qint64 pollStart = clock.elapsed();
        const std::optional<uint32_t> stamp =
            keepAcquiring ? std::optional<uint32_t>(grid.slotTime(slot, pollStart, QDateTime::currentMSecsSinceEpoch()))
                          : std::nullopt;
        bool ended = false;
        for (size_t m = 0; m < sessions.size() && !ended; ++m) {
            MeterSession &session = *sessions[m];
            // Between two meters' polls as between two slots.
            if (m > 0 && stopRequested) {
                ended = true;
                break;
            }
            if (reopen && !linkOpen) {
                result = link->open();
                linkOpen = result == ComOk;
            }
            polled = int(m);
            if (linkOpen)
                result = link->readValues(session.meter().addr, pollBuffer);
            if (result == ComOk) {
                SampleRecord poll;
                static_assert(sizeof poll == sizeof pollBuffer, "the poll buffer has the record's layout");
                memcpy(&poll, pollBuffer, sizeof poll);
                const MeterSession::Stored stored =
                    session.storePoll(poll, stamp ? *stamp : QDateTime::currentDateTime().toTime_t());
                if (!stored.failedJournal.isEmpty())
                    emit journalFailed(int(m), stored.failedJournal);
                emit pollStored(int(m));
            } else if (!keepAcquiring) {
                emit warning(static_cast<ComErrType>(result));
                ended = true;
            } else if (stopRequested) {
                // Cut short by the stop: no fault of the meter's.
                ended = true;
            } else {
                emit pollFailed(int(m), static_cast<ComErrType>(result), QDateTime::currentDateTime());
                session.tellMissed(1);
                ++counts[m].missed;
                // Whatever the link holds now (half a reply, a connection the
                // meter forgot) must not meet the next poll.
                link->close();
                linkOpen = false;
                reopen = true;
            }
        }
        if (ended)
            break;
        if (!keepAcquiring) {
            // From the start of one poll to the start of the next, so the
            // exchange itself is part of the interval.
            if (!waitUntil(pollStart + periodMs, clock))
                break;
            continue;
        }
        const qint64 next = grid.nextSlot(slot, clock.elapsed());
        for (size_t m = 0; m < sessions.size(); ++m) {
            sessions[m]->tellMissed(int(next - slot - 1));
            counts[m].missed += int(next - slot - 1);
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
