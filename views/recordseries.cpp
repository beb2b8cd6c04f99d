#include "views/recordseries.h"

#include "data/samplegaps.h"
#include "data/minmaxsummary.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// A record read as 32 cells of one width, so that each step over the 31
// columns runs in whole vector registers. Cell 0, the time, comes along
// and is never looked at.
constexpr int kCells = 32;
static_assert(sizeof(SampleRecord) == kCells * sizeof(float), "a record is 32 cells");

// Records per group of the two summary levels.
constexpr size_t kFine = 64;
constexpr size_t kCoarse = 1024;
static_assert(kCoarse <= 65536, "offsets within a group fit 16 bits");

struct Cells {
    float v[kCells];
};

inline Cells cellsOf(const SampleRecord &record)
{
    Cells c;
    std::memcpy(c.v, &record, sizeof c.v);
    return c;
}

// The extremes of each cell over a group of records, as offsets from the
// group's first record.
struct CellGroup {
    float low[kCells];
    float high[kCells];
    uint16_t lowAt[kCells];
    uint16_t highAt[kCells];
};

// The extremes of each cell over a run of records so far.
struct CellExtremes {
    float low[kCells];
    float high[kCells];
    uint32_t lowAt[kCells];
    uint32_t highAt[kCells];

    void start(const Cells &c, uint32_t at)
    {
        for (int l = 0; l < kCells; ++l) {
            low[l] = high[l] = c.v[l];
            lowAt[l] = highAt[l] = at;
        }
    }
    void add(const Cells &c, uint32_t at)
    {
        for (int l = 0; l < kCells; ++l) {
            const bool lower = lowerThan(c.v[l], low[l]);
            const bool higher = higherThan(c.v[l], high[l]);
            low[l] = lower ? c.v[l] : low[l];
            lowAt[l] = lower ? at : lowAt[l];
            high[l] = higher ? c.v[l] : high[l];
            highAt[l] = higher ? at : highAt[l];
        }
    }
    // A group that starts at record base and follows what was added so far.
    void add(const CellGroup &g, uint32_t base)
    {
        for (int l = 0; l < kCells; ++l) {
            const bool lower = lowerThan(g.low[l], low[l]);
            const bool higher = higherThan(g.high[l], high[l]);
            const uint32_t groupLowAt = base + g.lowAt[l];
            const uint32_t groupHighAt = base + g.highAt[l];
            low[l] = lower ? g.low[l] : low[l];
            lowAt[l] = lower ? groupLowAt : lowAt[l];
            high[l] = higher ? g.high[l] : high[l];
            highAt[l] = higher ? groupHighAt : highAt[l];
        }
    }
    void store(CellGroup &g, uint32_t base) const
    {
        for (int l = 0; l < kCells; ++l) {
            g.low[l] = low[l];
            g.high[l] = high[l];
            g.lowAt[l] = uint16_t(lowAt[l] - base);
            g.highAt[l] = uint16_t(highAt[l] - base);
        }
    }
};

inline bool isFinite(float v)
{
    return std::fabs(v) <= std::numeric_limits<float>::max();
}

// The finite extremes of each cell: a file may spell out "inf" or "nan",
// and such values are drawn where they fall but never widen the axis.
struct CellBounds {
    float low[kCells];
    float high[kCells];

    CellBounds()
    {
        std::fill(low, low + kCells, std::numeric_limits<float>::infinity());
        std::fill(high, high + kCells, -std::numeric_limits<float>::infinity());
    }
    void add(int cell, float v)
    {
        low[cell] = qMin(low[cell], v);
        high[cell] = qMax(high[cell], v);
    }
    // A group of count records from its summary, or, where that holds a
    // value that is not finite, from the records.
    void add(const CellGroup &g, const SampleRecord *records, size_t count)
    {
        for (int cell = 1; cell < kCells; ++cell) {
            if (isFinite(g.low[cell]) && isFinite(g.high[cell])) {
                add(cell, g.low[cell]);
                add(cell, g.high[cell]);
                continue;
            }
            for (size_t i = 0; i < count; ++i) {
                if (isFinite(records[i].values[cell - 1]))
                    add(cell, records[i].values[cell - 1]);
            }
        }
    }
};

struct FreeDeleter {
    void operator()(void *p) const { free(p); }
};

size_t groupsOf(size_t count, size_t size)
{
    return (count + size - 1) / size;
}

} // namespace

