#pragma once

#include "realtime/pollfaults.h"

#include <qwt_plot.h>

#include <QVector>

#include <functional>
#include <memory>

class CurveSwitch;
class LiveJournal;
class QLabel;
class QwtLegend;
class QwtPlotCurve;
class QwtPlotGrid;

// The live trend window: one curve per measured quantity over the live
// stores, the latest values in the legend, a time axis that scrolls with the
// acquisition, and the offer to save the series when it closes.
class RealPlot : public QwtPlot
{
    Q_OBJECT

public:
    enum class SaveResult { Saved, Cancelled, Failed };

    // The journal of the window's samples is kept in journalFolder.
    explicit RealPlot(QWidget *parent = nullptr, const QString &journalFolder = QString());
    ~RealPlot() override;

    void startRefresh();
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
    // Samples in store 0, the live series' length.
    static int liveSamples();

    // Replaces the save dialog, for callers that already know the file.
    void setSaveFileNameProvider(std::function<QString()> provider);

    void replot() override;

    // The failed polls so far, told after the time range until replaced.
    void setPollFaults(const PollFaultTally &faults);

public slots:
    void applySettings();

signals:
    // The window is going and empties the live stores right after: polls
    // that come later need a journal of their own.
    void seriesEnding();

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void drawItems(QPainter *painter, const QRectF &rect, const QwtScaleMap maps[axisCnt]) const override;

private:
    QString askSaveFileName();
    void showFooter();

    int refreshTimerId = -1;
    int savedSampleCount = 0;
    QwtLegend *legend = nullptr;
    QLabel *timeBadge = nullptr;
    QwtPlotGrid *grid = nullptr;
    QVector<QwtPlotCurve *> curves;
    CurveSwitch *curveSwitch = nullptr;
    std::function<QString()> saveFileNameProvider;
    std::shared_ptr<LiveJournal> liveJournal;
    QString timeRangeText = QStringLiteral("时间范围：");
    PollFaultTally pollFaults;
    // Set while replot() holds the store locks, so that an immediate repaint
    // inside it does not take them a second time.
    mutable bool storesLocked = false;
};
