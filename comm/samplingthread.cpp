#include "comm/samplingthread.h"

#include "comm/linkpolicy.h"
#include "comm/meterlink.h"
#include "comm/modbusframe.h"
#include "realtime/livejournal.h"
#include "realtime/polllistener.h"
#include "realtime/signaldata.h"

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

void SamplingThread::setJournal(std::shared_ptr<LiveJournal> journal)
{
    std::lock_guard<std::mutex> locker(journalMutex);
    this->journal = std::move(journal);
}

void SamplingThread::addPollListener(std::shared_ptr<PollListener> listener)
{
    listeners.push_back(std::move(listener));
}

std::shared_ptr<LiveJournal> SamplingThread::currentJournal() const
{
    std::lock_guard<std::mutex> locker(journalMutex);
    return journal;
}

void SamplingThread::journalPoll(uint32_t time, const SampleRecord &poll)
{
    const std::shared_ptr<LiveJournal> target = currentJournal();
    if (target && target->appendPoll(time, poll) == LiveJournal::AppendResult::Failed)
        emit journalFailed(target->path());
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

bool SamplingThread::waitForNextPoll(qint64 pollStartMs, unsigned int periodSeconds, const QElapsedTimer &clock)
{
    // Period from the start of one poll to the start of the next, so the
    // exchange itself is part of it; the stop request is watched throughout.
    const qint64 periodMs = qint64(periodSeconds) * 1000;
    for (qint64 waited = clock.elapsed() - pollStartMs; waited < periodMs; waited = clock.elapsed() - pollStartMs) {
        if (stopRequested)
            return false;
        msleep(static_cast<unsigned long>(qMin<qint64>(periodMs - waited, 20)));
    }
    return true;
}

void SamplingThread::run()
{
    // stopRequested is not cleared here: a stop() that comes between start()
    // and the first line of run() would be lost, and the caller, who waits
    // without a time limit, would wait for ever. The flag starts false and
    // each object runs once.
    QObject *hub = parent();
    const bool hasHub = hub && hub->metaObject()->indexOfSignal("addComMessage(QString)") >= 0;
    // Made here, so that the link and its port or socket live in this thread.
    const std::unique_ptr<MeterLink> link = makeMeterLink(settings);
    if (hasHub)
        connect(link.get(), SIGNAL(ComMessage(QString)), hub, SIGNAL(addComMessage(QString)));
    // Going on through faults, a poll must not hold up Stop for its
    // remaining attempts: the one place left to wait is the TCP connect.
    if (keepAcquiring)
        link->setCancelFlag(&stopRequested);
    int result = link->open();
    bool linkOpen = result == ComOk;
    if (!linkOpen && !keepAcquiring)
        stopRequested = true;

    std::fill(std::begin(pollBuffer), std::end(pollBuffer), 0.0f);
    QElapsedTimer clock;
    clock.start();
    const unsigned int period = intervalSeconds(settings);
    bool reopen = false;

    for (;;) {
        if (stopRequested) {
            if (result != ComOk && !keepAcquiring)
                emit warning(static_cast<ComErrType>(result));
            break;
        }
        const qint64 pollStart = clock.elapsed();
        if (reopen && !linkOpen) {
            result = link->open();
            linkOpen = result == ComOk;
        }
        if (linkOpen)
            result = link->readValues(pollBuffer);
        if (result == ComOk) {
            SampleRecord poll;
            static_assert(sizeof poll == sizeof pollBuffer, "the poll buffer has the record's layout");
            memcpy(&poll, pollBuffer, sizeof poll);
            const uint32_t time = appendPollValues(poll);
            journalPoll(time, poll);
            for (const std::shared_ptr<PollListener> &listener : listeners)
                listener->pollStored(time, poll);
        } else if (!keepAcquiring) {
            emit warning(static_cast<ComErrType>(result));
            break;
        } else if (stopRequested) {
            // Cut short by the stop: no fault of the meter's.
            break;
        } else {
            emit pollFailed(static_cast<ComErrType>(result), QDateTime::currentDateTime());
            for (const std::shared_ptr<PollListener> &listener : listeners)
                listener->pollMissed();
            // Whatever the link holds now (half a reply, a connection the
            // meter forgot) must not meet the next poll.
            link->close();
            linkOpen = false;
            reopen = true;
        }
        if (!waitForNextPoll(pollStart, period, clock))
            break;
    }
    // Stopped or failed, the window may sit idle for long: the last
    // seconds go to disk now rather than with the next poll.
    if (const std::shared_ptr<LiveJournal> target = currentJournal())
        target->sync();
    for (const std::shared_ptr<PollListener> &listener : listeners)
        listener->runEnded();
}
