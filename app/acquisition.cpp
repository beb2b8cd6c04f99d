#include "app/acquisition.h"

#include "app/documents.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "realtime/polllistener.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "views/savedialog.h"

#include <QApplication>
#include <QLabel>
#include <QStatusBar>

namespace {
const QString kRealTimeTitle = QStringLiteral("实时通讯 - 趋势图");

// Tells the user interface thread of each stored poll, so that what
// depends on the series having samples (Save) follows it at once rather
// than at the window's next refresh, which may be hours away.
class GrowthNotice : public PollListener
{
public:
    explicit GrowthNotice(Acquisition *acquisition)
        : acquisition(acquisition)
    {
    }
    void pollStored(uint32_t, const SampleRecord &) override
    {
        // Dropped unread if the acquisition object is gone by then.
        QMetaObject::invokeMethod(acquisition, &Acquisition::liveSeriesGrew, Qt::QueuedConnection);
    }

private:
    Acquisition *acquisition;
};
} // namespace

Acquisition::Acquisition(Documents &windows, QStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , windows(windows)
    , indicator(new QLabel(statusBar))
{
    statusBar->addPermanentWidget(indicator);
    indicator->hide();
    connect(this, &Acquisition::liveSeriesGrew, this, &Acquisition::updateIndicator);
    connect(this, &Acquisition::dailyFileFailed, this, &Acquisition::countSaveFault, Qt::QueuedConnection);
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
    connect(realPlot, &RealPlot::seriesSaved, this,
            [this](int records, const QString &fileName) { emit saved(savedRecordsText(records, fileName)); });
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
    realPlot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
    updateIndicator();
    realPlot->setFooterNote(RealPlot::FooterNote::Saving, saveFaultSummary(saveFaults, QDateTime::currentDateTime()));
    realPlot->setSamplesHeldElsewhere([this] { return seriesInDailyFiles(); });
}

void Acquisition::realTimeWindowDestroyed()
{
    realPlot = nullptr;
    // The series is empty again.
    seriesAtStart = 0;
    seriesOutsideDailyFiles = false;
    updateIndicator();
    emit realTimeWindowClosed();
}

void Acquisition::keepJournalingWithoutWindow(int rowsGone)
{
    // The rows after those the window takes with it, and the polls still to
    // come, go on in a journal of their own, which the next window takes
    // over. Switched while no poll is on its way, it holds each of them
    // once.
    const bool polling = samplingThread && samplingThread->isRunning();
    if (!polling && RealPlot::liveSamples() <= rowsGone)
        return;
    auto journal = std::make_shared<LiveJournal>(LiveJournal::defaultFolder());
    bool failed = false;
    const auto carryOver = [&] {
        failed = journal->appendSeries(SignalData::instance(), rowsGone) == LiveJournal::AppendResult::Failed;
    };
    if (samplingThread)
        samplingThread->setJournal(journal, carryOver);
    else
        carryOver();
    windowlessJournal = journal;
    if (failed)
        reportJournalError(journal->path());
}

void Acquisition::start(const ComConfig &settings, bool keepAcquiring, const QString &dailyFolder,
                        const ForwardConfig &forwarding)
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
    connect(samplingThread, &SamplingThread::slotsCounted, this, &Acquisition::countSlots);
    samplingThread->setKeepAcquiring(keepAcquiring);
    samplingThread->setSettings(settings);
    samplingThread->addPollListener(std::make_shared<GrowthNotice>(this));
    pollFaults = PollFaultTally();
    saveFaults = PollFaultTally();
    seriesAtStart = RealPlot::liveSamples();
    if (!dailyFolder.isEmpty()) {
        dailyFiles = std::make_shared<DailyFiles>(dailyFolder, [this](const DailyFiles::Fault &fault) {
            emit dailyFileFailed(fault.time, fault.path, fault.reason);
        });
        samplingThread->addPollListener(dailyFiles);
    }
    startForwarding(forwarding);
    if (realPlot) {
        realPlot->setSamplingInterval(intervalSeconds(settings));
        samplingThread->setJournal(realPlot->journal());
        realPlot->setPollFaults(pollFaults);
        realPlot->setFooterNote(RealPlot::FooterNote::Saving, QString());
    }
    samplingThread->start();
    if (realPlot)
        realPlot->startRefresh(intervalSeconds(settings));
    acquiring = true;
    updateIndicator();
}

