#pragma once

#include "data/samplerecord.h"

#include <cstddef>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

// Where a series has no samples: a step between two consecutive samples
// longer than three times the typical step is a gap, not a stretch over
// which anything was measured. The trend windows draw no line across one,
// and the reports count no time and no energy in it.
//
// The live series knows its typical step: the sampling interval. A recorded
// file does not, and its interval may change from one run of the day to the
// next (1 s in the morning, 60 s in the afternoon); so each of its steps is
// judged against the steps around it (LocalSteps), and a change of interval
// is never a gap while an outage in either part still is.
constexpr double kGapFactor = 3.0;

// typicalStep 0 (too few samples to tell) makes nothing a gap.
inline bool isGap(double step, double typicalStep)
{
    return typicalStep > 0 && step > kGapFactor * typicalStep;
}

// Whether the step from a sample at time before to the next one at time
// after is a gap. A step back or none never is.
inline bool isGapStep(uint32_t before, uint32_t after, double typicalStep)
{
    return after > before && isGap(double(after - before), typicalStep);
}

// Appends to gaps, in ascending order, each index i in [from, to), i >= 1,
// at which the step from sample i - 1 to sample i is a gap against a known
// typical step (the live rule); timeAt(i) is the time of sample i.
template <typename TimeAt>
void appendGaps(size_t from, size_t to, TimeAt timeAt, double typicalStep, std::vector<size_t> &gaps)
{
    for (size_t i = from > 0 ? from : 1; i < to; ++i) {
        if (isGapStep(timeAt(i - 1), timeAt(i), typicalStep))
            gaps.push_back(i);
    }
}

// Where the line of a series breaks off or turns back, as sample indexes in
// ascending order.
struct SeriesBreaks {
    // i: the step to sample i from the sample with a time before it is a
    // gap; no line crosses it.
    std::vector<size_t> gaps;
    // i: sample i is older than the sample with a time before it (a clock
    // set back, the repeated hour of the autumn clock change).
    std::vector<size_t> stepsBack;
    // i: sample i has no time (its time line did not read); it is drawn
    // nowhere, and the steps around it go from the sample before it to the
    // one after.
    std::vector<size_t> unplaced;
};

// The steps of a recorded series and the gap rule over them. A step goes to
// each sample with a time from the last sample before it with a time;
// samples without one (SampleRecord::hasTime) take no part. The typical step
// around the step to sample i is the median of the steps forward among the
// kNeighbours samples on each side of it (the mean of the middle two when
// they are even in number); the step is a gap when it is longer than three
// times that. Made once for a series, in one pass over its times.
class LocalSteps
{
public:
    static constexpr size_t kNeighbours = 8;

    template <typename TimeAt>
    LocalSteps(size_t count, TimeAt timeAt);
    // Empty, for a pass over a series that does more: add each sample's
    // time in turn (count of them at most), then finish.
    explicit LocalSteps(size_t count);
    void finish();
    void add(uint32_t time)
    {
        int32_t step = kNoTime;
        if (SampleRecord::isValidTime(time)) {
            const int64_t s = m_seen ? int64_t(time) - int64_t(m_last) : 0;
            step = int32_t(s > INT32_MAX ? INT32_MAX : s < -INT32_MAX ? -INT32_MAX : s);
            m_seen = true;
            m_last = time;
        }
        if (m_steps.size() % kBlock == 0)
            m_blocks.emplace_back();
        Block &b = m_blocks.back();
        if (step > 0) {
            b.shortest = b.shortest == 0 ? step : std::min(b.shortest, step);
            b.longest = std::max(b.longest, step);
        } else if (step < 0) {
            b.plain = false;
        }
        m_steps.push_back(step);
    }

    size_t size() const { return m_steps.size(); }
    // The step in seconds to sample i: negative when its time goes back, 0
    // for the first sample with a time, one without and one stamped with
    // the same second as the sample before. Steps of more than 68 years
    // read as 68 years.
    int64_t step(size_t i) const { return m_steps[i] == kNoTime ? 0 : m_steps[i]; }
    bool hasTime(size_t i) const { return m_steps[i] != kNoTime; }
    // 0 when no step forward lies around it.
    double typicalAround(size_t i) const;
    // The median of all the steps forward, as medianStep gives it.
    double medianStep() const;
    bool isGap(size_t i) const;
    // Where the series breaks, as the trend windows draw it.
    SeriesBreaks breaks() const;

private:
    static constexpr int32_t kNoTime = INT32_MIN;
    // Samples per block of the quick test: a block whose longest step is
    // at most three times the shortest around it holds no gap, and a block
    // whose steps around it are all equal has that step as its typical one.
    static constexpr size_t kBlock = 64;
    struct Block {
        int32_t shortest = 0; // of the steps forward; 0 for none
        int32_t longest = 0;
        bool plain = true;    // no step back, no sample without a time
    };
    double medianAround(size_t i) const;
    // The shortest and longest step forward of block b and those beside it.
    const Block &around(size_t b) const { return m_near[b]; }

    std::vector<int32_t> m_steps;
    std::vector<Block> m_blocks;
    std::vector<Block> m_near;
    bool m_seen = false;
    uint32_t m_last = 0;
};

template <typename TimeAt>
LocalSteps::LocalSteps(size_t count, TimeAt timeAt)
    : LocalSteps(count)
{
    for (size_t i = 0; i < count; ++i)
        add(timeAt(i));
    finish();
}

// The breaks of a recorded series.
SeriesBreaks findBreaks(const SampleRecord *records, size_t count);
// Its gaps alone.
std::vector<size_t> findGaps(const uint32_t *times, size_t count);

// The median of the steps in seconds between consecutive samples, counting
// only steps forward: two polls stamped with one second or a clock set back
// say nothing about how often the meter was read. 0 when there is no step
// forward. Samples without a time take no part.
double medianStep(const uint32_t *times, size_t count);

// medianStep a step at a time, for a pass over a series that does more.
// Steps of up to an hour are counted, not kept, so that a long series
// costs a fixed amount of memory.
class StepMedian
{
public:
    StepMedian();
    // The step from a sample at time before to the next one at time after.
    void add(uint32_t before, uint32_t after)
    {
        if (after <= before)
            return;
        const uint32_t step = after - before;
        if (step < kCounted)
            ++m_counts[step];
        else
            m_longer.push_back(step);
    }
    double median();

private:
    static constexpr uint32_t kCounted = 3601;
    uint32_t valueAt(size_t rank);

    std::vector<size_t> m_counts;
    std::vector<uint32_t> m_longer;
};
