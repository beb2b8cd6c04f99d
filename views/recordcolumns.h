#pragma once

#include "data/samplerecord.h"
#include "views/viewcurve.h"

#include <QRectF>

#include <memory>
#include <vector>

// The samples of a data file as a trend plot draws them: one time column
// and 31 value columns, each contiguous. This is the plot's own copy, so it
// never depends on the file's records once built; at 12 bytes a sample and
// curve (8 for the shared time, 4 for the value) it is a quarter of what 31
// QPointF series would take.
class RecordColumns
{
public:
    // Empty (size 0) when the memory for the copy cannot be had.
    RecordColumns(const SampleRecord *records, int count);

    int size() const { return m_count; }
    const double *times() const { return m_times.get(); }
    // Column 1..31.
    const float *values(int column) const { return m_values.get() + size_t(column - 1) * size_t(m_count); }
    QRectF boundingRect(int column) const { return m_bounds[size_t(column - 1)]; }

private:
    int m_count;
    // Filled once, so never zeroed first.
    std::unique_ptr<double[]> m_times;
    std::unique_ptr<float[]> m_values;
    std::vector<QRectF> m_bounds;
};

// One curve's view of the columns: x = time, y = column.
class ColumnSeries : public QwtSeriesData<QPointF>, public ContiguousSeries
{
public:
    ColumnSeries(std::shared_ptr<const RecordColumns> columns, int column);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    const double *xValues() const override;
    const float *yValues() const override;

private:
    std::shared_ptr<const RecordColumns> m_columns;
    int m_column;
};
