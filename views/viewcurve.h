#pragma once

#include <qwt_plot_curve.h>
#include <qwt_series_data.h>

#include <QVector>

#include <cstddef>

class QwtScaleMap;

// The first index in [begin, end) whose sample's x no longer satisfies
// before(x). The series is in ascending x; when it is not, the result is
// still an index in [begin, end].
template <typename Before>
size_t searchSeriesX(const QwtSeriesData<QPointF> &series, size_t begin, size_t end, Before before)
{
    while (begin < end) {
        const size_t mid = begin + (end - begin) / 2;
        if (before(series.sample(mid).x()))
            begin = mid + 1;
        else
            end = mid;
    }
    return begin;
}

// Where a series keeps its samples in plain arrays, the curve reads them
// directly instead of through sample(): a full view of a million samples
// is then one pass over two arrays.
class ContiguousSeries
{
public:
    virtual ~ContiguousSeries() = default;
    virtual const double *xValues() const = 0;
    virtual const float *yValues() const = 0;
};

// A series that keeps a summary of its values answers where the lowest and
// highest of a run of samples are, so that a thinned drawing of a long
// series need not read every sample.
class SummarizedSeries
{
public:
    virtual ~SummarizedSeries() = default;
    // Samples [from, to), from < to; false when the series cannot tell, and
    // the samples are read instead.
    virtual bool runExtremes(size_t from, size_t to, size_t &low, size_t &high) const = 0;
};

// The samples from..to (ascending x) that the thinned drawing keeps: for
// each pixel column of xMap, the first, lowest, highest and last sample
// that falls in it, in ascending order without repeats.
QVector<int> thinnedSamples(const QwtSeriesData<QPointF> &series, int from, int to, const QwtScaleMap &xMap);

// A curve that draws only the samples in view, plus one on each side so
// that the line runs to the canvas edges, and, when they outnumber the
// pixel columns, only the extremes of each column. What it draws is the
// image of the whole series; what the series holds is untouched, so a
// tracker reading data() still sees every sample.
class ViewCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                    int from, int to) const override;

    // Off, the curve draws every sample in view: the reference image for
    // the thinned drawing.
    void setThinning(bool on) { thinning = on; }

    // Whether the series' x never goes down from one sample to the next.
    // Found once for a series and, as a live series grows, only over the
    // samples added since the last call.
    bool seriesAscending() const;

protected:
    void dataChanged() override;

private:
    void drawThinned(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                     int from, int to) const;

    bool thinning = true;

    struct Order {
        size_t checked = 0;
        double lastX = 0;
        bool ascending = true;
    };
    mutable Order order;
};