struct RecordSource::Summary {
    std::unique_ptr<CellGroup[], FreeDeleter> fine;
    std::unique_ptr<CellGroup[], FreeDeleter> coarse;
};

// What pickColumns found for samples [from, to] in one view, all columns.
struct RecordSource::Picks {
    double s1, s2, p1, p2;
    int from, to;
    std::vector<PickedSamples> columns;
};

RecordSource::RecordSource(const SampleRecord *records, int count, const SummaryAllocator &allocate)
    : m_records(records)
    , m_count(qMax(count, 0))
{
    // A file too large for the memory left gives no samples, for the plot
    // to report, rather than ending the program: whichever allocation fails.
    try {
        summarise(allocate ? allocate : SummaryAllocator(malloc));
    } catch (const std::bad_alloc &) {
        m_summary.reset();
        m_bounds.clear();
        m_breaks = SeriesBreaks();
    }
    if (!m_summary)
        m_count = 0;
}

void RecordSource::summarise(const SummaryAllocator &allocate)
{
    const size_t n = size_t(m_count);
    if (n == 0)
        return;
    auto summary = std::make_unique<Summary>();
    summary->fine.reset(static_cast<CellGroup *>(allocate(groupsOf(n, kFine) * sizeof(CellGroup))));
    if (!summary->fine)
        return;
    summary->coarse.reset(static_cast<CellGroup *>(allocate(groupsOf(n, kCoarse) * sizeof(CellGroup))));
    if (!summary->coarse)
        return;

    // One pass over the records for the summary and the times; the bounds
    // and the breaks come from what it found.
    const SampleRecord *records = m_records;
    LocalSteps steps(n);
    CellExtremes coarse;
    uint32_t minTime = SampleRecord::kInvalidTime;
    uint32_t maxTime = 0;
    for (size_t begin = 0; begin < n; begin += kFine) {
        const size_t end = qMin(n, begin + kFine);
        CellExtremes fine;
        fine.start(cellsOf(records[begin]), uint32_t(begin));
        for (size_t i = begin + 1; i < end; ++i)
            fine.add(cellsOf(records[i]), uint32_t(i));
        for (size_t i = begin; i < end; ++i) {
            steps.add(records[i].time);
            if (records[i].hasTime()) {
                minTime = qMin(minTime, records[i].time);
                maxTime = qMax(maxTime, records[i].time);
            }
        }
        CellGroup &group = summary->fine[begin / kFine];
        fine.store(group, uint32_t(begin));
        if (begin % kCoarse == 0)
            coarse = fine;
        else
            coarse.add(group, uint32_t(begin));
        if (end % kCoarse == 0 || end == n) {
            const size_t coarseBegin = begin - begin % kCoarse;
            coarse.store(summary->coarse[coarseBegin / kCoarse], uint32_t(coarseBegin));
        }
    }
    steps.finish();
    m_breaks = steps.breaks();
    if (minTime > maxTime)
        minTime = maxTime = SampleRecord::kInvalidTime;
    CellBounds bounds;
    for (size_t begin = 0; begin < n; begin += kFine) {
        const size_t end = qMin(n, begin + kFine);
        bounds.add(summary->fine[begin / kFine], records + begin, end - begin);
    }
    m_bounds.resize(kValueCount);
    for (int k = 0; k < kValueCount; ++k) {
        float low = bounds.low[k + 1];
        float high = bounds.high[k + 1];
        if (low > high)
            low = high = 0.0f;
        m_bounds[size_t(k)] = QRectF(QPointF(minTime, low), QPointF(maxTime, high));
    }
    m_summary = std::move(summary);
}

RecordSource::~RecordSource() = default;

