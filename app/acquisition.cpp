#include "app/acquisition.h"

#include "app/documents.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"

#include <QApplication>

namespace {
const QString kRealTimeTitle = QStringLiteral("实时通讯 - 趋势图");
} // namespace

Acquisition::Acquisition(Documents &windows, QObject *parent)
    : QObject(parent)
    , windows(windows)
{
}

bool Acquisition::hasSamplesWithoutWindow() const
{
    return !realPlot && RealPlot::liveSamples() > 0;
}

void Acquisition::openRealTimeWindow()
{
    if (realPlot) {
        windows.activateSubWindow(kRealTimeTitle);
        return;
    }
    realPlot = new RealPlot(AppConfig.disp);
    realPlot->setSamplingInterval(intervalSeconds(settings));
    if (windowlessJournal)
        realPlot->adoptJournal(std::move(windowlessJournal));
    connect(realPlot, &QObject::destroyed, this, &Acquisition::realTimeWindowDestroyed);
    connect(realPlot, &RealPlot::seriesEnding, this, &Acquisition::keepJournalingWithoutWindow);
    connect(this, &Acquisition::displaySettingsChanged, realPlot, [plot = realPlot] { plot->setSettings(AppConfig.disp); });
    windows.addDocumentWindow(realPlot, kRealTimeTitle);
    // Samples polled while no window was open show at once, not only after
    // a refresh interval (or never, when the acquisition has ended).
    realPlot->refreshTick();
    // Opened again while the thread still polls: show the acquisition.
    if (acquiring)
        realPlot->startRefresh(intervalSeconds(settings));
    if (samplingThread)
        samplingThread->setJournal(realPlot->journal());
    realPlot->setPollFaults(pollFaults);
}

void Acquisition::realTimeWindowDestroyed()
{
    realPlot = nullptr;
    emit realTimeWindowClosed();
}

void Acquisition::keepJournalingWithoutWindow()
{
    // The thread goes on polling into the stores the window is about to
    // empty. Switched before they are emptied, a poll of that moment lands
    // in the new journal rather than in none.
    if (samplingThread && samplingThread->isRunning()) {
        windowlessJournal = std::make_shared<LiveJournal>(LiveJournal::defaultFolder());
        samplingThread->setJournal(windowlessJournal);
    }
}

void Acquisition::start(const ComConfig &settings, bool keepAcquiring)
{
    if (samplingThread)
        return;
    this->settings = settings;
    // The thread's parent receives the link's frames through its
    // addComMessage signal.
    samplingThread = new SamplingThread(this);
    connect(samplingThread, &QThread::finished, this, &Acquisition::threadFinished);
    connect(samplingThread, &SamplingThread::warning, this, &Acquisition::reportError);
    connect(samplingThread, &SamplingThread::journalFailed, this, &Acquisition::reportJournalError);
    connect(samplingThread, &SamplingThread::pollFailed, this, &Acquisition::countPollFault);
    samplingThread->setKeepAcquiring(keepAcquiring);
    samplingThread->setSettings(settings);
    pollFaults = PollFaultTally();
    if (realPlot) {
        realPlot->setSamplingInterval(intervalSeconds(settings));
        samplingThread->setJournal(realPlot->journal());
        realPlot->setPollFaults(pollFaults);
    }
    samplingThread->start();
    if (realPlot)
        realPlot->startRefresh(intervalSeconds(settings));
    acquiring = true;
}

void Acquisition::stop()
{
    if (!samplingThread)
        return;
    // A poll in progress runs to its end, up to about 9 s with a silent
    // meter: a busy cursor says the program is waiting, not hanging.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    samplingThread->stop();
    samplingThread->wait();
    QApplication::restoreOverrideCursor();
    acquiring = false;
    if (realPlot)
        realPlot->stopRefresh();
}

void Acquisition::stopForShutdown()
{
    // From here on the window goes: a warning of the poll that the stop
    // waits for would come up with no window behind it.
    shuttingDown = true;
    stop();
}

void Acquisition::threadFinished()
{
    if (!samplingThread)
        return;
    // Polls left pending by a save would otherwise wait for the next
    // acquisition and open its series.
    SignalData::instance().flushPending();
    delete samplingThread;
    samplingThread = nullptr;
    acquiring = false;
    emit finished();
}

void Acquisition::reportError(SamplingThread::ComErrType kind)
{
    if (!shuttingDown)
        emit communicationError(kind);
}

void Acquisition::countPollFault(SamplingThread::ComErrType kind, const QDateTime &when)
{
    pollFaults.add(when);
    emit addComMessage(pollFaultLogText(kind, when, settings));
    if (realPlot)
        realPlot->setPollFaults(pollFaults);
}

void Acquisition::reportJournalError(const QString &path)
{
    if (!shuttingDown)
        emit warning(journalFailureText(path));
}
