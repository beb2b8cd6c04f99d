#include "views/curvetracker.h"

#include "data/localtimetext.h"
#include "views/legendtitle.h"
#include "views/timescaledraw.h"
#include "views/trendseries.h"

#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <algorithm>

namespace {

// The index of the sample that ends the segment spanning x, or 0 when none
// does.
size_t segmentEndAt(const QwtSeriesData<QPointF> &series, double x)
{
    const size_t size = series.size();
    if (size < 2)
        return 0;
    const QRectF bounds = series.boundingRect();
    if (x < bounds.left() || x > bounds.right())
        return 0;
    const double lastX = series.sample(size - 1).x();
    if (x >= lastX)
        return x == lastX ? size - 1 : 0;
    // The first sample after x; x is before the last one, so there is one.
    return searchSeriesX(series, 0, size - 1, [x](double sampleX) { return !(x < sampleX); });
}

// The sample the segment ending at sample index starts from: the one
// before it, or the last before it with a time.
size_t segmentStart(const QwtSeriesData<QPointF> &series, size_t index)
{
    const auto *trend = dynamic_cast<const TrendSeries *>(&series);
    return trend ? placedNear(trend->breaks().unplaced, index - 1, series.size()) : index - 1;
}

} // namespace

QLineF seriesSegmentAt(const QwtSeriesData<QPointF> &series, double x)
{
    const size_t index = segmentEndAt(series, x);
    if (index == 0)
        return QLineF();
    return QLineF(series.sample(segmentStart(series, index)), series.sample(index));
}

bool seriesGapAt(const QwtSeriesData<QPointF> &series, double x)
{
    const auto *trend = dynamic_cast<const TrendSeries *>(&series);
    if (!trend)
        return false;
    const size_t index = segmentEndAt(series, x);
    const std::vector<size_t> &gaps = trend->breaks().gaps;
    return index > 0 && x > series.sample(index - 1).x() && std::binary_search(gaps.begin(), gaps.end(), index);
}

QString segmentValueText(const QLineF &line, double x)
{
    if (line.isNull())
        return QString();
    const double x1 = line.p1().x();
    const double x2 = line.p2().x();
    const double y1 = line.p1().y();
    const double y2 = line.p2().y();
    // Two samples can share a second; at that very time the later one holds.
    const double y = x2 == x1 ? y2 : y1 + (y2 - y1) * ((x - x1) / (x2 - x1));
    return legendValueText(y);
}

QString seriesValueTextAt(const QwtSeriesData<QPointF> &series, double x)
{
    return segmentValueText(seriesSegmentAt(series, x), x);
}

CurveTracker::CurveTracker(QWidget *canvas)
    : QwtPlotPicker(canvas)
{
    setTrackerMode(QwtPicker::AlwaysOn);
    setRubberBand(QwtPicker::VLineRubberBand);
    setStateMachine(new QwtPickerDragPointMachine());
}

QRect CurveTracker::trackerRect(const QFont &font) const
{
    QRect r = QwtPlotPicker::trackerRect(font);
    r.moveRight(canvas()->width() - 5);
    r.moveTop(0);
    return r;
}

QwtText CurveTracker::trackerTextF(const QPointF &pos) const
{
    QwtText text;
    text.setColor(Qt::black);
    QFont font;
    font.setPixelSize(16);
    font.setWeight(75);
    text.setFont(font);
    const QColor grey(QStringLiteral("#cccccc"));
    text.setBorderPen(QPen(QBrush(grey), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    text.setBackgroundBrush(QBrush(grey));

    const QwtPlotItemList curves = plot()->itemList(QwtPlotItem::Rtti_PlotCurve);
    // The curves of a window share their times, and so their gaps.
    const bool inGap = !curves.isEmpty() && seriesGapAt(*static_cast<QwtPlotCurve *>(curves.first())->data(), pos.x());
    for (int k = 0; k < curves.size(); ++k) {
        auto *curve = static_cast<QwtPlotCurve *>(curves.at(k));
        const QString value = inGap ? QStringLiteral("—") : valueTextAt(curve, pos);
        if (value.isEmpty() || k >= 31)
            continue;
        curve->setTitle(parameterValueTitle(k + 1, value));
    }

    text.setText(inGap ? QStringLiteral("无数据") : localTimeText(axisSeconds(pos.x())));
    return text;
}

QLineF CurveTracker::segmentAt(const QwtPlotCurve *curve, double x) const
{
    return seriesSegmentAt(*curve->data(), x);
}

QString CurveTracker::valueTextAt(const QwtPlotCurve *curve, const QPointF &pos) const
{
    return segmentValueText(segmentAt(curve, pos.x()), pos.x());
}
