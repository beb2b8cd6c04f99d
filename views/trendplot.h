#pragma once

#include "data/appconfig.h"

#include <qwt_plot.h>
#include <qwt_series_data.h>

#include <QVector>

#include <functional>

// The grid's pen style for the gridlinetype setting. A hand-edited file may
// hold any number; only real pen styles are used.
Qt::PenStyle gridPenStyle(int style);

class CurveSwitch;
class QwtLegend;
class QwtPlotCurve;
class QwtPlotGrid;

// What both trend windows are: a canvas with a grid, a time axis, a legend
// whose entries switch their curves, and one curve per measured quantity
// (curve k shows catalogue column k + 1), drawn with the display settings it
// is given. Every curve is a ViewCurve over a series the window hands in, so
// how a curve finds what to draw in each pixel column is the same in both.
// A window adds what is its own: where its series come from, its time span,
// its footer, and its tools.
class TrendPlot : public QwtPlot
{
    Q_OBJECT

public:
    // In column order; the plot owns them.
    const QVector<QwtPlotCurve *> &curves() const { return m_curves; }

    // Canvas background, grid, tick counts, time labels, the left axis
    // (fixed range or autoscale), and the pen and visibility of each curve;
    // the legend is marked to match. Then the window applies its own part
    // (settingsApplied).
    void setSettings(const DisplayConfig &display);

protected:
    explicit TrendPlot(QWidget *parent);

    // Adds the 31 curves, once: curve k gets the series seriesOf(k) returns
    // (the curve owns it) and the legend title titleOf(k).
    void addCurves(const std::function<QwtSeriesData<QPointF> *(int k)> &seriesOf,
                   const std::function<QString(int k)> &titleOf);

    // The window's part of new settings: at least its bottom axis and a
    // replot.
    virtual void settingsApplied(const DisplayConfig &display) = 0;
    // After the legend showed or hid curves: a replot, unless the window
    // fits its axes first.
    virtual void shownCurvesChanged();

private:
    QwtPlotGrid *m_grid = nullptr;
    QwtLegend *m_legend = nullptr;
    QVector<QwtPlotCurve *> m_curves;
    CurveSwitch *m_curveSwitch = nullptr;
};
