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
            const QPointF point = series.sample(size_t(index));
            append(point);
            lastIndex = index;
            lastX = point.x();
        }
    }

    void add(int from, int to)
    {
        for (int i = qMax(from, lastIndex + 1); i <= to; ++i)
            add(i);
    }

    // Picks ascend, so only those at the start can be in the line already.
    // The line breaks between two picks that a gap a pixel wide lies
    // between (see breaksAt); the picks between gaps go in whole.
    void add(const PickedSamples &picked, const std::vector<size_t> &gaps)
    {
        const int count = picked.indexes.size();
        int k = 0;
        while (k < count && picked.indexes[k] <= lastIndex)
            ++k;
        auto gap = std::upper_bound(gaps.begin(), gaps.end(), size_t(qMax(lastIndex, 0)));
        while (k < count) {
            // Picks k..m-1 come before the next gap, pick m after it.
            const int m = gap == gaps.end()
                              ? count
                              : int(std::lower_bound(picked.indexes.begin() + k, picked.indexes.end(), int(*gap))
                                    - picked.indexes.begin());
            append(picked.points, k, m);
            if (m > k) {
                lastIndex = picked.indexes[m - 1];
                lastX = picked.points[m - 1].x();
            }
            if (m == count)
                return;
            if (lastIndex >= 0 && column(lastX) != column(picked.points[m].x()))
                draw();
            gap = std::upper_bound(gap, gaps.end(), size_t(picked.indexes[m]));
            k = m;
            append(picked.points, k, k + 1);
            lastIndex = picked.indexes[k];
            lastX = picked.points[k].x();
            ++k;
        }
    }

    // The pixel column of time x, as the picks go by it.
    int column(double x) const { return int(std::floor(xMap.transform(x) + 0.5)); }

    // Whether the line breaks at the gap before sample i: only where the
    // gap is a pixel wide, its ends in two pixel columns. Inside one column
    // the line draws the column's range anyway, and a break there would
    // show nothing but cost a line of its own.
    bool breaksAt(size_t i) const
    {
        return column(series.sample(i - 1).x()) != column(series.sample(i).x());
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

    // Points [from, to) of these, in one go where none is missing.
    void append(const QVector<QPointF> &these, int from, int to)
    {
        const auto begin = these.begin() + from;
        const auto end = these.begin() + to;
        if (std::any_of(begin, end, [](const QPointF &p) { return std::isnan(p.y()); })) {
            for (auto p = begin; p != end; ++p)
                append(*p);
            return;
        }
        const int at = points.size();
        points.resize(at + (to - from));
        std::copy(begin, end, points.begin() + at);
    }

    // The line so far, and the index and time of the last sample given to
    // it; the indexes given only ascend.
    QVector<QPointF> points;
    int lastIndex = -1;
    double lastX = 0;
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
    // outages costs what one run of as many samples costs, and at full view
    // a month with a minute's outage every hour what one without them
    // costs.
    const auto addStretchPart = [&](int first, int last) {
        if (thinning && last - first + 1 > kThinningFactor * columns) {
            series->pickColumns(first, last, xMap, picked);
            line.add(picked, gaps);
            return;
        }
        int begin = first;
        for (auto gap = std::upper_bound(gaps.begin(), gaps.end(), size_t(first));
             gap != gaps.end() && *gap <= size_t(last); ++gap) {
            if (!line.breaksAt(*gap))
                continue;
            line.add(begin, int(*gap) - 1);
            line.draw();
            begin = int(*gap);
        }
        line.add(begin, last);
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
