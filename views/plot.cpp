#include "views/plot.h"

#include "views/curveswitch.h"
#include "views/curvetracker.h"
#include "views/legendtitle.h"
#include "views/plotsettings.h"
#include "views/recordcolumns.h"
#include "views/timescaledraw.h"
#include "views/trendlegend.h"
#include "views/viewcurve.h"

#include <qwt_legend.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_zoomer.h>

Plot::Plot(const SampleRecord *records, int count, QWidget *parent)
    : QwtPlot(parent)
{
    m_canvas = new QwtPlotCanvas();
    setCanvas(m_canvas);

    m_grid = new QwtPlotGrid();
    m_grid->enableXMin(true);
    m_grid->attach(this);

    setUpTimeAxis(this);

    m_startTime = records[0].time;
    m_endTime = records[count - 1].time;
    setFooter(QStringLiteral("时间范围： %1 -> %2").arg(localTimeText(m_startTime), localTimeText(m_endTime)));

    auto *legend = new TrendLegend();
    legend->setDefaultItemMode(QwtLegendData::Checkable);
    insertLegend(legend, QwtPlot::RightLegend, -1);

    const auto columns = std::make_shared<const RecordColumns>(records, count);
    m_complete = columns->size() == count;
    const SampleRecord &lastRecord = records[count - 1];
    for (int k = 0; k < kValueCount; ++k) {
        auto *curve = new ViewCurve(QString());
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->setTitle(storedNameValueTitle(k + 1, double(lastRecord.value(k + 1))));
        curve->setData(new ColumnSeries(columns, k + 1));
        curve->attach(this);
        m_curves.append(curve);
    }
    m_curveSwitch = new CurveSwitch(this, legend, m_curves);
    connect(m_curveSwitch, &CurveSwitch::shownChanged, this, [this] { fitShownCurves(); });

    m_tracker = new CurveTracker(m_canvas);
    m_tracker->setStateMachine(new QwtPickerTrackerMachine());
    m_tracker->setRubberBandPen(QPen(QColor(QStringLiteral("MediumOrchid")), 2));

    m_zoomer = new QwtPlotZoomer(m_canvas, true);
    m_zoomer->setRubberBandPen(QPen(Qt::black));
    m_zoomer->setTrackerPen(QPen(QColor(0, 0, 0, 0)));
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect2, Qt::RightButton, Qt::ControlModifier);
    m_zoomer->setMousePattern(QwtEventPattern::MouseSelect3, Qt::RightButton);

    auto *panner = new QwtPlotPanner(m_canvas);
    panner->setMouseButton(Qt::MiddleButton);

    applySettings();
}

Plot::~Plot() = default;

void Plot::applySettings()
{
    setSettings(AppConfig.disp);
}

void Plot::setSettings(const DisplayConfig &display)
{
    applyDisplaySettings(*this, *m_grid, m_curves, display);
    m_curveSwitch->markLegend();
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

void Plot::fitShownCurves()
{
    if (m_fitShownCurves)
        fitZoomBaseToShownCurves(*this, *m_zoomer);
    replot();
}
