#pragma once

#include "comm/mqttforwarder.h"
#include "comm/samplingthread.h"
#include "comm/stationsettings.h"

#include <QObject>
#include <QVector>

#include <memory>
#include <vector>

class MeterSession;

// The acquisition core of one link: a session per meter, the sampling thread
// while one exists, each run's daily files and forwarding, and the tally of
// each meter's faults. It shows nothing: what there is to tell leaves
// through its signals, which name the meter by its index among the sessions
// (-1 for the station as a whole), so that a program without windows runs
// it with a QCoreApplication. It lives in the thread that made it.
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

signals:
    // A frame the link sent or received while polling the meter.
    void frameReported(int meter, const QString &frame);
    // A line for the event log: a failed poll, a failed write of the daily
    // files, a fault of the link (-1), a change of the forwarding (-1).
    void eventLogged(int meter, const QString &text);
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

private slots:
    // A fault of the link (-1) is every meter's.
    void countPollFault(int meter, SamplingThread::ComErrType kind, const QDateTime &when);
    void countSlots(int meter, int slotCount, int missed);
    void countSaveFault(int meter, uint time, const QString &path, const QString &reason);
    void showForwardStatus(const ForwardStatus &status);
    void threadFinished();

private:
    void startForwarding(const ForwardConfig &forwarding);

    std::vector<std::shared_ptr<MeterSession>> sessions;
    StationConfig current;
    SamplingThread::LinkFactory linkFactory;
    SamplingThread *thread = nullptr;
    bool acquiring = false;
    // The publisher of the latest run, kept after it so that its last
    // messages can go out, and the event log's last line about it.
    std::shared_ptr<MqttForwarder> forwarder;
    QString forwardLogLine;
};

// A line of the event log about meter (its place among meters): with
// several meters, the meter's name before it; a line about the link or the
// station (-1), or about the only meter, as it is.
QString meterLogLine(const QVector<MeterConfig> &meters, int meter, const QString &line);
// The text of the box for an error that ended a meter's part of the run
// (the whole run for -1): the error's text, with several meters after the
// name and address of the meter it is about.
QString stationErrorText(const StationConfig &config, int meter, int kind);
