#include "realtime/realplot.h"

#include "data/atomicfile.h"
#include "data/datafile.h"
#include "data/localtimetext.h"
#include "data/paramtable.h"
#include "realtime/curvedata.h"
#include "realtime/livejournal.h"
#include "realtime/signaldata.h"
#include "views/legendtitle.h"
#include "views/savedialog.h"
#include "views/timescaledraw.h"
#include "views/widgetbrush.h"

#include <qwt_plot_curve.h>
#include <qwt_text.h>

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace {

const int kBadgeWidth = 172;
const int kBadgeHeight = 16;

// Holds the series' read lock for one pass over it.
class SeriesReadLocker
{
public:
    explicit SeriesReadLocker(const SignalData &series)
        : series(series)
    {
        series.lock();
    }
    ~SeriesReadLocker() { series.unlock(); }
    SeriesReadLocker(const SeriesReadLocker &) = delete;
    SeriesReadLocker &operator=(const SeriesReadLocker &) = delete;

private:
    const SignalData &series;
};

} // namespace

RealPlot::RealPlot(const DisplayConfig &display, SignalData &liveSeries, QWidget *parent, const QString &journalFolder)
    : TrendPlot(parent)
    , series(liveSeries)
    , liveJournal(std::make_shared<LiveJournal>(journalFolder.isEmpty() ? LiveJournal::defaultFolder() : journalFolder))
{
    setFooter(QStringLiteral("时间范围："));
    addCurves([this](int k) { return new CurveData(series, k); },
              [](int k) { return fitLegendTitle(parameterLabel(k + 1)); });
    setSettings(display);

    timeBadge = new QLabel(canvas());
    timeBadge->resize(kBadgeWidth, kBadgeHeight);
    QFont font = timeBadge->font();
    font.setPixelSize(16);
    font.setWeight(75);
    timeBadge->setFont(font);
    fillBackground(timeBadge, QBrush(QColor(QStringLiteral("#cccccc"))));
    timeBadge->hide();
}

RealPlot::~RealPlot()
{
    if (rowsGone < 0) {
        // Gone without a close that saved or gave up its samples: the
        // journal stays for the next start to offer.
        rowsGone = liveSamples();
        emit seriesEnding(rowsGone);
        liveJournal->close();
    }
    series.removeFirstRows(rowsGone);
}

void RealPlot::adoptJournal(std::shared_ptr<LiveJournal> journal)
{
    liveJournal->remove();
    liveJournal = std::move(journal);
}

void RealPlot::settingsApplied(const DisplayConfig &)
{
    setAxisScale(QwtPlot::xBottom, 0, 0);
    replot();
    // The samples' span comes back at once, in the new time format, not at
    // the next tick: that may be hours away, and never comes while stopped.
    // (The constructor applies the settings before there is a badge.)
    if (timeBadge)
        refreshTick();
}

void RealPlot::setSamplingInterval(unsigned int seconds)
{
    series.setTypicalStep(double(seconds));
}

void RealPlot::startRefresh(unsigned int intervalSeconds)
{
    // An acquisition that ended by an error leaves its timer running; a new
    // one replaces it rather than running beside it.
    stopRefresh();
    refreshTimerId = startTimer(static_cast<int>(qMin(intervalSeconds, 2000000u) * 1000u), Qt::CoarseTimer);
}

void RealPlot::stopRefresh()
{
    if (refreshTimerId >= 0) {
        killTimer(refreshTimerId);
        refreshTimerId = -1;
    }
}

int RealPlot::liveSamples() const
{
    return series.sizeWithPending();
}

bool RealPlot::hasData() const
{
    return liveSamples() > 0;
}

void RealPlot::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == refreshTimerId)
        refreshTick();
    else
        QObject::timerEvent(event);
}

void RealPlot::refreshTick()
{
    uint32_t firstSample;
    uint32_t last;
    int rows;
    {
        SeriesReadLocker locker(series);
        rows = series.size();
        if (rows == 0)
            return;
        for (int k = 0; k < curves().size(); ++k) {
            const double y = series.value(k, rows - 1).y();
            curves()[k]->setTitle(parameterValueTitle(k + 1, QString::number(y, 'g', 6)));
        }
        firstSample = axisSeconds(series.value(0, 0).x());
        last = axisSeconds(series.value(0, rows - 1).x());
    }
    // New titles can change the legend's width and with it the canvas's:
    // settle the layout first so the range and the badge fit the canvas.
    updateLayout();
    const int canvasWidth = canvas()->width();
    // Once there are more samples than pixels, the axis shows one second per
    // pixel and scrolls; before that it shows everything acquired.
    const double rangeStart = rows > canvasWidth ? double(last) - canvasWidth : double(firstSample);
    setAxisScale(QwtPlot::xBottom, rangeStart, last);
    timeRangeText = QStringLiteral("时间范围：") + localTimeText(firstSample) + QStringLiteral(" -> ") + localTimeText(last);
    showFooter();
    // As wide as its text needs in the fonts at hand, and never narrower
    // than 172 pixels, its right edge on the canvas's right edge.
    timeBadge->setText(localTimeText(last));
    const int badgeWidth = qMax(kBadgeWidth, timeBadge->sizeHint().width());
    timeBadge->resize(badgeWidth, kBadgeHeight);
    timeBadge->move(canvasWidth - badgeWidth, 2);
    timeBadge->show();
    replot();
}

