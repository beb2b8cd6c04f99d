#pragma once

#include "comm/comerror.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "data/samplerecord.h"

#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class MeterLink;
class MeterSession;
class QDateTime;
class QElapsedTimer;

// One acquisition: opens the link its settings choose and polls each meter
// of the link once per sampling interval, one after the other, each poll
// into the meter's session, until asked to stop. With several meters, or
// told to keep acquiring, its polls keep to the grid of PollGrid, every
// meter's poll of a slot stamped with the slot's time, and the plan of
// pollplan.h shares each slot among the meters.
//
// A meter's error is the meter's: told to keep acquiring, the run reports
// it and goes on; otherwise it reports it once and ends that meter's part,
// the others polling on, so that a lone meter's first error ends the run.
// A fault of the link itself (the port gone, the connection lost, a request
// not sent) is every meter's: kept on, the link is closed and opened again
// for the next slot, which it also is when no meter answered a slot;
// otherwise it ends the run. A new object serves each run.
class SamplingThread : public QThread
{
    Q_OBJECT

public:
    enum ComErrType {
        ComOk = ::ComOk,
        ComOpenFailed = ::ComOpenFailed,
        ComPortNotOpen = ::ComPortNotOpen,
        ComSendFailed = ::ComSendFailed,
        ComTimeout = ::ComTimeout,
        ComLengthError = ::ComLengthError,
        ComReceiveError = ::ComReceiveError,
        ComCrcError = ::ComCrcError,
        ComConnectFailed = ::ComConnectFailed,
        ComNotConnected = ::ComNotConnected,
    };
    Q_ENUM(ComErrType)

    explicit SamplingThread(QObject *parent = nullptr);
    // Stops and waits for a run that is still going, so the object can never
    // be destroyed under its own thread.
    ~SamplingThread() override;

    void stop();
    // Ends the run once the poll in flight is done, its remaining attempts
    // included, rather than cutting it short as stop() does; stop() still
    // may, should it take too long.
    void finishPollAndStop() { finishRequested = true; }

    // Before start(): go on through failed polls rather than end on the
    // first. Off by default.
    void setKeepAcquiring(bool on) { keepAcquiring = on; }
    // Before start(): the link, its serial line or TCP address, and the
    // interval; the meters' addresses come with their sessions.
    void setSettings(const ComConfig &settings) { this->settings = settings; }

    // Before start(): makes the link in place of makeMeterLink.
    using LinkFactory = std::function<std::unique_ptr<MeterLink>(const ComConfig &)>;
    void setLinkFactory(LinkFactory factory) { linkFactory = std::move(factory); }

    // Before start(): the meters the run polls over its one link, in this
    // order. A meter is named in the signals by its place in this list.
    void setSessions(std::vector<std::shared_ptr<MeterSession>> sessions) { this->sessions = std::move(sessions); }

    // The warning text of a code, in the main window's translation context;
    // a failed open names the port of the settings it was tried with, a
    // failed connection the address, on a line of its own.
    static QString errorText(int kind, const ComConfig &settings);

// Each signal names the meter it is about by its place in the list of
// sessions, -1 for the link and so for every meter. Every signal is emitted
// in the sampling thread.
signals:
    // The meter's part of the run (the whole run for -1) ended on this
    // error; only when not keeping on acquiring.
    void warning(int meter, SamplingThread::ComErrType kind);
    // A poll of the meter, or the link (the open, or a fault of the line
    // during a poll), failed and the run goes on; only when keeping on
    // acquiring.
    void pollFailed(int meter, SamplingThread::ComErrType kind, const QDateTime &when);
    // After each slot of a run that keeps acquiring: the meter's slots of the
    // run so far and how many of them brought it no sample (failed or
    // skipped).
    void slotsCounted(int meter, int slotCount, int missed);
    // The meter's journal could not be written; emitted once per journal.
    // The acquisition goes on without it.
    void journalFailed(int meter, const QString &path);
    // A poll of the meter went into its series.
    void pollStored(int meter);
    // A frame the link sent or received while polling the meter, as the
    // link reports it (hexadecimal text).
    void frameReported(int meter, const QString &frame);
    // The link opened: at the start, and again after a fault of the link
    // (not after the quiet reopening that follows a slot no meter answered).
    void linkOpened();
    // The meter is polled less often after failing polls in a row
    // (backedOff), or every slot again now that it answered.
    void backoffChanged(int meter, bool backedOff);

protected:
    void run() override;

private:
    bool waitUntil(qint64 deadlineMs, const QElapsedTimer &clock);

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finishRequested{false};
    bool keepAcquiring = false;
    ComConfig settings{};
    LinkFactory linkFactory;
    float pollBuffer[kColumnCount] = {};
    std::vector<std::shared_ptr<MeterSession>> sessions;
};
