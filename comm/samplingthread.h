#pragma once

#include "comm/comerror.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "data/samplerecord.h"

#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class LiveJournal;
class MeterLink;
class PollListener;
class QDateTime;
class QElapsedTimer;

// One acquisition: opens the link its settings choose, polls the meter once
// per sampling interval into the live stores, and ends on the first error
// (which it reports once) or when asked to stop. Told to keep acquiring, it
// reports each failed poll instead, closes the link and opens it again for
// the next poll, and its polls keep to the grid of PollGrid. A new object
// serves each run.
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

    // The parent receives the link's frame reports through its signal
    // addComMessage(QString), when it has one.
    explicit SamplingThread(QObject *parent = nullptr);
    // Stops and waits for a run that is still going, so the object can never
    // be destroyed under its own thread.
    ~SamplingThread() override;

    void stop();

    // Before start(): go on through failed polls rather than end on the
    // first. Off by default.
    void setKeepAcquiring(bool on) { keepAcquiring = on; }
    // Before start(): the link, its line or address, and the interval.
    void setSettings(const ComConfig &settings) { this->settings = settings; }

    // Before start(): makes the link in place of makeMeterLink.
    using LinkFactory = std::function<std::unique_ptr<MeterLink>(const ComConfig &)>;
    void setLinkFactory(LinkFactory factory) { linkFactory = std::move(factory); }

    // Where every stored poll is also appended; null for none. May be
    // changed from any thread while the run goes on. beforeSwitch runs at a
    // moment no poll is between the live series and the journal: every poll
    // is either in the series by then or goes to the new journal.
    void setJournal(std::shared_ptr<LiveJournal> journal, const std::function<void()> &beforeSwitch = {});
    // Before start(): one more that every poll of the run is handed to, in
    // this thread, after the journal.
    void addPollListener(std::shared_ptr<PollListener> listener);

    // The warning text of a code, in the main window's translation context;
    // a failed open names the port of the settings it was tried with, a
    // failed connection the address, on a line of its own.
    static QString errorText(int kind, const ComConfig &settings);

signals:
    void warning(SamplingThread::ComErrType kind);
    // A poll (or the open before it) failed and the run goes on; only when
    // keeping on acquiring.
    void pollFailed(SamplingThread::ComErrType kind, const QDateTime &when);
    // After each slot of a run that keeps acquiring: the slots of the run so
    // far and how many of them brought no sample (failed or skipped).
    void slotsCounted(int slotCount, int missed);
    // The journal could not be written; emitted once per journal. The
    // acquisition goes on without it.
    void journalFailed(const QString &path);

protected:
    void run() override;

private:
    bool waitUntil(qint64 deadlineMs, const QElapsedTimer &clock);
    std::shared_ptr<LiveJournal> currentJournal() const;
    // Into the live series with the time (the current time when none), the
    // journal and the listeners.
    void storePoll(const SampleRecord &poll, std::optional<uint32_t> time);
    void tellMissed(int polls);

    std::atomic<bool> stopRequested{false};
    bool keepAcquiring = false;
    ComConfig settings{};
    LinkFactory linkFactory;
    float pollBuffer[kColumnCount] = {};
    // Held while a poll goes into the live series and its journal is
    // chosen, and while the journal changes.
    mutable std::mutex journalMutex;
    std::shared_ptr<LiveJournal> journal;
    std::vector<std::shared_ptr<PollListener>> listeners;
};
