#pragma once

#include "views/minmaxsummary.h"
#include "views/trendseries.h"

#include <QtTest>

#include <cmath>

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

// The series a summary is tried on, as a "pattern" column.
inline void addValuePatterns()
{
    QTest::addColumn<int>("pattern");
    QTest::newRow("noise") << 0;
    QTest::newRow("few values, many ties") << 1;
    QTest::newRow("infinities and not a number here and there") << 2;
    QTest::newRow("falling") << 3;
}

// Sample i of a pattern; noise and random vary from sample to sample.
inline float patternValue(int pattern, int i, float noise, uint32_t random)
{
    const float odd = i % 2 ? NAN : i % 4 ? INFINITY : -INFINITY;
    const float y[] = {noise, float(random % 4), random % 5 ? noise : odd, -float(i)};
    return y[pattern];
}

} // namespace zeptest
