#include "views/viewcurve.h"

#include "views/trendseries.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_point_mapper.h>
#include <qwt_scale_map.h>

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Below this many samples per pixel column, thinning saves too little to be
// worth its pass.
constexpr int kThinningFactor = 4;

// Collects the samples of one unbroken line and draws it as QwtPlotCurve
// draws its lines, so that a thinned line looks exactly like a full one.
class LineBuilder
{
public:
    LineBuilder(QPainter *painter, const TrendSeries &series, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                const QRectF &canvasRect, bool weedOut, bool clip)
        : painter(painter)
        , series(series)
        , xMap(xMap)
        , yMap(yMap)
        , canvasRect(canvasRect)
        , clip(clip)
    {
        mapper.setFlag(QwtPointMapper::RoundPoints, QwtPainter::roundingAlignment(painter));
        mapper.setFlag(QwtPointMapper::WeedOutPoints, weedOut);
        mapper.setBoundingRect(canvasRect);
    }

    // A sample whose value is no number ends the line; it is drawn nowhere.
    void add(int index)
    {
        if (index > lastIndex) {
            append(series.sample(size_t(index)));
            lastIndex = index;
        }
    }

    void add(int from, int to)
    {
        from = qMax(from, lastIndex + 1);
        for (int i = from; i <= to; ++i)
            append(series.sample(size_t(i)));
        lastIndex = qMax(lastIndex, to);
    }

    // Picks ascend, so only those at the start can be in the line already.
    // The line breaks between two picks that a gap lies between.
    void add(const PickedSamples &picked, const std::vector<size_t> &gaps)
    {
        const int count = picked.indexes.size();
        int k = 0;
        while (k < count && picked.indexes[k] <= lastIndex)
            ++k;
        if (k == count)
            return;
        auto gap = std::upper_bound(gaps.begin(), gaps.end(), size_t(picked.indexes[k]));
        for (; k < count; ++k) {
            const size_t index = size_t(picked.indexes[k]);
            if (gap != gaps.end() && *gap <= index) {
                draw();
                gap = std::upper_bound(gap, gaps.end(), index);
            }
            append(picked.points[k]);
        }
        lastIndex = picked.indexes.last();
    }

    void draw()
    {
        if (points.isEmpty())
            return;
        QPolygonF polyline;
        {
            const QwtPointSeriesData line(points);
            polyline = mapper.toPolygonF(xMap, yMap, &line, 0, int(line.size()) - 1);
        }
        points.clear();
        if (clip) {
            const qreal pw = qMax(qreal(1.0), painter->pen().widthF());
            polyline = QwtClipper::clipPolygonF(canvasRect.adjusted(-pw, -pw, pw, pw), polyline, false);
        }
        QwtPainter::drawPolyline(painter, polyline);
    }

private:
    QPainter *painter;
    const TrendSeries &series;
    const QwtScaleMap &xMap;
    const QwtScaleMap &yMap;
    const QRectF canvasRect;
    const bool clip;
    QwtPointMapper mapper;
    void append(const QPointF &point)
    {
        if (std::isnan(point.y()))
            draw();
        else
            points.append(point);
    }

    // The line so far, and the index of the last sample given to it; the
    // indexes given only ascend.
    QVector<QPointF> points;
    int lastIndex = -1;
};

// Whether a gap lies in (after, upTo].
bool gapBetween(const std::vector<size_t> &gaps, int after, int upTo)
{
    const auto next = std::upper_bound(gaps.begin(), gaps.end(), size_t(after));
    return next != gaps.end() && *next <= size_t(upTo);
}

} // namespace

void ViewCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                           const QRectF &canvasRect, int from, int to) const
{
    const auto *series = dynamic_cast<const TrendSeries *>(data());
    if (!series || style() != Lines || symbol()) {
        QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    const int size = static_cast<int>(series->size());
    if (to < 0 || to >= size)
        to = size - 1;
    if (from < 0)
        from = 0;
    if (from > to)
        return;

    // The canvas reaches a little beyond the scale's ends.
    const double left = xMap.invTransform(canvasRect.left());
    const double right = xMap.invTransform(canvasRect.right());
    const double low = qMin(left, right);
    const double high = qMax(left, right);
    const int columns = qMax(1, int(std::ceil(canvasRect.width())));
    const SeriesBreaks &breaks = series->breaks();
    const std::vector<size_t> &gaps = breaks.gaps;

    painter->save();
    painter->setPen(pen());
    LineBuilder line(painter, *series, xMap, yMap, canvasRect, testPaintAttribute(FilterPoints),
                     testPaintAttribute(ClipPolygons));
    PickedSamples picked;
    // Samples [first, last] of one ascending stretch, broken at its gaps.
    // Thinned as a whole, so that a stretch of many short runs between
    // outages costs what one run of as many samples costs.
    const auto addStretchPart = [&](int first, int last) {
        if (thinning && last - first + 1 > kThinningFactor * columns) {
            series->pickColumns(first, last, xMap, picked);
            line.add(picked, gaps);
            return;
        }
        auto gap = std::upper_bound(gaps.begin(), gaps.end(), size_t(first));
        for (int begin = first;; ++gap) {
            const int end = gap != gaps.end() && *gap <= size_t(last) ? int(*gap) - 1 : last;
            line.add(begin, end);
            if (end == last)
                break;
            line.draw();
            begin = end + 1;
        }
    };
    // Each stretch of ascending times on its own, so that the view is a run
    // of its indexes; the line from one stretch back to the next is drawn
    // through the samples at their ends, the ones out of view between
    // being out of view on the same side. Stretches end where the time goes
    // back and around samples without a time, which are drawn nowhere.
    const std::vector<size_t> &stepsBack = breaks.stepsBack;
    const std::vector<size_t> &unplaced = breaks.unplaced;
    auto back = std::upper_bound(stepsBack.begin(), stepsBack.end(), size_t(from));
    auto none = std::lower_bound(unplaced.begin(), unplaced.end(), size_t(from));
    const auto skipUnplaced = [&](int a) {
        while (a <= to && none != unplaced.end() && *none == size_t(a)) {
            ++a;
            ++none;
        }
        return a;
    };
    for (int a = skipUnplaced(from); a <= to;) {
        while (back != stepsBack.end() && *back <= size_t(a))
            ++back;
        int b = to;
        if (back != stepsBack.end() && *back <= size_t(to))
            b = int(*back) - 1;
        if (none != unplaced.end() && *none <= size_t(b))
            b = int(*none) - 1;
        const int firstInView = int(searchSeriesX(*series, size_t(a), size_t(b) + 1, [low](double x) { return x < low; }));
        const int pastView = int(searchSeriesX(*series, size_t(firstInView), size_t(b) + 1, [high](double x) { return x <= high; }));
        const int first = qMax(a, firstInView - 1);
        const int last = qMin(b, pastView);
        if (a > from) {
            if (gapBetween(gaps, a - 1, a))
                line.draw();
            line.add(a);
            if (gapBetween(gaps, a, first))
                line.draw();
        }
        addStretchPart(first, last);
        if (b < to) {
            if (gapBetween(gaps, last, b))
                line.draw();
            line.add(b);
        }
        a = skipUnplaced(b + 1);
    }
    line.draw();
    painter->restore();
}
