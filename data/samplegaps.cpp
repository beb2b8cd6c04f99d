#include "data/samplegaps.h"

#include <algorithm>
#include <vector>

namespace {

template <typename TimeAt>
double medianOfForwardSteps(size_t count, TimeAt timeAt)
{
    std::vector<uint32_t> steps;
    steps.reserve(count > 0 ? count - 1 : 0);
    for (size_t i = 1; i < count; ++i) {
        const uint32_t a = timeAt(i - 1);
        const uint32_t b = timeAt(i);
        if (b > a)
            steps.push_back(b - a);
    }
    if (steps.empty())
        return 0;
    const size_t half = steps.size() / 2;
    std::nth_element(steps.begin(), steps.begin() + half, steps.end());
    const double upper = steps[half];
    if (steps.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(steps.begin(), steps.begin() + half);
    return (lower + upper) / 2;
}

} // namespace

double medianStep(const uint32_t *times, size_t count)
{
    return medianOfForwardSteps(count, [times](size_t i) { return times[i]; });
}

double medianStep(const SampleRecord *records, size_t count)
{
    return medianOfForwardSteps(count, [records](size_t i) { return records[i].time; });
}

std::vector<size_t> findGaps(const uint32_t *times, size_t count)
{
    std::vector<size_t> gaps;
    appendGaps(1, count, [times](size_t i) { return times[i]; }, medianStep(times, count), gaps);
    return gaps;
}
