#include "views/viewcurve.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_point_mapper.h>
#include <qwt_scale_map.h>

#include <QPainter>

#include <cmath>

namespace {

// Below this many samples per pixel column, thinning saves too little to be
// worth its pass.
constexpr int kThinningFactor = 4;

// The first index in (begin, end) at which inColumn fails, or end;
// inColumn(begin) holds. Columns are short compared to the series, so the
// search gallops from begin before it bisects.
template <typename InColumn>
int columnEnd(int begin, int end, InColumn inColumn)
{
    int low = begin + 1;
    qint64 step = 1;
    while (begin + step < end && inColumn(int(begin + step))) {
        low = int(begin + step) + 1;
        step *= 2;
    }
    int high = int(qMin<qint64>(begin + step, end));
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (inColumn(mid))
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

// The lowest and highest of samples [begin, end), read one by one.
template <typename YAt>
auto scanExtremes(YAt yAt)
{
    return [yAt](int begin, int end, int &low, int &high) {
        auto lowValue = yAt(begin);
        auto highValue = lowValue;
        for (int k = begin + 1; k < end; ++k) {
            const auto y = yAt(k);
            if (y < lowValue) {
                lowValue = y;
                low = k;
            } else if (y > highValue) {
                highValue = y;
                high = k;
            }
        }
    };
}

void appendUnique(QVector<int> &out, int index)
{
    if (out.isEmpty() || out.last() < index)
        out.append(index);
}

// For each pixel column, the indexes of the first, lowest, highest and last
// samples that fall in it, in ascending order without repeats: the line
// through these points covers the same pixels as the line through all of
// them. Samples from..to, in ascending x. extremes(begin, end, low, high)
// finds the lowest and highest of samples [begin, end).
template <typename XAt, typename Extremes>
void columnExtremes(int from, int to, XAt xAt, Extremes extremes, const QwtScaleMap &xMap, QVector<int> &out)
{
    out.clear();
    int i = from;
    while (i <= to) {
        // Qwt rounds mapped points half up; a column holds the samples that
        // land on the same pixel.
        const double limit = std::floor(xMap.transform(xAt(i)) + 0.5) + 0.5;
        const int end = columnEnd(i, to + 1, [&](int k) { return xMap.transform(xAt(k)) < limit; });
        int low = i;
        int high = i;
        extremes(i, end, low, high);
        appendUnique(out, i);
        appendUnique(out, qMin(low, high));
        appendUnique(out, qMax(low, high));
        appendUnique(out, end - 1);
        i = end;
    }
}

} // namespace

QVector<int> thinnedSamples(const QwtSeriesData<QPointF> &series, int from, int to, const QwtScaleMap &xMap)
{
    QVector<int> picked;
    const auto xAt = [&series](int i) { return series.sample(size_t(i)).x(); };
    const auto yAt = [&series](int i) { return series.sample(size_t(i)).y(); };
    if (const auto *arrays = dynamic_cast<const ContiguousSeries *>(&series)) {
        const double *xs = arrays->xValues();
        const float *ys = arrays->yValues();
        columnExtremes(
            from, to, [xs](int i) { return xs[i]; }, scanExtremes([ys](int i) { return ys[i]; }), xMap, picked);
    } else if (const auto *summary = dynamic_cast<const SummarizedSeries *>(&series)) {
        const auto scan = scanExtremes(yAt);
        const auto extremes = [summary, &scan](int begin, int end, int &low, int &high) {
            size_t l = 0;
            size_t h = 0;
            if (summary->runExtremes(size_t(begin), size_t(end), l, h)) {
                low = int(l);
                high = int(h);
            } else {
                scan(begin, end, low, high);
            }
        };
        columnExtremes(from, to, xAt, extremes, xMap, picked);
    } else {
        columnExtremes(from, to, xAt, scanExtremes(yAt), xMap, picked);
    }
    return picked;
}

void ViewCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                           const QRectF &canvasRect, int from, int to) const
{
    const QwtSeriesData<QPointF> &series = *data();
    const int size = static_cast<int>(series.size());
    if (to < 0 || to >= size)
        to = size - 1;
    if (from < 0)
        from = 0;
    if (from > to)
        return;
    // Times that go back (the repeated hour of the autumn clock change, a
    // clock set back, an unreadable time) leave no run of indexes that is
    // the view, nor columns to thin: every sample is drawn, in record order.
    if (!seriesAscending()) {
        QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    // The canvas reaches a little beyond the scale's ends.
    const double left = xMap.invTransform(canvasRect.left());
    const double right = xMap.invTransform(canvasRect.right());
    const double low = qMin(left, right);
    const double high = qMax(left, right);
    const int firstInView = int(searchSeriesX(series, size_t(from), size_t(to) + 1, [low](double x) { return x < low; }));
    const int pastView = int(searchSeriesX(series, size_t(firstInView), size_t(to) + 1, [high](double x) { return x <= high; }));
    const int first = qMax(from, firstInView - 1);
    const int last = qMin(to, pastView);

    const int columns = qMax(1, int(std::ceil(canvasRect.width())));
    if (thinning && style() == Lines && last - first + 1 > kThinningFactor * columns)
        drawThinned(painter, xMap, yMap, canvasRect, first, last);
    else
        QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, first, last);
}

bool ViewCurve::seriesAscending() const
{
    const QwtSeriesData<QPointF> *series = data();
    const auto *arrays = dynamic_cast<const ContiguousSeries *>(series);
    auto xAt = [series, arrays](size_t i) { return arrays ? arrays->xValues()[i] : series->sample(i).x(); };
    const size_t size = series->size();
    // A series that shrank or whose last checked sample changed was filled
    // anew.
    if (size < order.checked || (order.checked > 0 && xAt(order.checked - 1) != order.lastX))
        order = Order();
    if (size == order.checked)
        return order.ascending;
    double previous = order.checked > 0 ? order.lastX : xAt(0);
    for (size_t i = order.checked; i < size && order.ascending; ++i) {
        const double x = xAt(i);
        order.ascending = !(x < previous);
        previous = x;
    }
    order.checked = size;
    order.lastX = xAt(size - 1);
    return order.ascending;
}

void ViewCurve::dataChanged()
{
    order = Order();
    QwtPlotCurve::dataChanged();
}

void ViewCurve::drawThinned(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                            const QRectF &canvasRect, int from, int to) const
{
    const QwtSeriesData<QPointF> &series = *data();
    const QVector<int> picked = thinnedSamples(series, from, to, xMap);
    QVector<QPointF> points;
    points.reserve(picked.size());
    for (int i : picked)
        points.append(series.sample(size_t(i)));
    const QwtPointSeriesData thinned(points);

    // From here on as QwtPlotCurve draws its lines, so that the thinned
    // curve looks exactly like the full one.
    painter->setPen(pen());
    QwtPointMapper mapper;
    mapper.setFlag(QwtPointMapper::RoundPoints, QwtPainter::roundingAlignment(painter));
    mapper.setFlag(QwtPointMapper::WeedOutPoints, testPaintAttribute(FilterPoints));
    mapper.setBoundingRect(canvasRect);
    QPolygonF polyline = mapper.toPolygonF(xMap, yMap, &thinned, 0, int(thinned.size()) - 1);
    if (testPaintAttribute(ClipPolygons)) {
        const qreal pw = qMax(qreal(1.0), painter->pen().widthF());
        polyline = QwtClipper::clipPolygonF(canvasRect.adjusted(-pw, -pw, pw, pw), polyline, false);
    }
    QwtPainter::drawPolyline(painter, polyline);
}