void RealPlot::setPollFaults(const PollFaultTally &faults)
{
    pollFaults = faults;
    showFooter();
}

void RealPlot::setFooterNote(FooterNote note, const QString &text)
{
    footerNotes[note] = text;
    showFooter();
}

void RealPlot::showFooter()
{
    QStringList parts{timeRangeText, pollFaultSummary(pollFaults, QDateTime::currentDateTime())};
    parts += footerNotes.values();
    parts.removeAll(QString());
    setFooter(parts.join(QStringLiteral("    ")));
}

void RealPlot::replot()
{
    // Autoscaling reads the series' bounding rectangles: hold the lock for
    // the whole update so the writer only queues polls meanwhile.
    SeriesReadLocker locker(series);
    seriesLocked = true;
    QwtPlot::replot();
    seriesLocked = false;
}

void RealPlot::drawItems(QPainter *painter, const QRectF &rect, const QwtScaleMap maps[axisCnt]) const
{
    if (seriesLocked) {
        QwtPlot::drawItems(painter, rect, maps);
        return;
    }
    SeriesReadLocker locker(series);
    QwtPlot::drawItems(painter, rect, maps);
}

void RealPlot::setSaveFileNameProvider(std::function<QString()> provider)
{
    saveFileNameProvider = std::move(provider);
}

QString RealPlot::askSaveFileName()
{
    if (saveFileNameProvider)
        return saveFileNameProvider();
    return askDataFileSaveName(this);
}

RealPlot::SaveResult RealPlot::saveData()
{
    const QString name = askSaveFileName();
    if (name.isEmpty())
        return SaveResult::Cancelled;

    AtomicFile file(name);
    bool written = file.open();
    int rows = 0;
    uint32_t lastTime = 0;
    if (written) {
        SeriesReadLocker locker(series);
        rows = series.size();
        double values[kValueCount];
        for (int r = 0; r < rows; ++r) {
            for (int k = 0; k < kValueCount; ++k)
                values[k] = series.value(k, r).y();
            lastTime = axisSeconds(series.value(0, r).x());
            writeRecord(file, lastTime, values);
        }
        written = file.commit();
    }
    if (!written) {
        QMessageBox::warning(this, QStringLiteral("错误"),
                             QStringLiteral("无法写入文件%1，数据未保存。").arg(QDir::toNativeSeparators(name)),
                             QMessageBox::Ok);
        return SaveResult::Failed;
    }
    savedSampleCount = rows;
    if (rows > 0)
        liveJournal->markSaved({rows, lastTime, QFileInfo(name).absoluteFilePath()});
    emit seriesSaved(rows, name);
    return SaveResult::Saved;
}

void RealPlot::closeEvent(QCloseEvent *event)
{
    // Every sample saved, or every one already in the daily files.
    const int rows = liveSamples();
    if (savedSampleCount >= rows || (heldElsewhere && heldElsewhere())) {
        endSeries(qMax(savedSampleCount, rows));
        event->accept();
        return;
    }
    // Closing the main window asks each meter's window in turn.
    const QString question = meterName.isEmpty() ? QStringLiteral("需要保存数据吗？")
                                                 : QStringLiteral("需要保存电表“%1”的数据吗？").arg(meterName);
    const auto answer = QMessageBox::question(this, QStringLiteral("提示"), question,
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel) {
        event->ignore();
        return;
    }
    // A save that failed or whose file dialog was cancelled keeps the
    // window, and with it the samples, so the user can try again.
    if (answer == QMessageBox::Yes && saveData() != SaveResult::Saved) {
        event->ignore();
        return;
    }
    endSeries(answer == QMessageBox::Yes ? savedSampleCount : liveSamples());
    event->accept();
}

void RealPlot::endSeries(int rows)
{
    // Polls go on while the question waits and the save writes (seconds on
    // a slow disk): those after its rows pass to the next journal before
    // this one goes.
    rowsGone = rows;
    emit seriesEnding(rows);
    liveJournal->remove();
}
