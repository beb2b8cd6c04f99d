#pragma once

#include "data/samplerecord.h"

#include <cstdint>

// Something besides the live series and the journal that the polls of an
// acquisition are handed to, in the sampling thread. Each call must return
// at once: a listener that waits holds up the polls behind it.
class PollListener
{
public:
    virtual ~PollListener() = default;
    // A poll stored in the live series, with the time it got there.
    virtual void pollStored(uint32_t time, const SampleRecord &poll) = 0;
    // A poll that brought no sample (it failed, or its turn was missed).
    virtual void pollMissed() {}
    // The run is over: stopped, or ended by an error.
    virtual void runEnded() {}
};
