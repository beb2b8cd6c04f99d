#pragma once

#include "data/samplerecord.h"

#include <cstddef>
#include <cstdint>

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

// The median of the steps in seconds between consecutive samples, counting
// only steps forward: two polls stamped with one second or a clock set back
// say nothing about how often the meter was read. 0 when there is no step
// forward.
double medianStep(const uint32_t *times, size_t count);
double medianStep(const SampleRecord *records, size_t count);
