#pragma once

#include "data/meterconfig.h"
#include "data/samplerecord.h"
#include "realtime/pollfaults.h"
#include "realtime/signaldata.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class DailyFiles;
class LiveJournal;
class PollListener;

// What one meter of a station has: its live series, the journal its polls
// are copied to, whoever else hears of them (its daily files, its forwarding
// channel), and its counts. The station owns one
// per meter for as long as the meter is configured, so the series outlives
// the runs of the sampling thread that fill it.
//
// The sampling thread stores the meter's polls here (storePoll, tellMissed,
// endRun); the user interface thread reads the series, switches the journal
// at any time and sets the listeners and counts while no run goes on.
class MeterSession
{
public:
    explicit MeterSession(const MeterConfig &meter);
    ~MeterSession();
    MeterSession(const MeterSession &) = delete;
    MeterSession &operator=(const MeterSession &) = delete;

    const MeterConfig &meter() const { return identity; }
    // While no run goes on: the same meter renamed or readdressed.
    void setMeter(const MeterConfig &meter) { identity = meter; }

    SignalData &series() { return live; }
    const SignalData &series() const { return live; }

    // Where every stored poll is also appended; null for none. May be
    // changed from any thread while a run goes on. beforeSwitch runs at a
    // moment no poll is between the series and the journal: every poll is
    // either in the series by then or goes to the new journal.
    void setJournal(std::shared_ptr<LiveJournal> journal, const std::function<void()> &beforeSwitch = {});
    std::shared_ptr<LiveJournal> journal() const;

    // Before a run: who hears of each of its polls, in this order, after
    // the journal. dailyFiles, when set, is one of them, the one that tells
    // whether the series is on disk. Starts the counts afresh.
    void beginRun(std::vector<std::shared_ptr<PollListener>> listeners, std::shared_ptr<DailyFiles> dailyFiles);
    // After the run's thread has ended: the polls it left pending join the
    // series, and the listeners go.
    void finishRun();
    // The series was emptied (its window went): it starts again with nothing
    // outside the daily files.
    void seriesRestarted();
    // Whether the daily files hold every row of the series, or will once the
    // poll in hand is written; running tells whether a run polls now.
    bool seriesInDailyFiles(bool running);

    // For the sampling thread. A poll goes into the series with its time,
    // then to the journal and the listeners; failedJournal names the journal
    // when this poll was the first it could not take.
    struct Stored {
        uint32_t time;
        QString failedJournal;
    };
    Stored storePoll(const SampleRecord &poll, uint32_t time);
    // Polls of the meter that brought no sample (failed, or their turn missed).
    void tellMissed(int polls);
    // The run is over: the journal goes to disk, the listeners are told.
    void endRun();

    // The failed polls and slots of the latest run, and the failed writes of
    // its daily files; kept by the owner's thread from what the sampling
    // thread reports.
    PollFaultTally pollFaults;
    PollFaultTally saveFaults;

private:
    MeterConfig identity;
    SignalData live;
    // Held while a poll goes into the series and its journal is chosen, and
    // while the journal changes.
    mutable std::mutex journalMutex;
    std::shared_ptr<LiveJournal> currentJournal;
    std::vector<std::shared_ptr<PollListener>> listeners;
    // What the series holds that the daily files do not: the rows before
    // rowsAtStart of a run with daily files, or rows a run left unwritten.
    std::shared_ptr<DailyFiles> dailyFiles;
    int rowsAtStart = 0;
    bool rowsOutsideDailyFiles = false;
};
