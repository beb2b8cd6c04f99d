#pragma once

#include "data/samplerecord.h"
#include "views/trendseries.h"

#include <QRectF>

#include <functional>
#include <memory>
#include <vector>

// Where the summary of a RecordSource gets its memory: malloc's kind of
// allocator (null when there is none; freed with free). Tests hand in one
// that fails.
using SummaryAllocator = std::function<void *(size_t bytes)>;

// What the curves of a data file's trend plot read: the file's records
// themselves, never copied, and what is found in them once: each value
// column's bounds, a min/max summary of every column, and where the line
// breaks (the gaps by the gap rule of a file, times that go back, records
// without a time). The summary costs about 6.4 bytes a record for all 31
// columns together.
class RecordSource
{
public:
    // The records (count >= 1) must outlive the source. allocate (malloc
    // when empty) gives the summary's memory.
    RecordSource(const SampleRecord *records, int count, const SummaryAllocator &allocate = {});
    ~RecordSource();
    RecordSource(const RecordSource &) = delete;
    RecordSource &operator=(const RecordSource &) = delete;

    // False when memory for what is found at open could not be had (any of
    // it: nothing escapes the constructor); the source then holds no
    // samples.
    bool complete() const { return m_count > 0; }
    int size() const { return m_count; }
    const SampleRecord &record(int i) const { return m_records[i]; }
    // Column 1..31. Values that are not finite never widen it, nor do
    // records without a time.
    QRectF boundingRect(int column) const { return m_bounds.empty() ? QRectF() : m_bounds[size_t(column - 1)]; }
    const SeriesBreaks &breaks() const { return m_breaks; }

    // TrendSeries::pickColumns for column 1..31. The records are read once
    // for all columns, whose curves then ask in turn: what was found is
    // kept while the same samples are asked for in the same view, so that
    // a redraw of that view reads none of the records it draws.
    void pickColumns(int column, int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const;

private:
    struct Summary;
    struct Picks;
    void summarise(const SummaryAllocator &allocate);
    Picks findPicks(int from, int to, const QwtScaleMap &xMap) const;

    const SampleRecord *m_records;
    int m_count;
    std::unique_ptr<Summary> m_summary;
    std::vector<QRectF> m_bounds;
    SeriesBreaks m_breaks;
    mutable std::vector<Picks> m_picks;
};

// One curve's view of the records: x = time, y = column. A record without
// a time takes the time of the record before it with one.
class RecordSeries : public TrendSeries
{
public:
    RecordSeries(std::shared_ptr<const RecordSource> source, int column);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;
    const SeriesBreaks &breaks() const override;
    void pickColumns(int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const override;

private:
    std::shared_ptr<const RecordSource> m_source;
    int m_column;
};