void RecordSource::pickColumns(int column, int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const
{
    const auto sameView = [&xMap](const Picks &p) {
        return p.s1 == xMap.s1() && p.s2 == xMap.s2() && p.p1 == xMap.p1() && p.p2 == xMap.p2();
    };
    if (!m_picks.empty() && !sameView(m_picks.front()))
        m_picks.clear();
    auto found = std::find_if(m_picks.begin(), m_picks.end(), [from, to](const Picks &p) { return p.from == from && p.to == to; });
    if (found == m_picks.end()) {
        m_picks.push_back(findPicks(from, to, xMap));
        found = m_picks.end() - 1;
    }
    picked = found->columns[size_t(column - 1)];
}

RecordSource::Picks RecordSource::findPicks(int from, int to, const QwtScaleMap &xMap) const
{
    const SampleRecord *records = m_records;
    const Summary &summary = *m_summary;
    // Each pixel column's extremes, for all columns in one pass over the
    // records at its edges and the summary between.
    struct Column {
        int first;
        int last;
        CellExtremes run;
    };
    std::vector<Column> found;
    const auto timeAt = [records](int i) { return double(records[i].time); };
    for (int i = from, width = 1; i <= to;) {
        const int end = pixelColumnEnd(i, to + 1, timeAt, xMap, width);
        width = end - i;
        CellExtremes run;
        run.start(cellsOf(records[i]), uint32_t(i));
        walkRun<kFine, kCoarse>(
            size_t(i) + 1, size_t(end), [&](size_t r) { run.add(cellsOf(records[r]), uint32_t(r)); },
            [&](size_t r) { run.add(summary.fine[r / kFine], uint32_t(r)); },
            [&](size_t r) { run.add(summary.coarse[r / kCoarse], uint32_t(r)); });
        found.push_back(Column{i, end - 1, run});
        i = end;
    }
    // The times of the extremes, read in one go: they lie anywhere in the
    // records, and reads that need not wait for each other overlap.
    std::vector<double> lowTimes(found.size() * kCells);
    std::vector<double> highTimes(found.size() * kCells);
    for (size_t c = 0; c < found.size(); ++c) {
        for (int cell = 1; cell < kCells; ++cell) {
            lowTimes[c * kCells + size_t(cell)] = double(records[found[c].run.lowAt[cell]].time);
            highTimes[c * kCells + size_t(cell)] = double(records[found[c].run.highAt[cell]].time);
        }
    }
    Picks p{xMap.s1(), xMap.s2(), xMap.p1(), xMap.p2(), from, to, std::vector<PickedSamples>(kValueCount)};
    for (PickedSamples &out : p.columns) {
        out.indexes.reserve(int(found.size()) * 4);
        out.points.reserve(int(found.size()) * 4);
    }
    for (size_t c = 0; c < found.size(); ++c) {
        const Column &column = found[c];
        const CellExtremes &run = column.run;
        const SampleRecord &first = records[column.first];
        const SampleRecord &last = records[column.last];
        for (int k = 0; k < kValueCount; ++k) {
            PickedSamples &out = p.columns[size_t(k)];
            const auto pick = [&out](uint32_t index, double time, float value) {
                if (out.indexes.isEmpty() || out.indexes.last() < int(index)) {
                    out.indexes.append(int(index));
                    out.points.append(QPointF(time, double(value)));
                }
            };
            const int cell = k + 1;
            const double lowTime = lowTimes[c * kCells + size_t(cell)];
            const double highTime = highTimes[c * kCells + size_t(cell)];
            pick(uint32_t(column.first), double(first.time), first.values[k]);
            if (run.lowAt[cell] < run.highAt[cell]) {
                pick(run.lowAt[cell], lowTime, run.low[cell]);
                pick(run.highAt[cell], highTime, run.high[cell]);
            } else {
                pick(run.highAt[cell], highTime, run.high[cell]);
                pick(run.lowAt[cell], lowTime, run.low[cell]);
            }
            pick(uint32_t(column.last), double(last.time), last.values[k]);
        }
    }
    return p;
}

RecordSeries::RecordSeries(std::shared_ptr<const RecordSource> source, int column)
    : m_source(std::move(source))
    , m_column(column)
{
}

size_t RecordSeries::size() const
{
    return size_t(m_source->size());
}

QPointF RecordSeries::sample(size_t i) const
{
    const SampleRecord &r = m_source->record(int(i));
    if (r.hasTime())
        return QPointF(double(r.time), double(r.value(m_column)));
    // Never drawn; for the searches over the series it stands where the
    // record before it does, so that its times still ascend.
    const size_t near = placedNear(m_source->breaks().unplaced, i, size());
    return QPointF(double(m_source->record(int(near)).time), double(r.value(m_column)));
}

QRectF RecordSeries::boundingRect() const
{
    return m_source->boundingRect(m_column);
}

const SeriesBreaks &RecordSeries::breaks() const
{
    return m_source->breaks();
}

void RecordSeries::pickColumns(int from, int to, const QwtScaleMap &xMap, PickedSamples &picked) const
{
    m_source->pickColumns(m_column, from, to, xMap, picked);
}
