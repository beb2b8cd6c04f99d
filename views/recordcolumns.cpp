#include "views/recordcolumns.h"

#include <algorithm>
#include <cmath>
#include <limits>

RecordColumns::RecordColumns(const SampleRecord *records, int count)
    : m_count(qMax(count, 0))
    , m_times(size_t(m_count))
    , m_values(size_t(m_count) * kValueCount)
    , m_bounds(kValueCount)
{
    if (m_count == 0)
        return;
    double minTime = records[0].time;
    double maxTime = minTime;
    const float infinity = std::numeric_limits<float>::infinity();
    float low[kValueCount];
    float high[kValueCount];
    std::fill(low, low + kValueCount, infinity);
    std::fill(high, high + kValueCount, -infinity);
    const size_t n = size_t(m_count);
    for (size_t i = 0; i < n; ++i) {
        const SampleRecord &r = records[i];
        const double t = r.time;
        m_times[i] = t;
        minTime = qMin(minTime, t);
        maxTime = qMax(maxTime, t);
        for (int k = 0; k < kValueCount; ++k) {
            const float v = r.values[k];
            m_values[size_t(k) * n + i] = v;
            // A file may spell out "inf" or "nan": such values are drawn
            // where they fall but never widen the autoscaled axis.
            if (std::isfinite(v)) {
                low[k] = qMin(low[k], v);
                high[k] = qMax(high[k], v);
            }
        }
    }
    for (int k = 0; k < kValueCount; ++k) {
        if (low[k] > high[k])
            low[k] = high[k] = 0.0f;
        m_bounds[size_t(k)] = QRectF(QPointF(minTime, low[k]), QPointF(maxTime, high[k]));
    }
}

ColumnSeries::ColumnSeries(std::shared_ptr<const RecordColumns> columns, int column)
    : m_columns(std::move(columns))
    , m_column(column)
{
}

size_t ColumnSeries::size() const
{
    return size_t(m_columns->size());
}

QPointF ColumnSeries::sample(size_t i) const
{
    return QPointF(m_columns->times()[i], double(m_columns->values(m_column)[i]));
}

QRectF ColumnSeries::boundingRect() const
{
    return m_columns->boundingRect(m_column);
}

const double *ColumnSeries::xValues() const
{
    return m_columns->times();
}

const float *ColumnSeries::yValues() const
{
    return m_columns->values(m_column);
}
