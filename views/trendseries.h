#pragma once

#include "data/samplegaps.h"

#include <qwt_scale_map.h>
#include <qwt_series_data.h>

#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The samples that draw a run of a series: their indexes, ascending and
// without repeats, and the samples themselves.
struct PickedSamples {
    QVector<int> indexes;
    QVector<QPointF> points;
};

// A series of a trend window: x the time, y the value, in record order. It
// knows where its line breaks, and between two breaks, where its times
// ascend, it answers for each pixel column which samples draw it, so that
// drawing a view costs about its pixels, not its samples.
class TrendSeries : public QwtSeriesData<QPointF>
{
public:
    virtual const SeriesBreaks &breaks() const = 0;

    // Samples [from, to], from < to, with ascending times: picked gets, for
    // each pixel column of xMap they fall in, the first, lowest, highest and
    // last of them. Where a gap lies between two pixel columns, the samples
    // at its ends are the last of one and the first of the other. The line
    // through these, broken at the gaps that are a pixel wide, covers the
    // pixels the line through all of them covers.
    virtual void pickColumns(int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const = 0;
};

// The sample that stands in the series' time for sample i: i itself when it
// has a time, else the last one before it that has one, else the first
// one after it; i when no sample has a time. unplaced as SeriesBreaks::
// unplaced, size the number of samples.
inline size_t placedNear(const std::vector<size_t> &unplaced, size_t i, size_t size)
{
    auto at = std::lower_bound(unplaced.begin(), unplaced.end(), i);
    if (at == unplaced.end() || *at != i)
        return i;
    // The run of samples without a time that holds i.
    auto first = at;
    while (first != unplaced.begin() && *(first - 1) + 1 == *first)
        --first;
    if (*first > 0)
        return *first - 1;
    auto last = at;
    while (last + 1 != unplaced.end() && *(last + 1) == *last + 1)
        ++last;
    return *last + 1 < size ? *last + 1 : i;
}

// The first index in [begin, end) whose sample's x no longer satisfies
// before(x). The samples are in ascending x; when they are not, the result
// is still an index in [begin, end].
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

// The end of the pixel column that sample begin opens: the first index in
// (begin, end) whose x lands on another pixel of xMap, or end. x ascends.
// The search starts where a column of width samples would end (the one
// before, as a rule), so that in an even series it reads two samples.
template <typename XAt>
int pixelColumnEnd(int begin, int end, XAt xAt, const QwtScaleMap &xMap, int width = 1)
{
    // Qwt rounds mapped points half up: a column holds the samples that
    // land on the same pixel.
    const double limit = std::floor(xMap.transform(xAt(begin)) + 0.5) + 0.5;
    const auto inColumn = [&](int k) { return xMap.transform(xAt(k)) < limit; };
    // Samples before low are in the column, those from high on are not.
    int low = begin + 1;
    int high = end;
    const int guess = int(qBound<qint64>(low, qint64(begin) + width, high));
    if (guess < high && inColumn(guess)) {
        low = guess + 1;
        for (qint64 step = 1; low + step - 1 < high; step *= 2) {
            const int probe = int(low + step - 1);
            if (!inColumn(probe)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
    } else {
        high = guess;
        for (qint64 step = 1; high - step >= low; step *= 2) {
            const int probe = int(high - step);
            if (inColumn(probe)) {
                low = probe + 1;
                break;
            }
            high = probe;
        }
    }
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (inColumn(mid))
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

// Adds index to picks unless it is there already (picks ascend).
inline void appendPick(QVector<int> &picks, int index)
{
    if (picks.isEmpty() || picks.last() < index)
        picks.append(index);
}

// The indexes TrendSeries::pickColumns picks, for a series that finds the
// extremes of a run of samples by itself: extremes(begin, end, low, high)
// sets the indexes of the lowest and highest of samples [begin, end).
template <typename XAt, typename Extremes>
void pickColumnExtremes(int from, int to, XAt xAt, Extremes extremes, const QwtScaleMap &xMap, QVector<int> &picks)
{
    picks.clear();
    for (int i = from, width = 1; i <= to;) {
        const int end = pixelColumnEnd(i, to + 1, xAt, xMap, width);
        width = end - i;
        int low = i;
        int high = i;
        extremes(i, end, low, high);
        appendPick(picks, i);
        appendPick(picks, qMin(low, high));
        appendPick(picks, qMax(low, high));
        appendPick(picks, end - 1);
        i = end;
    }
}
