#pragma once

#include "simoptions.h"

// Writes options.records samples of the simulated supply to a data file,
// options.interval seconds apart from options.start; the exit status.
int writeSimulatedFile(const SimOptions &options);
