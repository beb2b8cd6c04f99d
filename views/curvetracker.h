#pragma once

#include <qwt_plot_picker.h>
#include <qwt_series_data.h>

#include <QLineF>

class QwtPlotCurve;

// The segment of an ascending-x series that spans x, or a null line when x
// lies outside the series or the series has fewer than two samples.
QLineF seriesSegmentAt(const QwtSeriesData<QPointF> &series, double x);
// Whether x lies inside a gap of a TrendSeries: strictly after the sample
// before a gap and before the one after it. Other series know of no gaps.
bool seriesGapAt(const QwtSeriesData<QPointF> &series, double x);
// The value at x interpolated on a segment, or an empty text for a null one.
QString segmentValueText(const QLineF &line, double x);
// The series' value at x interpolated on that segment ("%1", six significant
// digits), or an empty text when there is no segment.
QString seriesValueTextAt(const QwtSeriesData<QPointF> &series, double x);

// Mouse read-out of a trend plot: a vertical line at the cursor, the cursor's
// time in a box at the top right of the canvas, and each curve's value at
// that time in its legend entry. Inside a gap nothing was measured: the
// entries show "—" for the value and the box "无数据".
class CurveTracker : public QwtPlotPicker
{
public:
    explicit CurveTracker(QWidget *canvas);

    QRect trackerRect(const QFont &font) const override;

protected:
    QwtText trackerTextF(const QPointF &pos) const override;

private:
    QLineF segmentAt(const QwtPlotCurve *curve, double x) const;
    QString valueTextAt(const QwtPlotCurve *curve, const QPointF &pos) const;
};
