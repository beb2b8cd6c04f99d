#pragma once

#include <cstdint>
#include <functional>

// What several meters on one link, one of them dead, come to.
struct MetersFigures {
    // Slots the others lost in a live run beside the dead one.
    int missed = 0;
    double storeBytesPerPoll = 0;
    double tickMs = 0;
};

// meterCount meters, the last dead; each of the others with samples 1 s
// polls from start. peakResident tells the process's peak resident size.
MetersFigures metersBenchmark(int meterCount, int samples, uint32_t start, const std::function<long()> &peakResident);
