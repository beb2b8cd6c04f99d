#pragma once

#include "comm/comerror.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "data/samplerecord.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class LiveJournal;
class PollListener;
class QDateTime;
class QElapsedTimer;

// One acquisition: opens the link its settings choose, polls the meter once
// per sampling interval into the live stores, and ends on the first error
// (which it reports once) or when asked to stop. Told to keep acquiring, it
// reports each failed poll instead, closes the link and opens it again for
// the next poll. A new object serves each run.
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

    // Where every stored poll is also appended; null for none. May be
    // changed from any thread while the run goes on.
    void setJournal(std::shared_ptr<LiveJournal> journal);
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
    // The journal could not be written; emitted once per journal. The
    // acquisition goes on without it.
    void journalFailed(const QString &path);

protected:
    void run() override;

private:
    bool waitForNextPoll(qint64 pollStartMs, unsigned int periodSeconds, const QElapsedTimer &clock);
    std::shared_ptr<LiveJournal> currentJournal() const;
    void journalPoll(uint32_t time, const SampleRecord &poll);

    std::atomic<bool> stopRequested{false};
    bool keepAcquiring = false;
    ComConfig settings{};
    float pollBuffer[kColumnCount] = {};
    mutable std::mutex journalMutex;
    std::shared_ptr<LiveJournal> journal;
    std::vector<std::shared_ptr<PollListener>> listeners;
};
