#pragma once

#include "data/appconfig.h"
#include "data/paramtable.h"

#include <QPen>
#include <QVector>

class QwtPlot;
class QwtPlotCurve;
class QwtPlotGrid;

// The display half of the settings as both trend windows show it. Each
// window reads the record where it is asked to (its applySettings slot) and
// hands it over here, so the two windows cannot come to differ.

// The pen of curve k (column k + 1).
QPen curvePen(const DisplayConfig &display, int k);
// A hand-edited file may hold any number; only real pen styles are used.
Qt::PenStyle gridPenStyle(int style);

// Canvas background, grid pens, tick counts, the left axis (fixed range or
// autoscale), and the pen and visibility of each curve. The bottom axis and
// the replot are the window's own.
void applyDisplaySettings(QwtPlot &plot, QwtPlotGrid &grid, const QVector<QwtPlotCurve *> &curves,
                          const DisplayConfig &display);
