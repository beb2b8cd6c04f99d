#include "data/samplegaps.h"

#include <algorithm>
#include <limits>
#include <vector>

void LocalSteps::summarise()
{
    const size_t blocks = (m_steps.size() + kBlock - 1) / kBlock;
    m_shortest.assign(blocks, 0);
    m_longest.assign(blocks, 0);
    for (size_t b = 0; b < blocks; ++b) {
        int64_t shortest = 0;
        int64_t longest = 0;
        const size_t end = std::min(m_steps.size(), (b + 1) * kBlock);
        for (size_t i = b * kBlock; i < end; ++i) {
            const int64_t s = m_steps[i];
            if (s <= 0)
                continue;
            shortest = shortest == 0 ? s : std::min(shortest, s);
            longest = std::max(longest, s);
        }
        m_shortest[b] = shortest;
        m_longest[b] = longest;
    }
}

double LocalSteps::medianAround(size_t i) const
{
    int64_t around[2 * kNeighbours];
    size_t n = 0;
    const size_t from = i > kNeighbours ? i - kNeighbours : 0;
    const size_t to = std::min(m_steps.size(), i + kNeighbours + 1);
    for (size_t j = from; j < to; ++j) {
        if (j != i && m_steps[j] > 0)
            around[n++] = m_steps[j];
    }
    if (n == 0)
        return 0;
    std::sort(around, around + n);
    if (n % 2 == 1)
        return double(around[n / 2]);
    return (double(around[n / 2 - 1]) + double(around[n / 2])) / 2;
}

double LocalSteps::typicalAround(size_t i) const
{
    // The neighbours of a sample lie in its block and the two beside it.
    const size_t b = i / kBlock;
    const size_t first = b > 0 ? b - 1 : b;
    const size_t last = std::min(m_shortest.size() - 1, b + 1);
    int64_t shortest = 0;
    int64_t longest = 0;
    for (size_t k = first; k <= last; ++k) {
        if (m_shortest[k] == 0)
            continue;
        shortest = shortest == 0 ? m_shortest[k] : std::min(shortest, m_shortest[k]);
        longest = std::max(longest, m_longest[k]);
    }
    if (shortest != longest)
        return medianAround(i);
    // All steps forward there are equal: the median is that step, when one
    // lies around the sample at all.
    const size_t from = i > kNeighbours ? i - kNeighbours : 0;
    const size_t to = std::min(m_steps.size(), i + kNeighbours + 1);
    for (size_t j = from; j < to; ++j) {
        if (j != i && m_steps[j] > 0)
            return double(shortest);
    }
    return 0;
}

bool LocalSteps::isGap(size_t i) const
{
    const int64_t s = m_steps[i];
    if (s <= 0)
        return false;
    const size_t b = i / kBlock;
    int64_t shortest = std::numeric_limits<int64_t>::max();
    for (size_t k = b > 0 ? b - 1 : b; k <= std::min(m_shortest.size() - 1, b + 1); ++k) {
        if (m_shortest[k] > 0)
            shortest = std::min(shortest, m_shortest[k]);
    }
    // The median around it is at least the shortest step there.
    if (double(s) <= kGapFactor * double(shortest))
        return false;
    return ::isGap(double(s), medianAround(i));
}

SeriesBreaks LocalSteps::breaks() const
{
    SeriesBreaks b;
    for (size_t i = 0; i < m_steps.size(); ++i) {
        if (!m_placed[i])
            b.unplaced.push_back(i);
        else if (m_steps[i] < 0)
            b.stepsBack.push_back(i);
        else if (isGap(i))
            b.gaps.push_back(i);
    }
    return b;
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
    for (int64_t step : m_steps) {
        if (step > 0)
            median.add(0, uint32_t(step));
    }
    return median.median();
}

double medianStep(const uint32_t *times, size_t count)
{
    return LocalSteps(count, [times](size_t i) { return times[i]; }).medianStep();
}
