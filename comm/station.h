#pragma once

#include "comm/failureruns.h"
#include "comm/mqttforwarder.h"
#include "comm/samplingthread.h"
#include "comm/stationsettings.h"
#include "realtime/eventlog.h"

#include <QObject>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

class DailyFiles;
class MeterSession;

// The acquisition core of one link: a session per meter, the sampling thread
// while one exists, each run's daily files and forwarding, the tally of
// each meter's faults and the event log. It shows nothing: what there is to
// tell leaves through its signals, which name the meter by its index among
// the sessions (-1 for the station as a whole), so that a program without
// windows runs it with a QCoreApplication. It lives in the thread that made
// it.
//
// Every event of a run (its start and stop, the link opened or failing, a
// meter's failed polls folded into runs, a meter polled less often and
// again every slot, failed writes of the daily files and their recovery,
// the broker connected and lost, a failed journal) is a line of the event
// log: written, with a daily folder, to ZEP_yyyyMMdd.log of the line's day
// (a meter's lines in its subfolder of daily files, the station's in the
// folder itself), and told through eventLogged. Frames are told only.
class Station : public QObject
{
    Q_OBJECT

public:
    // One session, for a meter at address 1, until setMeters or a start
    // names the meters: a window can show a series before the first start.
    explicit Station(QObject *parent = nullptr);
    // A run still going on is stopped and waited for.
    ~Station() override;

    int meterCount() const { return int(sessions.size()); }
    MeterSession &session(int meter) const { return *sessions.at(size_t(meter)); }
    // The meters of the sessions, in their order.
    QVector<MeterConfig> meters() const;
    // While no thread exists: the sessions of these meters, in this order.
    // A meter there is already (sameMeters: the one at its address) keeps
    // its session and series and takes the new name; the sessions of meters
    // no longer named go, and their windows must have gone before.
    void setMeters(const QVector<MeterConfig> &meters);

    // Before start(): makes the link in place of makeMeterLink.
    void setLinkFactory(SamplingThread::LinkFactory factory) { linkFactory = std::move(factory); }

    // A run of config's meters over its link, unless a thread exists
    // already or config names no meter (false then, and nothing changes).
    bool start(const StationConfig &config);
    // The settings of the latest start.
    const StationConfig &config() const { return current; }
    SamplingThread *samplingThread() const { return thread; }
    // From a start to a stop, or to the thread's end after an error.
    bool isAcquiring() const { return acquiring; }
    // Asks the thread to stop and waits for it to leave its loop (a poll in
    // progress runs to its end); the thread object goes when its finish
    // arrives.
    void stop();
    // The same, but the poll in flight may end as it would, for up to
    // graceMs, before it is cut short.
    void finishPollAndStop(int graceMs);

    // Whether the daily files hold every row of the meter's series, or will
    // once the running acquisition has written the one in hand.
    bool seriesInDailyFiles(int meter) const;

    // Where the log goes outside a run: the daily folder (empty: no log on
    // disk) and its meters, as the settings name them. A start takes its
    // own settings' folder and meters.
    void setLogPlace(const QString &dailyFolder, const QVector<MeterConfig> &meters);
    // Today's lines of the log on disk, the station's and every meter's, in
    // the order of their times; none without a daily folder.
    QVector<EventLine> todaysLog();
    // A line of the log, for the meter at its place among the log's meters
    // (-1: the station).
    void logEvent(int meter, const QString &text);
    // The samples of the meter that a journal of an earlier run held,
    // records of them, are now in the file.
    void logJournalRecovered(const MeterConfig &meter, int records, const QString &file);
    // The name the log gives the meter at its place: none for -1.
    QString logMeterName(int meter) const;
    // What the log's lines are stamped with; the system's clock by default.
    void setClock(std::function<QDateTime()> clock) { now = std::move(clock); }

signals:
    // A frame the link sent or received while polling the meter.
    void frameReported(int meter, const QString &frame);
    // A line of the event log, about the meter at its place (-1: the
    // station), written to the log on disk too when there is one.
    void eventLogged(int meter, const EventLine &line);
    // The meter's part of the run, or the whole run for -1, ended on this
    // error (when not going on through faults).
    void communicationError(int meter, SamplingThread::ComErrType kind);
    // The meter's journal could not be written; the run goes on.
    void journalFailed(int meter, const QString &path);
    // A poll went into the meter's series, which may have been empty.
    void seriesGrew(int meter);
    // The meter's failed polls and slots (its session's pollFaults) changed.
    void pollFaultsChanged(int meter);
    // A write of the meter's daily files failed (its session's saveFaults).
    void saveFaultsChanged(int meter);
    void forwardStatusChanged(const ForwardStatus &status);
    // The thread has ended and its object is gone.
    void finished();
    // Emitted in the sampling thread; counted queued in this one.
    void dailyFileFailed(int meter, uint time, const QString &path, const QString &reason, QPrivateSignal);
    void dailyFileRecovered(int meter, bool allKept, QPrivateSignal);

private slots:
    // A fault of the link (-1) is every meter's.
    void countPollFault(int meter, SamplingThread::ComErrType kind, const QDateTime &when);
    void countSlots(int meter, int slotCount, int missed);
    void countSaveFault(int meter, uint time, const QString &path, const QString &reason);
    void showForwardStatus(const ForwardStatus &status);
    void threadFinished();
    void logPollStored(int meter);
    void logLinkOpened();
    void logBackoff(int meter, bool backedOff);
    void logError(int meter, SamplingThread::ComErrType kind);
    void logSaveRecovered(int meter, bool allKept);

private:
    void startForwarding(const ForwardConfig &forwarding);
    // The lines of the runs still going, and the stop.
    void logStop();
    // A line of a run of failures, when there is one.
    void logRunLine(int meter, const QString &line);

    std::vector<std::shared_ptr<MeterSession>> sessions;
    StationConfig current;
    SamplingThread::LinkFactory linkFactory;
    SamplingThread *thread = nullptr;
    bool acquiring = false;
    // The publisher of the latest run, kept after it so that its last
    // messages can go out, and the event log's last line about it.
    std::shared_ptr<MqttForwarder> forwarder;
    QString forwardLogLine;

    EventLog log;
    QString logFolder;
    QVector<MeterConfig> logMeters;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // From a start to the line of its stop: the run's events are logged.
    bool logging = false;
    FailureRuns pollRuns;
    FailureRuns linkRuns;
    FailureRuns saveRuns;
    // The run's daily files of each meter (none without a daily folder).
    std::vector<std::shared_ptr<DailyFiles>> runFiles;
};

// The name the event log gives meter (its place among meters): none for
// the station (-1).
QString meterLogName(const QVector<MeterConfig> &meters, int meter);
// The link as the log names it: the serial port, or the TCP address.
QString linkLogText(const ComConfig &link);
// The log's line for the start of a run.
QString stationStartText(const StationConfig &config);
// The text of the box for an error that ended a meter's part of the run
// (the whole run for -1): the error's text, with several meters after the
// name and address of the meter it is about.
QString stationErrorText(const StationConfig &config, int meter, int kind);
