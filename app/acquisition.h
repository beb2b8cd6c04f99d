#pragma once

#include "comm/mqttforwarder.h"
#include "comm/pollfaults.h"
#include "comm/samplingthread.h"
#include "data/appconfig.h"
#include "realtime/dailyfiles.h"
#include "realtime/metersession.h"

#include <QObject>

#include <functional>
#include <memory>

class QDateTime;
class QLabel;
class QStatusBar;
class QWidget;

class Documents;
class LiveJournal;
class RealPlot;

// Live acquisition: the real-time window, the sampling thread while one
// exists, the journal of polls no window shows, and the tally of failed
// polls. What the user is to be told leaves through the signals; the main
// window decides how to show it. An acquisition whose window is closed
// shows in the status bar.
class Acquisition : public QObject
{
    Q_OBJECT

public:
    // The real-time window goes among the document windows; statusBar
    // tells of an acquisition without it.
    Acquisition(Documents &windows, QStatusBar *statusBar, QObject *parent = nullptr);

    RealPlot *realTimeWindow() const { return realPlot; }
    SamplingThread *currentSamplingThread() const { return samplingThread; }
    // The meter's live series, journal, listeners and counts.
    MeterSession &meterSession() const { return *session; }
    bool isAcquiring() const { return acquiring; }
    // Samples acquired since the real-time window closed, which no window
    // has asked about yet.
    bool hasSamplesWithoutWindow() const;

    // Activates the real-time window, creating it when there is none.
    void openRealTimeWindow();
    // A new thread with these settings, unless one exists; keepAcquiring
    // goes on through failed polls; with a dailyFolder every poll is also
    // appended to the data file of its day there, and with forwarding on it
    // is published to the broker too.
    void start(const ComConfig &settings, bool keepAcquiring, const QString &dailyFolder = QString(),
               const ForwardConfig &forwarding = ForwardConfig());
    // The settings of the latest start, for the texts of its errors.
    const ComConfig &communicationSettings() const { return settings; }
    // Waits for the thread to leave its loop; the object goes when its
    // finish arrives. Samples polled since the window closed are then asked
    // about as closing the window asks, in the window.
    void stop();
    // The thread object is a child of this one and must have left its loop
    // before it is destroyed; the warnings of the stop are not shown.
    void stopForShutdown();
    // The journals an earlier run left behind, offered one by one over
    // parent; askFileName replaces the save dialog, empty for the dialog.
    void offerLeftJournals(QWidget *parent, const std::function<QString()> &askFileName);

signals:
    void displaySettingsChanged();
    // The link's frames (the thread connects them by this signature) and
    // the notes of failed polls.
    void addComMessage(const QString &message);
    void communicationError(SamplingThread::ComErrType kind);
    void warning(const QString &text);
    // Live samples went to a file: the window's series or a left journal's.
    void saved(const QString &text);
    // A poll went into the live series, which may have been empty.
    void liveSeriesGrew();
    void realTimeWindowClosed();
    // The thread has ended and its object is gone.
    void finished();
    // Emitted in the sampling thread; counted queued in this one.
    void dailyFileFailed(uint time, const QString &path, const QString &reason);

private slots:
    void reportError(SamplingThread::ComErrType kind);
    void countPollFault(SamplingThread::ComErrType kind, const QDateTime &when);
    void reportJournalError(const QString &path);
    void countSlots(int slotCount, int missed);
    void keepJournalingWithoutWindow(int rowsGone);
    void realTimeWindowDestroyed();
    void threadFinished();
    void showForwardStatus(const ForwardStatus &status);
    void updateIndicator();

private:
    void startForwarding(const ForwardConfig &forwarding);
    void stopThread();
    void countSaveFault(uint time, const QString &path, const QString &reason);

    Documents &windows;
    RealPlot *realPlot = nullptr;
    SamplingThread *samplingThread = nullptr;
    bool acquiring = false;
    ComConfig settings{};
    std::shared_ptr<MeterSession> session = std::make_shared<MeterSession>(MeterConfig());
    // The journal of the polls made while no real-time window is open; the
    // next window takes it over with the samples it shows.
    std::shared_ptr<LiveJournal> windowlessJournal;
    // Set once the close has been accepted: warnings are no longer shown.
    bool shuttingDown = false;
    // The publisher of the latest acquisition, kept after it so that its
    // last messages can go out; what the footer and the event log last said.
    std::shared_ptr<MqttForwarder> forwarder;
    QString forwardServer;
    QString forwardNote;
    QString forwardLogLine;
    // "正在采集…（N 条）" while the thread polls and no window shows it.
    QLabel *indicator;
};
