#include "views/plotsettings.h"

#include "views/timescaledraw.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>

namespace {
QColor opaque(int red, int green, int blue)
{
    return QColor(red, green, blue, 255);
}
} // namespace

QPen curvePen(const DisplayConfig &d, int k)
{
    return QPen(QBrush(opaque(d.para_red[k], d.para_green[k], d.para_blue[k])), 2.0, Qt::SolidLine);
}

Qt::PenStyle gridPenStyle(int style)
{
    if (style < Qt::NoPen || style > Qt::CustomDashLine)
        return Qt::DotLine;
    return static_cast<Qt::PenStyle>(style);
}

void applyDisplaySettings(QwtPlot &plot, QwtPlotGrid &grid, const QVector<QwtPlotCurve *> &curves,
                          const DisplayConfig &d)
{
    plot.canvas()->setPalette(QPalette(opaque(d.back_red, d.back_green, d.back_blue)));

    const QPen gridPen(QBrush(opaque(d.grid_red, d.grid_green, d.grid_blue)), 0, gridPenStyle(d.gridlinetype));
    grid.setMajorPen(gridPen);
    grid.setMinorPen(gridPen);

    plot.setAxisMaxMajor(QwtPlot::yLeft, d.yMaxMajor);
    plot.setAxisMaxMinor(QwtPlot::yLeft, d.yMaxMinor);
    applyTimeAxisSettings(plot, d.xMaxMajor);
    plot.setAxisMaxMinor(QwtPlot::xBottom, d.xMaxMinor);

    plot.setAxisScale(QwtPlot::yLeft, d.yLow, d.yHigh);
    plot.setAxisAutoScale(QwtPlot::yLeft, d.yAxis_scale != 0);

    for (int k = 0; k < curves.size() && k < kValueCount; ++k) {
        curves[k]->setPen(curvePen(d, k));
        curves[k]->setVisible(d.para_on[k]);
    }
}
