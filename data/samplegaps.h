#pragma once

#include "data/samplerecord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Where a series has no samples: a step between two consecutive samples
// longer than three times the series' typical step is a gap, not a stretch
// over which anything was measured. The trend windows draw no line across
// one, and the reports count no time and no energy in it.
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
// at which the step from sample i - 1 to sample i is a gap; timeAt(i) is the
// time of sample i.
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
    // i: the step from sample i - 1 to sample i is a gap; no line crosses it.
    std::vector<size_t> gaps;
    // i: sample i is older than sample i - 1 (a clock set back, the repeated
    // hour of the autumn clock change, an unreadable time before it).
    std::vector<size_t> stepsBack;
};

// The gaps of a whole series, against its median step.
std::vector<size_t> findGaps(const uint32_t *times, size_t count);

// The median of the steps in seconds between consecutive samples, counting
// only steps forward: two polls stamped with one second or a clock set back
// say nothing about how often the meter was read. 0 when there is no step
// forward.
double medianStep(const uint32_t *times, size_t count);
double medianStep(const SampleRecord *records, size_t count);

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
