#include "data/samplegaps.h"

#include <algorithm>
#include <vector>

StepMedian::StepMedian()
    : m_counts(kCounted, 0)
{
}

uint32_t StepMedian::valueAt(size_t rank)
{
    for (uint32_t step = 1; step < kCounted; ++step) {
        if (rank < m_counts[step])
            return step;
        rank -= m_counts[step];
    }
    std::nth_element(m_longer.begin(), m_longer.begin() + ptrdiff_t(rank), m_longer.end());
    return m_longer[rank];
}

double StepMedian::median()
{
    size_t steps = m_longer.size();
    for (size_t count : m_counts)
        steps += count;
    if (steps == 0)
        return 0;
    const double upper = valueAt(steps / 2);
    if (steps % 2 == 1)
        return upper;
    return (valueAt(steps / 2 - 1) + upper) / 2;
}

double medianStep(const uint32_t *times, size_t count)
{
    StepMedian median;
    for (size_t i = 1; i < count; ++i)
        median.add(times[i - 1], times[i]);
    return median.median();
}

double medianStep(const SampleRecord *records, size_t count)
{
    StepMedian median;
    for (size_t i = 1; i < count; ++i)
        median.add(records[i - 1].time, records[i].time);
    return median.median();
}

std::vector<size_t> findGaps(const uint32_t *times, size_t count)
{
    std::vector<size_t> gaps;
    appendGaps(1, count, [times](size_t i) { return times[i]; }, medianStep(times, count), gaps);
    return gaps;
}
