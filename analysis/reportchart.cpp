#include "analysis/reportchart.h"

#include "analysis/powerreport.h"
#include "data/appconfig.h"
#include "data/paramtable.h"
#include "data/samplegaps.h"
#include "views/timescaledraw.h"
#include "views/trendplot.h"

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>

#include <QPainter>
#include <QtMath>

#include <cmath>

namespace {

constexpr double kWindowSeconds = 600;

// Draws each run of windows that follow without a gap as its own line; a
// window alone between gaps is a dot.
class WindowCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

protected:
    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                    int from, int to) const override
    {
        if (to < 0)
            to = int(dataSize()) - 1;
        int runStart = from;
        for (int i = from; i <= to; ++i) {
            const bool last = i == to || isGap(sample(i + 1).x() - sample(i).x(), kWindowSeconds);
            if (!last)
                continue;
            if (i > runStart) {
                QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, runStart, i);
            } else {
                painter->save();
                QPen dot = pen();
                dot.setWidthF(dot.widthF() * 2);
                dot.setCapStyle(Qt::RoundCap);
                painter->setPen(dot);
                painter->drawPoint(QPointF(xMap.transform(sample(i).x()), yMap.transform(sample(i).y())));
                painter->restore();
            }
            runStart = i + 1;
        }
    }
};

struct LimitLine {
    double volts;
    QString label;
    bool nominal;
    // An upper limit's label stands below its line, inside the band, so
    // that the top of the plot never cuts it.
    bool upper;
};

QVector<LimitLine> limitLines(const ReportOptions &options)
{
    // The lines the verdict judges by, so that the two cannot disagree.
    const double u = options.nominalVoltage;
    const QualityLimits limits = qualityLimits(options, 1);
    QVector<LimitLine> lines{{u, QStringLiteral("%1 V").arg(u), true, false}};
    const auto add = [&](double volts) {
        const int percent = qRound(100 * (volts / u - 1));
        lines.append({volts, QStringLiteral("%1%2 %").arg(percent > 0 ? QStringLiteral("+") : QString()).arg(percent),
                      false, percent > 0});
    };
    add(limits.high);
    add(limits.low);
    if (limits.allLow < limits.low && std::isfinite(limits.allLow))
        add(limits.allLow);
    return lines;
}

void addLimitLines(QwtPlot &plot, const QVector<LimitLine> &lines)
{
    for (const LimitLine &line : lines) {
        auto *marker = new QwtPlotMarker();
        marker->setLineStyle(QwtPlotMarker::HLine);
        marker->setYValue(line.volts);
        marker->setLinePen(line.nominal ? QPen(QColor(90, 90, 90), 1, Qt::DashDotLine)
                                        : QPen(QColor(200, 0, 0), 1.5, Qt::DashLine));
        QwtText label(line.label);
        label.setColor(line.nominal ? QColor(90, 90, 90) : QColor(200, 0, 0));
        marker->setLabel(label);
        marker->setLabelAlignment(Qt::AlignRight | (line.upper ? Qt::AlignBottom : Qt::AlignTop));
        marker->attach(&plot);
    }
}

} // namespace

QImage renderVoltageChart(const PowerReport &report, const DisplayConfig &d, const QSize &size)
{
    if (report.chart.isEmpty() || size.isEmpty())
        return QImage();

    QwtPlot plot;
    plot.setAutoReplot(false);
    plot.resize(size);
    auto *canvas = new QwtPlotCanvas();
    canvas->setPalette(QPalette(QColor(d.back_red, d.back_green, d.back_blue)));
    plot.setCanvas(canvas);

    auto *grid = new QwtPlotGrid();
    const QPen gridPen(QBrush(QColor(d.grid_red, d.grid_green, d.grid_blue)), 0, gridPenStyle(d.gridlinetype));
    grid->setMajorPen(gridPen);
    grid->attach(&plot);

    double low = report.chart.first().volts[0];
    double high = low;
    for (int p = 0; p < 3; ++p) {
        QVector<QPointF> points;
        points.reserve(report.chart.size());
        for (const VoltagePoint &v : report.chart) {
            points.append(QPointF(double(v.start), v.volts[p]));
            low = qMin(low, v.volts[p]);
            high = qMax(high, v.volts[p]);
        }
        auto *curve = new WindowCurve(QString::fromLatin1(ParamTable[p + 1].name).simplified());
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
        curve->setPen(QPen(QColor(d.para_red[p], d.para_green[p], d.para_blue[p]), 1.5));
        curve->setSamples(points);
        curve->attach(&plot);
    }
    const QVector<LimitLine> lines = limitLines(report.options);
    for (const LimitLine &line : lines) {
        low = qMin(low, line.volts);
        high = qMax(high, line.volts);
    }
    addLimitLines(plot, lines);
    const double margin = qMax(1.0, (high - low) * 0.05);
    plot.setAxisScale(QwtPlot::yLeft, low - margin, high + margin);
    // A title of "V" alone, turned on its side, reads like ">".
    plot.setAxisTitle(QwtPlot::yLeft, QStringLiteral("相电压（V）"));

    setUpTimeAxis(&plot);
    plot.setAxisScale(QwtPlot::xBottom, double(report.start), double(qMax(report.end, report.start + 1)));
    applyTimeAxisSettings(plot, d.timeformat, d.xMaxMajor);
    plot.insertLegend(new QwtLegend(), QwtPlot::BottomLegend);
    plot.updateAxes();
    // The trend windows fit their time labels to their width when shown;
    // this plot is never shown.
    const QwtScaleDraw *draw = plot.axisScaleDraw(QwtPlot::xBottom);
    const QFont font = plot.axisWidget(QwtPlot::xBottom)->font();
    const int labelWidth = qCeil(draw->labelSize(font, double(report.start)).width());
    plot.setAxisMaxMajor(QwtPlot::xBottom, fittingMajorSteps(size.width() - 80, labelWidth, d.xMaxMajor));
    plot.updateAxes();

    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    QPainter painter(&image);
    QwtPlotRenderer renderer;
    // Paper white around the canvas, as on the page.
    renderer.setDiscardFlag(QwtPlotRenderer::DiscardBackground);
    renderer.render(&plot, &painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}
