#pragma once

#include "comm/acquisitionlock.h"
#include "comm/samplingthread.h"
#include "comm/station.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QStatusBar;
class QWidget;

class Documents;
class LiveJournal;
class RealPlot;
struct ForwardStatus;

// Whether the program starts acquiring, with its real-time windows, as it
// starts: when the station asks for it, and when the latest acquisition in
// its directory ended while acquiring (a crash, a power cut, a kill), so
// that the recording goes on without a click. One going on in another
// program is refused as any start is.
bool startsAcquiringAtStartUp(bool startAcquiring, AcquisitionLock::PreviousRun previous);

// Live acquisition as the user sees it: the real-time window of each meter
// of the station, the journal of the polls no window shows, and the status
// bar's note of an acquisition without its window. The station does the
// acquiring; what the user is to be told leaves through the signals, and the
// main window decides how to show it.
class Acquisition : public QObject
{
    Q_OBJECT

public:
    // The real-time window goes among the document windows; statusBar
    // tells of an acquisition without it.
    Acquisition(Documents &windows, QStatusBar *statusBar, QObject *parent = nullptr);

    Station &station() const { return *core; }
    // The real-time window of the meter (its place among the station's
    // meters), null while it has none.
    RealPlot *realTimeWindow(int meter = 0) const;
    // The real-time window the user works in: the active sub-window when it
    // is one, otherwise the first that is open; null when none is.
    RealPlot *currentRealTimeWindow() const;
    SamplingThread *currentSamplingThread() const { return core->samplingThread(); }
    bool isAcquiring() const { return core->isAcquiring(); }
    // Samples acquired since a meter's real-time window closed, which no
    // window has asked about yet.
    bool hasSamplesWithoutWindow() const;

    // Activates the real-time window of every meter, creating the ones that
    // are closed: the meters of the running acquisition, otherwise these.
    void openRealTimeWindows(const QVector<MeterConfig> &meters);
    // A new run with these settings, unless a thread exists or the window
    // of a meter the settings no longer name stays open (its question to
    // save was cancelled). Refused while another program acquires in the
    // working directory: the text to show then, empty otherwise.
    QString start(const StationConfig &config);
    // The text of an error that ended a meter's part of the latest run
    // (the whole run for -1).
    QString errorText(int meter, SamplingThread::ComErrType kind) const;
    // Waits for the thread to leave its loop; the object goes when its
    // finish arrives. Samples polled since a meter's window closed are then
    // asked about as closing the window asks, in the window.
    void stop();
    // The thread object must have left its loop before it is destroyed;
    // the warnings of the stop are not shown.
    void stopForShutdown();
    // The journals an earlier run left behind, offered one by one over
    // parent; askFileName replaces the save dialog, empty for the dialog.
    // A journal saved is a line in the log of the settings' daily folder.
    void offerLeftJournals(QWidget *parent, const std::function<QString()> &askFileName, const StationConfig &settings);
    // Today's lines of the event log on disk: the running acquisition's,
    // otherwise the settings' daily folder's.
    QVector<EventLine> todaysLog(const StationConfig &settings);

signals:
    void displaySettingsChanged();
    // The link's frames and the lines of the event log.
    void addComMessage(const EventLine &line);
    void communicationError(int meter, SamplingThread::ComErrType kind);
    void warning(const QString &text);
    // Live samples went to a file: the window's series or a left journal's.
    void saved(const QString &text);
    // A poll went into the live series, which may have been empty.
    void liveSeriesGrew();
    void realTimeWindowClosed();
    // The thread has ended and its object is gone.
    void finished();

private slots:
    void reportError(int meter, SamplingThread::ComErrType kind);
    void reportJournalError(int meter, const QString &path);
    void showPollFaults(int meter);
    void showSaveFaults(int meter);
    void showForwardStatus(const ForwardStatus &status);
    void threadFinished();
    void updateIndicator();

private:
    void openRealTimeWindow(int meter);
    // The station's meters become these, each keeping its window, series
    // and journal; the windows of meters no longer named close first (false
    // when one stays open: its question to save was cancelled).
    bool takeMeters(const QVector<MeterConfig> &meters);
    // The place of the meter whose window it is, -1 for none.
    int meterOf(const RealPlot *window) const;
    void keepJournalingWithoutWindow(int meter, int rowsGone);
    void windowDestroyed(int meter);
    void stopThread();
    // Outside a run, the log goes where the settings say.
    void takeLogPlace(const StationConfig &settings);

    // What the user interface keeps of a meter: its real-time window, and
    // the journal of the polls made while that is closed, which the next
    // window takes over with the samples it shows.
    struct MeterView {
        RealPlot *window = nullptr;
        std::shared_ptr<LiveJournal> windowlessJournal;
    };

    Documents &windows;
    // Held from a start to the thread's end.
    AcquisitionLock lock;
    Station *core;
    std::vector<MeterView> views;
    // Set once the close has been accepted: warnings are no longer shown.
    bool shuttingDown = false;
    // What the footer last said of the forwarding.
    QString forwardNote;
    // "正在采集 3 台电表…（N 条）" while the thread polls meters no window
    // shows ("正在采集…（N 条）" for a lone meter).
    QLabel *indicator;
};
