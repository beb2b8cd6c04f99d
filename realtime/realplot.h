#pragma once

#include "realtime/pollfaults.h"
#include "views/trendplot.h"

#include <QMap>

#include <functional>
#include <memory>

class LiveJournal;
class QLabel;
class SignalData;

// The live trend window: one curve per measured quantity over the live
// series, the latest values in the legend, a time axis that scrolls with the
// acquisition, and the offer to save the series when it closes.
class RealPlot : public TrendPlot
{
    Q_OBJECT

public:
    enum class SaveResult { Saved, Cancelled, Failed };

    // Shows series, which outlives the window; the journal of the
    // window's samples is kept in journalFolder.
    RealPlot(const DisplayConfig &display, SignalData &series, QWidget *parent = nullptr,
             const QString &journalFolder = QString());
    ~RealPlot() override;

    // The sampling interval: a step between polls more than three times as
    // long is a gap in the series.
    void setSamplingInterval(unsigned int seconds);
    // A refresh every intervalSeconds, the sampling interval.
    void startRefresh(unsigned int intervalSeconds);
    void stopRefresh();
    // The refresh timer's work: latest values, time range, footer, badge.
    void refreshTick();
    bool isRefreshing() const { return refreshTimerId >= 0; }
    bool hasData() const;
    // Asks for a file and writes every live sample to it. A file that cannot
    // be written is reported, and the samples count as unsaved.
    SaveResult saveData();
    int savedSamples() const { return savedSampleCount; }

    // The crash copy of this window's series, for the sampling thread.
    std::shared_ptr<LiveJournal> journal() const { return liveJournal; }
    // For a window that opens on samples already journaled: they and the
    // ones to come go on in that journal.
    void adoptJournal(std::shared_ptr<LiveJournal> journal);
    // The live series' length, pending polls included.
    int liveSamples() const;

    // Whether every live sample is in a file already (the daily files of the
    // acquisition), so that closing need not ask to save them.
    void setSamplesHeldElsewhere(std::function<bool()> held) { heldElsewhere = std::move(held); }

    // The meter the question to save names, for a window among several
    // meters'; empty (the default): the question names none.
    void setMeterName(const QString &name) { meterName = name; }

    // Replaces the save dialog, for callers that already know the file.
    void setSaveFileNameProvider(std::function<QString()> provider);

    void replot() override;

    // The failed polls so far, told after the time range until replaced.
    void setPollFaults(const PollFaultTally &faults);
    // The other things the footer tells after the failed polls, in this
    // order, each until replaced; an empty text says nothing.
    enum class FooterNote { Saving, Forwarding };
    void setFooterNote(FooterNote note, const QString &text);

signals:
    // The window goes and takes the first rows of the live series with it,
    // saved or given up (all of them when it is destroyed without a close).
    // The rows from there on came while it closed, or come later: they stay
    // in the series and need a journal of their own.
    void seriesEnding(int rowsGone);
    // A save wrote this many samples to fileName.
    void seriesSaved(int records, const QString &fileName);

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void drawItems(QPainter *painter, const QRectF &rect, const QwtScaleMap maps[axisCnt]) const override;
    // The time span comes back with the next tick, which runs at once.
    void settingsApplied(const DisplayConfig &display) override;

private:
    QString askSaveFileName();
    void showFooter();
    void endSeries(int rows);

    SignalData &series;
    int refreshTimerId = -1;
    int savedSampleCount = 0;
    // The rows the accepted close saved or gave up; -1 before that.
    int rowsGone = -1;
    QLabel *timeBadge = nullptr;
    std::function<QString()> saveFileNameProvider;
    std::function<bool()> heldElsewhere;
    std::shared_ptr<LiveJournal> liveJournal;
    QString timeRangeText = QStringLiteral("时间范围：");
    QString meterName;
    PollFaultTally pollFaults;
    QMap<FooterNote, QString> footerNotes;
    // Set while replot() holds the series' read lock, so that an immediate
    // repaint inside it does not take it a second time.
    mutable bool seriesLocked = false;
};
