#include "comm/station.h"

#include "comm/pollfaults.h"
#include "realtime/dailyfiles.h"
#include "realtime/metersession.h"
#include "realtime/polllistener.h"

Station::Station(QObject *parent)
    : QObject(parent)
{
    setMeters({MeterConfig()});
    connect(this, &Station::dailyFileFailed, this, &Station::countSaveFault, Qt::QueuedConnection);
}

Station::~Station()
{
    stop();
}

QVector<MeterConfig> Station::meters() const
{
    QVector<MeterConfig> configured;
    for (const std::shared_ptr<MeterSession> &session : sessions)
        configured.append(session->meter());
    return configured;
}

void Station::setMeters(const QVector<MeterConfig> &meters)
{
    if (thread)
        return;
    const QVector<int> before = sameMeters(this->meters(), meters);
    std::vector<std::shared_ptr<MeterSession>> next;
    for (int m = 0; m < meters.size(); ++m) {
        if (before[m] >= 0) {
            next.push_back(sessions[size_t(before[m])]);
            next.back()->setMeter(meters[m]);
        } else {
            next.push_back(std::make_shared<MeterSession>(meters[m]));
        }
    }
    sessions = std::move(next);
}

bool Station::start(const StationConfig &config)
{
    // A station without meters would record nothing.
    if (thread || config.meters.isEmpty())
        return false;
    current = config;
    setMeters(config.meters);
    thread = new SamplingThread(this);
    // Emitted in the sampling thread: queued to this one.
    connect(thread, &QThread::finished, this, &Station::threadFinished);
    connect(thread, &SamplingThread::warning, this, &Station::communicationError);
    connect(thread, &SamplingThread::journalFailed, this, &Station::journalFailed);
    connect(thread, &SamplingThread::frameReported, this, &Station::frameReported);
    // What depends on the series having samples (Save) follows each poll at
    // once rather than at the window's next refresh, which may be hours away.
    connect(thread, &SamplingThread::pollStored, this, &Station::seriesGrew);
    connect(thread, &SamplingThread::pollFailed, this, &Station::countPollFault);
    connect(thread, &SamplingThread::slotsCounted, this, &Station::countSlots);
    thread->setKeepAcquiring(config.keepAcquiring);
    thread->setSettings(config.link);
    if (linkFactory)
        thread->setLinkFactory(linkFactory);
    startForwarding(config.forwarding);
    for (int m = 0; m < meterCount(); ++m) {
        std::vector<std::shared_ptr<PollListener>> listeners;
        std::shared_ptr<DailyFiles> dailyFiles;
        if (!config.dailyFolder.isEmpty()) {
            dailyFiles = std::make_shared<DailyFiles>(config.dailyFolder, [this, m](const DailyFiles::Fault &fault) {
                emit dailyFileFailed(m, fault.time, fault.path, fault.reason, QPrivateSignal());
            });
            dailyFiles->setSubfolder(meterDailySubfolder(config.meters, m));
            listeners.push_back(dailyFiles);
        }
        // One publisher, a channel of its own for each meter.
        if (forwarder)
            listeners.push_back(forwarder->channel(m));
        sessions[size_t(m)]->beginRun(std::move(listeners), dailyFiles);
    }
    thread->setSessions(sessions);
    thread->start();
    acquiring = true;
    return true;
}

void Station::stop()
{
    if (!thread)
        return;
    thread->stop();
    thread->wait();
    acquiring = false;
}

void Station::finishPollAndStop(int graceMs)
{
    if (!thread)
        return;
    thread->finishPollAndStop();
    if (!thread->wait(ulong(graceMs)))
        stop();
    acquiring = false;
}

void Station::threadFinished()
{
    if (!thread)
        return;
    delete thread;
    thread = nullptr;
    for (const std::shared_ptr<MeterSession> &session : sessions)
        session->finishRun();
    acquiring = false;
    emit finished();
}

bool Station::seriesInDailyFiles(int meter) const
{
    return meter >= 0 && meter < meterCount() && session(meter).seriesInDailyFiles(thread != nullptr);
}

void Station::countPollFault(int meter, SamplingThread::ComErrType kind, const QDateTime &when)
{
    // The window learns of it with the count of the slot, which follows.
    for (int m = 0; m < meterCount(); ++m) {
        if (meter < 0 || m == meter)
            session(m).pollFaults.add(when);
    }
    emit eventLogged(meter, pollFaultLogText(kind, when, current.link));
}

void Station::countSlots(int meter, int slotCount, int missed)
{
    PollFaultTally &tally = session(meter).pollFaults;
    tally.slotCount = slotCount;
    tally.missed = missed;
    emit pollFaultsChanged(meter);
}

void Station::countSaveFault(int meter, uint time, const QString &path, const QString &reason)
{
    session(meter).saveFaults.add(QDateTime::fromTime_t(time));
    emit eventLogged(meter, DailyFiles::faultLogText({time, path, reason}));
    emit saveFaultsChanged(meter);
}

void Station::startForwarding(const ForwardConfig &forwarding)
{
    forwarder.reset();
    forwardLogLine.clear();
    if (!forwarding.enabled)
        return;
    forwarder = std::make_shared<MqttForwarder>(forwarding, current.meters, intervalSeconds(current.link));
    // Emitted by the publishing thread: queued to this one.
    connect(forwarder.get(), &MqttForwarder::statusChanged, this, &Station::showForwardStatus);
}

void Station::showForwardStatus(const ForwardStatus &status)
{
    // The last words of an earlier run's publisher may come late.
    if (sender() != forwarder.get())
        return;
    emit forwardStatusChanged(status);
    const QString line = forwardLogText(status, current.forwarding.server);
    if (!line.isEmpty() && line != forwardLogLine) {
        forwardLogLine = line;
        emit eventLogged(-1, line);
    }
}

QString meterLogLine(const QVector<MeterConfig> &meters, int meter, const QString &line)
{
    if (meters.size() <= 1 || meter < 0 || meter >= meters.size())
        return line;
    return meters[meter].name + QStringLiteral("：") + line;
}

QString stationErrorText(const StationConfig &config, int meter, int kind)
{
    const QString text = SamplingThread::errorText(kind, config.link);
    if (config.meters.size() <= 1 || meter < 0 || meter >= config.meters.size())
        return text;
    const MeterConfig &m = config.meters[meter];
    return QStringLiteral("电表“%1”（地址 %2）：").arg(m.name, QString::number(m.addr)) + text;
}
