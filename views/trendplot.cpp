#include "views/trendplot.h"

#include "data/paramtable.h"
#include "views/curveswitch.h"
#include "views/timescaledraw.h"
#include "views/trendlegend.h"
#include "views/trendseries.h"
#include "views/viewcurve.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_map.h>

#include <QPainter>

#include <cmath>

namespace {

QColor opaque(int red, int green, int blue)
{
    return QColor(red, green, blue, 255);
}

} // namespace

Qt::PenStyle gridPenStyle(int style)
{
    if (style < Qt::NoPen || style > Qt::CustomDashLine)
        return Qt::DotLine;
    return static_cast<Qt::PenStyle>(style);
}

namespace {

// A light band over each gap of the window's series, under the grid and
// the curves. The curves of a window share their times, so the first
// curve's series tells the gaps of all.
class GapBands : public QwtPlotItem
{
public:
    explicit GapBands(const QwtPlotCurve *curve)
        : curve(curve)
    {
        setZ(5);
    }

    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &, const QRectF &canvasRect) const override
    {
        const auto *series = dynamic_cast<const TrendSeries *>(curve->data());
        if (!series)
            return;
        // Grey, half seen through, so that it shows on any background. A
        // gap narrower than a pixel shows as none, as the curves show it.
        const QColor shade(128, 128, 128, 48);
        for (size_t i : series->breaks().gaps) {
            const double from = xMap.transform(series->sample(i - 1).x());
            const double to = xMap.transform(series->sample(i).x());
            if (std::floor(from + 0.5) == std::floor(to + 0.5))
                continue;
            const QRectF band = QRectF(QPointF(from, canvasRect.top()), QPointF(to, canvasRect.bottom())).intersected(canvasRect);
            if (!band.isEmpty())
                painter->fillRect(band, shade);
        }
    }

private:
    const QwtPlotCurve *curve;
};

} // namespace

TrendPlot::TrendPlot(QWidget *parent)
    : QwtPlot(parent)
{
    setCanvas(new QwtPlotCanvas());

    m_grid = new QwtPlotGrid();
    m_grid->enableXMin(true);
    m_grid->attach(this);

    setUpTimeAxis(this);

    m_legend = new TrendLegend();
    m_legend->setDefaultItemMode(QwtLegendData::Checkable);
    insertLegend(m_legend, QwtPlot::RightLegend, -1);
}

void TrendPlot::addCurves(const std::function<QwtSeriesData<QPointF> *(int k)> &seriesOf,
                          const std::function<QString(int k)> &titleOf)
{
    for (int k = 0; k < kValueCount; ++k) {
        auto *curve = new ViewCurve(titleOf(k));
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->setData(seriesOf(k));
        curve->attach(this);
        m_curves.append(curve);
    }
    (new GapBands(m_curves.first()))->attach(this);
    m_curveSwitch = new CurveSwitch(this, m_legend, m_curves);
    connect(m_curveSwitch, &CurveSwitch::shownChanged, this, [this] { shownCurvesChanged(); });
}

void TrendPlot::setSettings(const DisplayConfig &d)
{
    canvas()->setPalette(QPalette(opaque(d.back_red, d.back_green, d.back_blue)));

    const QPen gridPen(QBrush(opaque(d.grid_red, d.grid_green, d.grid_blue)), 0, gridPenStyle(d.gridlinetype));
    m_grid->setMajorPen(gridPen);
    m_grid->setMinorPen(gridPen);

    setAxisMaxMajor(QwtPlot::yLeft, d.yMaxMajor);
    setAxisMaxMinor(QwtPlot::yLeft, d.yMaxMinor);
    applyTimeAxisSettings(*this, d.timeformat, d.xMaxMajor);
    setAxisMaxMinor(QwtPlot::xBottom, d.xMaxMinor);

    setAxisScale(QwtPlot::yLeft, d.yLow, d.yHigh);
    setAxisAutoScale(QwtPlot::yLeft, d.yAxis_scale != 0);

    for (int k = 0; k < m_curves.size(); ++k) {
        const QColor color = opaque(d.para_red[k], d.para_green[k], d.para_blue[k]);
        m_curves[k]->setPen(QPen(QBrush(color), 2.0, Qt::SolidLine));
        m_curves[k]->setVisible(d.para_on[k]);
    }
    m_curveSwitch->markLegend();
    settingsApplied(d);
}

void TrendPlot::shownCurvesChanged()
{
    replot();
}
