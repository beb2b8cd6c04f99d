#pragma once

#include "views/minmaxsummary.h"
#include "views/trendseries.h"

namespace zeptest {

// What TrendSeries::pickColumns must give for samples [from, to]: every
// sample read, the earliest of equal extremes kept.
inline QVector<int> scannedPicks(const QwtSeriesData<QPointF> &series, int from, int to, const QwtScaleMap &xMap)
{
    const auto y = [&series](int i) { return float(series.sample(size_t(i)).y()); };
    QVector<int> picks;
    pickColumnExtremes(
        from, to, [&series](int i) { return series.sample(size_t(i)).x(); },
        [&y](int begin, int end, int &low, int &high) {
            for (int i = begin + 1; i < end; ++i) {
                low = lowerThan(y(i), y(low)) ? i : low;
                high = higherThan(y(i), y(high)) ? i : high;
            }
        },
        xMap, picks);
    return picks;
}

} // namespace zeptest
