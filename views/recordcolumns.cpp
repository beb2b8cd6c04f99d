#include "views/recordcolumns.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

RecordColumns::RecordColumns(const SampleRecord *records, int count)
    : m_count(qMax(count, 0))
    , m_times(new (std::nothrow) double[size_t(m_count)])
    , m_values(new (std::nothrow) float[size_t(m_count) * kValueCount])
    , m_bounds(kValueCount)
{
    // A file too large for the memory left gives no columns, for the plot
    // to report, rather than ending the program.
    if (!m_times || !m_values)
        m_count = 0;
    if (m_count == 0)
        return;
    const size_t n = size_t(m_count);
    const float infinity = std::numeric_limits<float>::infinity();
    float low[kValueCount];
    float high[kValueCount];
    std::fill(low, low + kValueCount, infinity);
    std::fill(high, high + kValueCount, -infinity);
    // Block by block, so that the records being spread over 31 columns,
    // and the column pieces being searched for their bounds, stay in the
    // cache.
    constexpr size_t kBlock = 2048;
    for (size_t begin = 0; begin < n; begin += kBlock) {
        const size_t end = qMin(n, begin + kBlock);
        for (size_t i = begin; i < end; ++i)
            m_times[i] = records[i].time;
        for (int k = 0; k < kValueCount; ++k) {
            float *column = m_values.get() + size_t(k) * n;
            float lo = low[k];
            float hi = high[k];
            for (size_t i = begin; i < end; ++i) {
                const float v = records[i].values[k];
                column[i] = v;
                // A file may spell out "inf" or "nan": such values are
                // drawn where they fall but never widen the autoscaled axis.
                const bool finite = std::fabs(v) <= std::numeric_limits<float>::max();
                lo = finite && v < lo ? v : lo;
                hi = finite && v > hi ? v : hi;
            }
            low[k] = lo;
            high[k] = hi;
        }
    }
    const auto [minTime, maxTime] = std::minmax_element(m_times.get(), m_times.get() + n);
    for (int k = 0; k < kValueCount; ++k) {
        if (low[k] > high[k])
            low[k] = high[k] = 0.0f;
        m_bounds[size_t(k)] = QRectF(QPointF(*minTime, low[k]), QPointF(*maxTime, high[k]));
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
