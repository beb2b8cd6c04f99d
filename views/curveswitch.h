#pragma once

#include <qwt_interval.h>

#include <QObject>
#include <QVector>

#include <functional>

class QPoint;
class QwtLegend;
class QwtLegendLabel;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotZoomer;

// A trend window's legend as the switch of its curves: a click on an entry
// hides its curve, another shows it again; a right click offers every curve
// or one group of quantities alone. The choice is the window's own and
// lasts while it is open; settings applied to the window set the curves
// again, and the legend is then marked to match.
class CurveSwitch : public QObject
{
    Q_OBJECT

public:
    // The legend is the plot's, with checkable entries; curve k shows
    // catalogue column k + 1. The switch goes with the plot.
    CurveSwitch(QwtPlot *plot, QwtLegend *legend, const QVector<QwtPlotCurve *> &curves);

    // After the curves were shown or hidden elsewhere: a hidden curve's
    // entry is pressed and greyed, a shown one's plain.
    void markLegend();

signals:
    // After a click or a menu choice; the window fits its axes and redraws.
    void shownChanged();

private:
    // Shows exactly the curves of the columns shown(column) is true for.
    void showColumns(const std::function<bool(int)> &shown);
    void showGroup(int group);
    // The legend's menu at a screen position, open until a choice is made.
    void popUpMenu(const QPoint &globalPos);
    QwtLegendLabel *entry(QwtPlotCurve *curve) const;
    void entryChecked(const QVariant &itemInfo, bool on);
    void markEntry(QwtPlotCurve *curve);

    QwtPlot *plot;
    QwtLegend *legend;
    QVector<QwtPlotCurve *> curves;
};

// The range Qwt's autoscaling gives an axis over the curves shown: their
// bounds, rounded by the axis' scale engine. Invalid when none is shown.
QwtInterval shownCurvesInterval(const QwtPlot &plot, int axis);

// With an autoscaled y axis, the full view the zoomer returns to spans the
// curves shown, and so does the view while it is the full one. A view the
// user zoomed into stays as drawn; a time span set on the full view stays.
void fitZoomBaseToShownCurves(QwtPlot &plot, QwtPlotZoomer &zoomer);
