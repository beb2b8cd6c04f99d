#include "data/samplegaps.h"

#include <algorithm>
#include <limits>
#include <vector>

LocalSteps::LocalSteps(size_t count)
{
    m_steps.reserve(count);
    m_blocks.reserve((count + kBlock - 1) / kBlock);
}

void LocalSteps::finish()
{
    m_near.assign(m_blocks.size(), Block());
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        Block &a = m_near[b];
        for (size_t k = b > 0 ? b - 1 : b; k <= std::min(m_blocks.size() - 1, b + 1); ++k) {
            if (m_blocks[k].shortest == 0)
                continue;
            a.shortest = a.shortest == 0 ? m_blocks[k].shortest : std::min(a.shortest, m_blocks[k].shortest);
            a.longest = std::max(a.longest, m_blocks[k].longest);
        }
    }
}

double LocalSteps::medianAround(size_t i) const
{
    int32_t steps[2 * kNeighbours];
    size_t n = 0;
    const size_t from = i > kNeighbours ? i - kNeighbours : 0;
    const size_t to = std::min(m_steps.size(), i + kNeighbours + 1);
    for (size_t j = from; j < to; ++j) {
        if (j != i && m_steps[j] > 0)
            steps[n++] = m_steps[j];
    }
    if (n == 0)
        return 0;
    std::sort(steps, steps + n);
    if (n % 2 == 1)
        return double(steps[n / 2]);
    return (double(steps[n / 2 - 1]) + double(steps[n / 2])) / 2;
}

double LocalSteps::typicalAround(size_t i) const
{
    // The neighbours of a sample lie in its block and the two beside it.
    const Block &a = around(i / kBlock);
    if (a.shortest != a.longest)
        return medianAround(i);
    // All steps forward there are equal: the median is that step, when one
    // lies around the sample at all.
    const size_t from = i > kNeighbours ? i - kNeighbours : 0;
    const size_t to = std::min(m_steps.size(), i + kNeighbours + 1);
    for (size_t j = from; j < to; ++j) {
        if (j != i && m_steps[j] > 0)
            return double(a.shortest);
    }
    return 0;
}

bool LocalSteps::isGap(size_t i) const
{
    const int32_t s = m_steps[i];
    // The median around it is at least the shortest step there.
    if (s <= 0 || double(s) <= kGapFactor * double(around(i / kBlock).shortest))
        return false;
    return ::isGap(double(s), medianAround(i));
}

SeriesBreaks LocalSteps::breaks() const
{
    SeriesBreaks breaks;
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        const Block &a = around(b);
        const bool noGap = double(m_blocks[b].longest) <= kGapFactor * double(a.shortest);
        if (m_blocks[b].plain && noGap)
            continue;
        for (size_t i = b * kBlock; i < std::min(m_steps.size(), (b + 1) * kBlock); ++i) {
            if (m_steps[i] == kNoTime)
                breaks.unplaced.push_back(i);
            else if (m_steps[i] < 0)
                breaks.stepsBack.push_back(i);
            else if (!noGap && isGap(i))
                breaks.gaps.push_back(i);
        }
    }
    return breaks;
}

SeriesBreaks findBreaks(const SampleRecord *records, size_t count)
{
    return LocalSteps(count, [records](size_t i) { return records[i].time; }).breaks();
}



std::vector<size_t> findGaps(const uint32_t *times, size_t count)
{
    return LocalSteps(count, [times](size_t i) { return times[i]; }).breaks().gaps;
}

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

double LocalSteps::medianStep() const
{
    StepMedian median;
    for (int32_t step : m_steps) {
        if (step > 0)
            median.add(0, uint32_t(step));
    }
    return median.median();
}

double medianStep(const uint32_t *times, size_t count)
{
    return LocalSteps(count, [times](size_t i) { return times[i]; }).medianStep();
}
