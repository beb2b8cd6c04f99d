#include "app/acquisition.h"

#include "app/documents.h"
#include "app/journalrecovery.h"
#include "realtime/livejournal.h"
#include "realtime/metersession.h"
#include "realtime/realplot.h"
#include "views/savedialog.h"

#include <QApplication>
#include <QLabel>
#include <QMdiSubWindow>
#include <QStatusBar>

namespace {

QString realTimeTitle(const MeterConfig &meter)
{
    return QStringLiteral("实时通讯 - ") + meter.name + QStringLiteral(" - 趋势图");
}

// The status bar's note of polls no window shows: of how many meters (0
// for a lone meter, which needs no count) and how many samples.
QString acquiringNote(int meters, int samples)
{
    if (meters == 0)
        return QStringLiteral("正在采集…（%1 条）").arg(samples);
    return QStringLiteral("正在采集 %1 台电表…（%2 条）").arg(meters).arg(samples);
}

} // namespace

bool startsAcquiringAtStartUp(bool startAcquiring, AcquisitionLock::PreviousRun previous)
{
    return startAcquiring || previous == AcquisitionLock::PreviousRun::Interrupted;
}

Acquisition::Acquisition(Documents &windows, QStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , windows(windows)
    , core(new Station(this))
    , views(size_t(core->meterCount()))
    , indicator(new QLabel(statusBar))
{
    statusBar->addPermanentWidget(indicator);
    indicator->hide();
    connect(core, &Station::frameReported, this, [this](int meter, const QString &frame) {
        emit addComMessage({QDateTime::currentDateTime(), core->logMeterName(meter), frame});
    });
    connect(core, &Station::eventLogged, this, [this](int, const EventLine &line) { emit addComMessage(line); });
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

RealPlot *Acquisition::realTimeWindow(int meter) const
{
    return meter >= 0 && meter < int(views.size()) ? views[size_t(meter)].window : nullptr;
}

RealPlot *Acquisition::currentRealTimeWindow() const
{
    const QWidget *active = windows.currentDocument().window;
    RealPlot *first = nullptr;
    for (const MeterView &view : views) {
        if (view.window && view.window->parentWidget() == active)
            return view.window;
        if (!first)
            first = view.window;
    }
    return first;
}

bool Acquisition::hasSamplesWithoutWindow() const
{
    for (int m = 0; m < int(views.size()); ++m) {
        if (!views[size_t(m)].window && core->session(m).series().sizeWithPending() > 0)
            return true;
    }
    return false;
}

void Acquisition::openRealTimeWindows(const QVector<MeterConfig> &meters)
{
    // The meters of the settings, unless an acquisition polls others now.
    if (!currentSamplingThread() && !meters.isEmpty())
        takeMeters(meters);
    for (int m = 0; m < core->meterCount(); ++m)
        openRealTimeWindow(m);
}

bool Acquisition::takeMeters(const QVector<MeterConfig> &meters)
{
    const QVector<int> before = sameMeters(core->meters(), meters);
    for (int m = 0; m < int(views.size()); ++m) {
        RealPlot *plot = views[size_t(m)].window;
        if (!plot || before.contains(m))
            continue;
        // Gone at once, not later: the window's farewell still needs its
        // meter's session, which goes next.
        QWidget *subWindow = plot->parentWidget();
        if (!subWindow->close())
            return false;
        delete subWindow;
    }
    std::vector<MeterView> next(size_t(meters.size()));
    for (int m = 0; m < int(views.size()); ++m) {
        const int place = before.indexOf(m);
        if (place >= 0)
            next[size_t(place)] = std::move(views[size_t(m)]);
        else if (const std::shared_ptr<LiveJournal> &journal = views[size_t(m)].windowlessJournal)
            journal->close(); // kept on disk for the next start to offer
    }
    views = std::move(next);
    core->setMeters(meters);
    return true;
}

int Acquisition::meterOf(const RealPlot *window) const
{
    for (int m = 0; m < int(views.size()); ++m) {
        if (views[size_t(m)].window == window)
            return m;
    }
    return -1;
}

void Acquisition::openRealTimeWindow(int meter)
{
    MeterView &view = views[size_t(meter)];
    MeterSession &session = core->session(meter);
    if (view.window) {
        // Renamed meanwhile in the settings, perhaps.
        view.window->parentWidget()->setWindowTitle(realTimeTitle(session.meter()));
        view.window->setMeterName(core->meterCount() > 1 ? session.meter().name : QString());
        windows.activateSubWindow(realTimeTitle(session.meter()));
        return;
    }
    const unsigned int interval = intervalSeconds(core->config().link);
    RealPlot *plot = new RealPlot(AppConfig.disp, session.series());
    view.window = plot;
    plot->setSamplingInterval(interval);
    plot->setMeterName(core->meterCount() > 1 ? session.meter().name : QString());
    plot->journal()->setMeter(session.meter());
    if (view.windowlessJournal)
        plot->adoptJournal(std::move(view.windowlessJournal));
    // Known by the window, not by its place: the places change when the
    // settings name other meters.
    connect(plot, &QObject::destroyed, this, [this, plot] { windowDestroyed(meterOf(plot)); });
    connect(plot, &RealPlot::seriesEnding, this,
            [this, plot](int rowsGone) { keepJournalingWithoutWindow(meterOf(plot), rowsGone); });
    connect(plot, &RealPlot::seriesSaved, this,
            [this](int records, const QString &fileName) { emit saved(savedRecordsText(records, fileName)); });
    connect(this, &Acquisition::displaySettingsChanged, plot, [plot] { plot->setSettings(AppConfig.disp); });
    windows.addDocumentWindow(plot, realTimeTitle(session.meter()));
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
    plot->setSamplesHeldElsewhere([this, plot] { return core->seriesInDailyFiles(meterOf(plot)); });
}

void Acquisition::windowDestroyed(int meter)
{
    if (meter < 0)
        return;
    views[size_t(meter)].window = nullptr;
    // The series is empty again.
    core->session(meter).seriesRestarted();
    updateIndicator();
    emit realTimeWindowClosed();
}

void Acquisition::keepJournalingWithoutWindow(int meter, int rowsGone)
{
    if (meter < 0)
        return;
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

QString Acquisition::start(const StationConfig &config)
{
    if (currentSamplingThread() || config.meters.isEmpty())
        return QString();
    if (lock.claim() != AcquisitionLock::Outcome::Taken)
        return lock.problem();
    const QVector<int> before = sameMeters(core->meters(), config.meters);
    if (!takeMeters(config.meters)) {
        lock.release();
        return QString();
    }
    // A meter new to the station shows, as the others did when their
    // windows were opened.
    for (int m = 0; m < before.size(); ++m) {
        if (before[m] < 0)
            openRealTimeWindow(m);
    }
    // Before the first poll, so that none misses a journal: a window's, or
    // one of its own for a meter without a window.
    const unsigned int interval = intervalSeconds(config.link);
    for (int m = 0; m < core->meterCount(); ++m) {
        MeterView &view = views[size_t(m)];
        MeterSession &session = core->session(m);
        if (view.window) {
            view.window->setSamplingInterval(interval);
            session.setJournal(view.window->journal());
        } else if (!view.windowlessJournal) {
            view.windowlessJournal = std::make_shared<LiveJournal>(LiveJournal::defaultFolder());
            view.windowlessJournal->setMeter(session.meter());
            session.setJournal(view.windowlessJournal);
        }
    }
    if (!core->start(config)) {
        lock.release();
        return QString();
    }
    if (const QString interrupted = lock.interruptedRunText(); !interrupted.isEmpty())
        core->logEvent(-1, interrupted);
    forwardNote.clear();
    for (int m = 0; m < core->meterCount(); ++m) {
        if (RealPlot *plot = views[size_t(m)].window) {
            plot->parentWidget()->setWindowTitle(realTimeTitle(core->session(m).meter()));
            plot->setMeterName(core->meterCount() > 1 ? core->session(m).meter().name : QString());
            plot->setPollFaults(core->session(m).pollFaults);
            plot->setFooterNote(RealPlot::FooterNote::Saving, QString());
            plot->setFooterNote(RealPlot::FooterNote::Forwarding, forwardNote);
            plot->startRefresh(interval);
        }
    }
    updateIndicator();
    return QString();
}

QString Acquisition::errorText(int meter, SamplingThread::ComErrType kind) const
{
    return stationErrorText(core->config(), meter, kind);
}

void Acquisition::stop()
{
    stopThread();
    // Polled while no window showed them: the window opens on them and
    // asks as it does when it closes (Cancel leaves it open).
    for (int m = 0; m < core->meterCount(); ++m) {
        if (!views[size_t(m)].window && core->session(m).series().sizeWithPending() > 0) {
            openRealTimeWindow(m);
            views[size_t(m)].window->parentWidget()->close();
        }
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
    lock.release();
    updateIndicator();
    emit finished();
}

void Acquisition::updateIndicator()
{
    int meters = 0;
    int samples = 0;
    for (int m = 0; m < int(views.size()); ++m) {
        if (!views[size_t(m)].window) {
            ++meters;
            samples += core->session(m).series().sizeWithPending();
        }
    }
    const bool unseen = isAcquiring() && meters > 0;
    if (unseen)
        indicator->setText(acquiringNote(core->meterCount() > 1 ? meters : 0, samples));
    indicator->setVisible(unseen);
}

void Acquisition::reportError(int meter, SamplingThread::ComErrType kind)
{
    if (!shuttingDown)
        emit communicationError(meter, kind);
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

void Acquisition::offerLeftJournals(QWidget *parent, const std::function<QString()> &askFileName,
                                    const StationConfig &settings)
{
    takeLogPlace(settings);
    offerJournals(parent, LiveJournal::defaultFolder(),
                  askFileName ? askFileName : std::function<QString()>([parent] { return askDataFileSaveName(parent); }),
                  [this](const JournalSummary &journal, const QString &fileName) {
                      core->logJournalRecovered(journal.hasMeter ? journal.meter : MeterConfig(), journal.records, fileName);
                      emit saved(savedRecordsText(journal.records, fileName));
                  });
}

QVector<EventLine> Acquisition::todaysLog(const StationConfig &settings)
{
    takeLogPlace(settings);
    return core->todaysLog();
}

void Acquisition::takeLogPlace(const StationConfig &settings)
{
    if (!currentSamplingThread())
        core->setLogPlace(settings.dailyFolder, settings.meters);
}