void Acquisition::stop()
{
    stopThread();
    // Polled while no window showed them: the window opens on them and
    // asks as it does when it closes (Cancel leaves it open).
    if (hasSamplesWithoutWindow()) {
        openRealTimeWindow();
        realPlot->parentWidget()->close();
    }
}

void Acquisition::stopThread()
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
    updateIndicator();
}

void Acquisition::stopForShutdown()
{
    // From here on the window goes: a warning of the poll that the stop
    // waits for would come up with no window behind it.
    shuttingDown = true;
    stopThread();
}

void Acquisition::threadFinished()
{
    if (!samplingThread)
        return;
    // Polls left pending by a save would otherwise wait for the next
    // acquisition and open its series.
    SignalData::instance().flushPending();
    seriesOutsideDailyFiles = !seriesInDailyFiles();
    dailyFiles.reset();
    delete samplingThread;
    samplingThread = nullptr;
    acquiring = false;
    updateIndicator();
    emit finished();
}

void Acquisition::updateIndicator()
{
    const bool unseen = acquiring && !realPlot;
    if (unseen)
        indicator->setText(QStringLiteral("正在采集…（%1 条）").arg(RealPlot::liveSamples()));
    indicator->setVisible(unseen);
}

void Acquisition::reportError(SamplingThread::ComErrType kind)
{
    if (!shuttingDown)
        emit communicationError(kind);
}

void Acquisition::countPollFault(SamplingThread::ComErrType kind, const QDateTime &when)
{
    // The window learns of it with the count of the slot, which follows.
    pollFaults.add(when);
    emit addComMessage(pollFaultLogText(kind, when, settings));
}

void Acquisition::countSlots(int slotCount, int missed)
{
    pollFaults.slotCount = slotCount;
    pollFaults.missed = missed;
    if (realPlot)
        realPlot->setPollFaults(pollFaults);
}

void Acquisition::reportJournalError(const QString &path)
{
    if (!shuttingDown)
        emit warning(journalFailureText(path));
}

void Acquisition::startForwarding(const ForwardConfig &forwarding)
{
    forwarder.reset();
    forwardNote.clear();
    forwardLogLine.clear();
    if (realPlot)
        realPlot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
    if (!forwarding.enabled)
        return;
    forwardServer = forwarding.server;
    forwarder = std::make_shared<MqttForwarder>(forwarding, intervalSeconds(settings));
    // Emitted by the publishing thread: queued to this one.
    connect(forwarder.get(), &MqttForwarder::statusChanged, this, &Acquisition::showForwardStatus);
    samplingThread->addPollListener(forwarder);
}

void Acquisition::showForwardStatus(const ForwardStatus &status)
{
    // The last words of an earlier acquisition's publisher may come late.
    if (sender() != forwarder.get())
        return;
    forwardNote = forwardFooterText(status);
    if (realPlot)
        realPlot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
    const QString line = forwardLogText(status, forwardServer);
    if (!line.isEmpty() && line != forwardLogLine) {
        forwardLogLine = line;
        emit addComMessage(line);
    }
}

void Acquisition::offerLeftJournals(QWidget *parent, const std::function<QString()> &askFileName)
{
    offerJournals(parent, LiveJournal::defaultFolder(),
                  askFileName ? askFileName : std::function<QString()>([parent] { return askDataFileSaveName(parent); }),
                  [this](int records, const QString &fileName) { emit saved(savedRecordsText(records, fileName)); });
}

void Acquisition::countSaveFault(uint time, const QString &path, const QString &reason)
{
    saveFaults.add(QDateTime::fromTime_t(time));
    emit addComMessage(DailyFiles::faultLogText({time, path, reason}));
    if (realPlot)
        realPlot->setFooterNote(RealPlot::FooterNote::Saving, saveFaultSummary(saveFaults, QDateTime::currentDateTime()));
}

bool Acquisition::seriesInDailyFiles() const
{
    if (seriesOutsideDailyFiles)
        return false;
    if (dailyFiles)
        return dailyFiles->unwritten() == 0;
    return !samplingThread || RealPlot::liveSamples() <= seriesAtStart;
}
