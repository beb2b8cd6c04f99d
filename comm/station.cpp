#include "comm/station.h"

#include "comm/linkpolicy.h"
#include "comm/modbusframe.h"
#include "comm/pollfaults.h"
#include "comm/pollplan.h"
#include "realtime/dailyfiles.h"
#include "realtime/metersession.h"
#include "realtime/polllistener.h"

#include <QDir>

Station::Station(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<EventLine>();
    setMeters({MeterConfig()});
    connect(this, &Station::dailyFileFailed, this, &Station::countSaveFault, Qt::QueuedConnection);
    connect(this, &Station::dailyFileRecovered, this, &Station::logSaveRecovered, Qt::QueuedConnection);
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
    setLogPlace(config.dailyFolder, config.meters);
    pollRuns = FailureRuns(pollRunTexts());
    linkRuns = FailureRuns(linkRunTexts(linkLogText(config.link)));
    saveRuns = FailureRuns(saveRunTexts());
    logging = true;
    logEvent(-1, stationStartText(config));
    thread = new SamplingThread(this);
    // Emitted in the sampling thread: queued to this one.
    connect(thread, &QThread::finished, this, &Station::threadFinished);
    connect(thread, &SamplingThread::warning, this, &Station::logError);
    connect(thread, &SamplingThread::warning, this, &Station::communicationError);
    connect(thread, &SamplingThread::journalFailed, this, &Station::journalFailed);
    connect(thread, &SamplingThread::journalFailed, this, [this](int meter, const QString &path) {
        logEvent(meter, QStringLiteral("无法写入实时数据备份文件%1").arg(QDir::toNativeSeparators(path)));
    });
    connect(thread, &SamplingThread::frameReported, this, &Station::frameReported);
    // What depends on the series having samples (Save) follows each poll at
    // once rather than at the window's next refresh, which may be hours away.
    connect(thread, &SamplingThread::pollStored, this, &Station::logPollStored);
    connect(thread, &SamplingThread::pollStored, this, &Station::seriesGrew);
    connect(thread, &SamplingThread::pollFailed, this, &Station::countPollFault);
    connect(thread, &SamplingThread::slotsCounted, this, &Station::countSlots);
    connect(thread, &SamplingThread::linkOpened, this, &Station::logLinkOpened);
    connect(thread, &SamplingThread::backoffChanged, this, &Station::logBackoff);
    thread->setKeepAcquiring(config.keepAcquiring);
    thread->setSettings(config.link);
    if (linkFactory)
        thread->setLinkFactory(linkFactory);
    startForwarding(config.forwarding);
    runFiles.assign(size_t(meterCount()), nullptr);
    for (int m = 0; m < meterCount(); ++m) {
        std::vector<std::shared_ptr<PollListener>> listeners;
        std::shared_ptr<DailyFiles> dailyFiles;
        if (!config.dailyFolder.isEmpty()) {
            dailyFiles = std::make_shared<DailyFiles>(config.dailyFolder, [this, m](const DailyFiles::Fault &fault) {
                emit dailyFileFailed(m, fault.time, fault.path, fault.reason, QPrivateSignal());
            });
            dailyFiles->setSubfolder(meterDailySubfolder(config.meters, m));
            dailyFiles->setRecoveryReport(
                [this, m](uint32_t, bool allKept) { emit dailyFileRecovered(m, allKept, QPrivateSignal()); });
            listeners.push_back(dailyFiles);
            runFiles[size_t(m)] = dailyFiles;
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
    logStop();
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
    logStop();
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
    if (!logging)
        return;
    const QString reason = pollFaultLogText(kind, current.link);
    logRunLine(meter, meter < 0 ? linkRuns.failed(meter, now(), reason) : pollRuns.failed(meter, now(), reason));
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
    if (logging)
        logRunLine(meter, saveRuns.failed(meter, now(), DailyFiles::faultLogText({time, path, reason})));
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
        logEvent(-1, line);
    }
}

void Station::logPollStored(int meter)
{
    if (logging)
        logRunLine(meter, pollRuns.worked(meter, now()));
}

void Station::logLinkOpened()
{
    if (!logging)
        return;
    const QString reopened = linkRuns.worked(-1, now());
    logEvent(-1, reopened.isEmpty() ? QStringLiteral("连接已打开：") + linkLogText(current.link) : reopened);
}

void Station::logBackoff(int meter, bool backedOff)
{
    if (!logging)
        return;
    logEvent(meter, backedOff ? QStringLiteral("连续 %1 次无应答，暂时减少轮询（每 2、4、8… 个周期一次，至少每分钟一次）")
                                    .arg(kFailuresBeforeBackoff)
                              : QStringLiteral("恢复每个周期轮询"));
}

void Station::logError(int meter, SamplingThread::ComErrType kind)
{
    if (!logging)
        return;
    const QString text = QStringLiteral("通讯错误：") + pollFaultLogText(kind, current.link);
    logEvent(meter, meter < 0 ? text : text + QStringLiteral("，此电表停止采集"));
}

void Station::logSaveRecovered(int meter, bool allKept)
{
    if (!logging)
        return;
    const QString line = saveRuns.worked(meter, now());
    if (!line.isEmpty())
        logEvent(meter, line + (allKept ? QStringLiteral("，未写入的记录已补写") : QStringLiteral("，被删除或移走的文件中的记录未能补写")));
}

void Station::logStop()
{
    if (!logging)
        return;
    // The recovery of the run's last writes is told after the stop: the
    // files' state, final now that the thread has ended, tells it first.
    for (size_t m = 0; m < runFiles.size(); ++m) {
        if (runFiles[m] && runFiles[m]->allKept())
            logSaveRecovered(int(m), true);
    }
    runFiles.clear();
    const QDateTime at = now();
    for (FailureRuns *runs : {&linkRuns, &pollRuns, &saveRuns}) {
        for (const std::pair<int, QString> &line : runs->stopped(at))
            logEvent(line.first, line.second);
    }
    logEvent(-1, QStringLiteral("停止采集"));
    logging = false;
}

void Station::logRunLine(int meter, const QString &line)
{
    if (!line.isEmpty())
        logEvent(meter, line);
}

void Station::logEvent(int meter, const QString &text)
{
    const EventLine line{now(), logMeterName(meter), text};
    log.append(line, meterDailySubfolder(logMeters, meter));
    emit eventLogged(meter, line);
}

void Station::setLogPlace(const QString &dailyFolder, const QVector<MeterConfig> &meters)
{
    logFolder = dailyFolder;
    logMeters = meters;
    log.setFolder(dailyFolder);
}

QString Station::logMeterName(int meter) const
{
    return meterLogName(logMeters, meter);
}

QVector<EventLine> Station::todaysLog()
{
    if (logFolder.isEmpty())
        return {};
    // Lines handed over a moment ago go into the files first.
    log.flush(1000);
    const QDir folder(logFolder);
    const QString name = eventLogFileName(now().date());
    QStringList paths{folder.filePath(name)};
    for (int m = 0; m < logMeters.size(); ++m) {
        const QString subfolder = meterDailySubfolder(logMeters, m);
        if (!subfolder.isEmpty())
            paths << folder.filePath(subfolder + QLatin1Char('/') + name);
    }
    return readEventLogs(paths);
}

void Station::logJournalRecovered(const MeterConfig &meter, int records, const QString &file)
{
    // A meter no longer among the station's is named in the station's line.
    int place = -1;
    for (int m = 0; m < logMeters.size() && !meter.name.isEmpty(); ++m) {
        if (logMeters[m].addr == meter.addr)
            place = m;
    }
    QString text = QStringLiteral("已恢复上次运行留下的 %1 条实时数据到 %2").arg(records).arg(QDir::toNativeSeparators(file));
    if (place < 0 && !meter.name.isEmpty())
        text = QStringLiteral("电表“%1”（地址 %2）：").arg(meter.name, QString::number(meter.addr)) + text;
    logEvent(place, text);
}

QString meterLogName(const QVector<MeterConfig> &meters, int meter)
{
    return meter >= 0 && meter < meters.size() ? meters[meter].name : QString();
}

QString linkLogText(const ComConfig &link)
{
    if (link.comtype == 0)
        return QStringLiteral("串口 ") + fieldText(link.com);
    const QString address = hostPortText(fieldText(link.IP));
    return address.isEmpty() ? QStringLiteral("Modbus TCP") : address;
}

QString stationStartText(const StationConfig &config)
{
    QStringList meters;
    for (const MeterConfig &m : config.meters)
        meters << QStringLiteral("%1（地址 %2）").arg(m.name, QString::number(m.addr));
    return QStringLiteral("开始采集：%1，间隔 %2，电表：%3")
        .arg(linkLogText(config.link), fieldText(config.link.interval), meters.join(QStringLiteral("、")));
}

QString stationErrorText(const StationConfig &config, int meter, int kind)
{
    const QString text = SamplingThread::errorText(kind, config.link);
    if (config.meters.size() <= 1 || meter < 0 || meter >= config.meters.size())
        return text;
    const MeterConfig &m = config.meters[meter];
    return QStringLiteral("电表“%1”（地址 %2）：").arg(m.name, QString::number(m.addr)) + text;
}
