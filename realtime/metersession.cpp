#include "realtime/metersession.h"

#include "realtime/dailyfiles.h"
#include "realtime/livejournal.h"
#include "realtime/polllistener.h"

MeterSession::MeterSession(const MeterConfig &meter)
    : identity(meter)
{
}

MeterSession::~MeterSession() = default;

void MeterSession::setJournal(std::shared_ptr<LiveJournal> journal, const std::function<void()> &beforeSwitch)
{
    std::lock_guard<std::mutex> locker(journalMutex);
    if (beforeSwitch)
        beforeSwitch();
    currentJournal = std::move(journal);
}

std::shared_ptr<LiveJournal> MeterSession::journal() const
{
    std::lock_guard<std::mutex> locker(journalMutex);
    return currentJournal;
}

void MeterSession::beginRun(std::vector<std::shared_ptr<PollListener>> runListeners,
                            std::shared_ptr<DailyFiles> runDailyFiles)
{
    listeners = std::move(runListeners);
    dailyFiles = std::move(runDailyFiles);
    rowsAtStart = live.sizeWithPending();
    pollFaults = PollFaultTally();
    saveFaults = PollFaultTally();
}

void MeterSession::finishRun()
{
    // Polls left pending by a save would otherwise wait for the next run
    // and open its series.
    live.flushPending();
    rowsOutsideDailyFiles = !seriesInDailyFiles(true);
    dailyFiles.reset();
    listeners.clear();
}

void MeterSession::seriesRestarted()
{
    rowsAtStart = 0;
    rowsOutsideDailyFiles = false;
}

bool MeterSession::seriesInDailyFiles(bool running)
{
    if (rowsOutsideDailyFiles)
        return false;
    if (dailyFiles)
        return dailyFiles->allKept();
    return !running || live.sizeWithPending() <= rowsAtStart;
}

MeterSession::Stored MeterSession::storePoll(const SampleRecord &poll, uint32_t time)
{
    std::shared_ptr<LiveJournal> target;
    {
        // A window that closes hands the polls it did not save over to a new
        // journal (setJournal): with the series and the journal taken
        // together, none is missed there and none written twice.
        std::lock_guard<std::mutex> locker(journalMutex);
        live.appendPoll(time, poll.values);
        target = currentJournal;
    }
    Stored stored{time, QString()};
    if (target && target->appendPoll(time, poll) == LiveJournal::AppendResult::Failed)
        stored.failedJournal = target->path();
    for (const std::shared_ptr<PollListener> &listener : listeners)
        listener->pollStored(time, poll);
    return stored;
}

void MeterSession::tellMissed(int polls)
{
    for (int i = 0; i < polls; ++i) {
        for (const std::shared_ptr<PollListener> &listener : listeners)
            listener->pollMissed();
    }
}

void MeterSession::endRun()
{
    // Stopped or failed, the window may sit idle for long: the last
    // seconds go to disk now rather than with the next poll.
    if (const std::shared_ptr<LiveJournal> target = journal())
        target->sync();
    for (const std::shared_ptr<PollListener> &listener : listeners)
        listener->runEnded();
}
