#include "views/plot.h"

#include "data/datafile.h"
#include "data/localtimetext.h"
#include "views/curveswitch.h"
#include "views/curvetracker.h"
#include "views/legendtitle.h"
#include "views/recordseries.h"
#include "views/timescaledraw.h"

#include <qwt_picker_machine.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_zoomer.h>

#include <memory>

Plot::Plot(const SampleRecord *records, int count, const DisplayConfig &display, QWidget *parent,
           const SummaryAllocator &allocate)
    : TrendPlot(parent)
    , m_startTime(firstRecordTime(records, count))
    , m_endTime(lastRecordTime(records, count))
{
    setFooter(QStringLiteral("时间范围： %1 -> %2").arg(localTimeText(m_startTime), localTimeText(m_endTime)));

    const auto source = std::make_shared<const RecordSource>(records, count, allocate);
    m_complete = source->complete();
    int last = count - 1;
    while (last > 0 && !records[last].hasTime())
        --last;
    const SampleRecord &lastRecord = records[last];
    addCurves([&source](int k) { return new RecordSeries(source, k + 1); },
              [&lastRecord](int k) { return storedNameValueTitle(k + 1, double(lastRecord.value(k + 1))); });

    m_tracker = new CurveTracker(canvas());
    m_tracker->setStateMachine(new QwtPickerTrackerMachine());
    m_tracker->setRubberBandPen(QPen(QColor(QStringLiteral("MediumOrchid")), 2));

    m_zoomer = new QwtPlotZoomer(canvas(), true);
    m_zoomer->setRubberBandPen(QPen(Qt::black));
    m_zoomer->setTrackerPen(QPen(QColor(0, 0, 0, 0)));
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect2, Qt::RightButton, Qt::ControlModifier);
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton);

    auto *panner = new QwtPlotPanner(canvas());
    panner->setMouseButton(Qt::MiddleButton);

    setSettings(display);
}

Plot::~Plot() = default;

void Plot::settingsApplied(const DisplayConfig &display)
{
    m_fitShownCurves = display.yAxis_scale != 0;
    setAxisScale(QwtPlot::xBottom, m_startTime, m_endTime);
    m_zoomer->setZoomBase(true);
    replot();
}

void Plot::setxRange(uint32_t starttime, uint32_t endtime)
{
    setAxisScale(QwtPlot::xBottom, double(starttime), double(endtime));
    replot();
}

void Plot::shownCurvesChanged()
{
    if (m_fitShownCurves)
        fitZoomBaseToShownCurves(*this, *m_zoomer);
    replot();
}
