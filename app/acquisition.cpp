#include "app/acquisition.h"

#include "app/documents.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "realtime/metersession.h"
#include "realtime/realplot.h"
#include "views/savedialog.h"

#include <QApplication>
#include <QLabel>
#include <QStatusBar>

namespace {
const QString kRealTimeTitle = QStringLiteral("实时通讯 - 趋势图");
} // namespace

Acquisition::Acquisition(Documents &windows, QStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , windows(windows)
    , core(new Station(this))
    , views(size_t(core->meterCount()))
    , indicator(new QLabel(statusBar))
{
    statusBar->addPermanentWidget(indicator);
    indicator->hide();
    connect(core, &Station::frameReported, this, [this](int, const QString &frame) { emit addComMessage(frame); });
    connect(core, &Station::eventLogged, this, [this](int, const QString &line) { emit addComMessage(line); });
    connect(core, &Station::communicationError, this, &Acquisition::reportError);
    connect(core, &Station::journalFailed, this, &Acquisition::reportJournalError);
    connect(core, &Station::seriesGrew, this, [this] {
        updateIndicator();
        emit liveSeriesGrew();
    });
    connect(core, &Station::pollFaultsChanged, this, &Acquisition::showPollFaults);
    connect(core, &Station::saveFaultsChanged, this, &Acquisition::showSaveFaults);
    connect(core, &Station::forwardStatusChanged, this, &Acquisition::showForwardStatus);
    connect(core, &Station::finished, this, &Acquisition::threadFinished);
}

bool Acquisition::hasSamplesWithoutWindow() const
{
    return !realTimeWindow() && core->session(0).series().sizeWithPending() > 0;
}

void Acquisition::openRealTimeWindow()
{
    const int meter = 0;
    MeterView &view = views[size_t(meter)];
    if (view.window) {
        windows.activateSubWindow(kRealTimeTitle);
        return;
    }
    MeterSession &session = core->session(meter);
    const unsigned int interval = intervalSeconds(communicationSettings());
    RealPlot *plot = new RealPlot(AppConfig.disp, session.series());
    view.window = plot;
    plot->setSamplingInterval(interval);
    if (view.windowlessJournal)
        plot->adoptJournal(std::move(view.windowlessJournal));
    connect(plot, &QObject::destroyed, this, [this, meter] { windowDestroyed(meter); });
    connect(plot, &RealPlot::seriesEnding, this, [this, meter](int rowsGone) { keepJournalingWithoutWindow(meter, rowsGone); });
    connect(plot, &RealPlot::seriesSaved, this,
            [this](int records, const QString &fileName) { emit saved(savedRecordsText(records, fileName)); });
    connect(this, &Acquisition::displaySettingsChanged, plot, [plot] { plot->setSettings(AppConfig.disp); });
    windows.addDocumentWindow(plot, kRealTimeTitle);
    // Samples polled while no window was open show at once, not only after
    // a refresh interval (or never, when the acquisition has ended).
    plot->refreshTick();
    // Opened again while the thread still polls: show the acquisition.
    if (isAcquiring())
        plot->startRefresh(interval);
    session.setJournal(plot->journal());
    plot->setPollFaults(session.pollFaults);
    plot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
    updateIndicator();
    showSaveFaults(meter);
    plot->setSamplesHeldElsewhere([this, meter] { return core->seriesInDailyFiles(meter); });
}

void Acquisition::windowDestroyed(int meter)
{
    views[size_t(meter)].window = nullptr;
    // The series is empty again.
    core->session(meter).seriesRestarted();
    updateIndicator();
    emit realTimeWindowClosed();
}

void Acquisition::keepJournalingWithoutWindow(int meter, int rowsGone)
{
    // The rows after those the window takes with it, and the polls still to
    // come, go on in a journal of their own, which the next window takes
    // over. Switched while no poll is on its way, it holds each of them
    // once.
    MeterSession &session = core->session(meter);
    const bool polling = currentSamplingThread() && currentSamplingThread()->isRunning();
    if (!polling && session.series().sizeWithPending() <= rowsGone)
        return;
    auto journal = std::make_shared<LiveJournal>(LiveJournal::defaultFolder());
    bool failed = false;
    session.setJournal(journal, [&] {
        failed = journal->appendSeries(session.series(), rowsGone) == LiveJournal::AppendResult::Failed;
    });
    views[size_t(meter)].windowlessJournal = journal;
    if (failed)
        reportJournalError(meter, journal->path());
}

void Acquisition::start(const StationConfig &config)
{
    if (currentSamplingThread())
        return;
    // Before the first poll, so that none misses the window's journal.
    RealPlot *plot = realTimeWindow();
    const unsigned int interval = intervalSeconds(config.link);
    if (plot) {
        plot->setSamplingInterval(interval);
        core->session(0).setJournal(plot->journal());
    }
    if (!core->start(config))
        return;
    views.resize(size_t(core->meterCount()));
    forwardNote.clear();
    if (plot) {
        plot->setPollFaults(core->session(0).pollFaults);
        plot->setFooterNote(RealPlot::FooterNote::Saving, QString());
        plot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
        plot->startRefresh(interval);
    }
    updateIndicator();
}

void Acquisition::stop()
{
    stopThread();
    // Polled while no window showed them: the window opens on them and
    // asks as it does when it closes (Cancel leaves it open).
    if (hasSamplesWithoutWindow()) {
        openRealTimeWindow();
        realTimeWindow()->parentWidget()->close();
    }
}

void Acquisition::stopThread()
{
    if (!currentSamplingThread())
        return;
    // A poll in progress runs to its end, up to about 9 s with a silent
    // meter: a busy cursor says the program is waiting, not hanging.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    core->stop();
    QApplication::restoreOverrideCursor();
    for (const MeterView &view : views) {
        if (view.window)
            view.window->stopRefresh();
    }
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
    updateIndicator();
    emit finished();
}

void Acquisition::updateIndicator()
{
    const bool unseen = isAcquiring() && !realTimeWindow();
    if (unseen)
        indicator->setText(QStringLiteral("正在采集…（%1 条）").arg(core->session(0).series().sizeWithPending()));
    indicator->setVisible(unseen);
}

void Acquisition::reportError(SamplingThread::ComErrType kind)
{
    if (!shuttingDown)
        emit communicationError(kind);
}

void Acquisition::reportJournalError(int, const QString &path)
{
    if (!shuttingDown)
        emit warning(journalFailureText(path));
}

void Acquisition::showPollFaults(int meter)
{
    if (RealPlot *plot = views[size_t(meter)].window)
        plot->setPollFaults(core->session(meter).pollFaults);
}

void Acquisition::showSaveFaults(int meter)
{
    if (RealPlot *plot = views[size_t(meter)].window)
        plot->setFooterNote(RealPlot::FooterNote::Saving,
                            saveFaultSummary(core->session(meter).saveFaults, QDateTime::currentDateTime()));
}

void Acquisition::showForwardStatus(const ForwardStatus &status)
{
    forwardNote = forwardFooterText(status);
    for (const MeterView &view : views) {
        if (view.window)
            view.window->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
    }
}

void Acquisition::offerLeftJournals(QWidget *parent, const std::function<QString()> &askFileName)
{
    offerJournals(parent, LiveJournal::defaultFolder(),
                  askFileName ? askFileName : std::function<QString()>([parent] { return askDataFileSaveName(parent); }),
                  [this](int records, const QString &fileName) { emit saved(savedRecordsText(records, fileName)); });
}
