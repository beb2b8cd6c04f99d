#pragma once

#include "simoptions.h"

#include <csignal>

// Set by SIGINT and SIGTERM; the serving loops check it at least every
// 200 ms and return.
extern volatile sig_atomic_t simStopRequested;

// Serve Modbus TCP or Modbus RTU on a pseudo-terminal until a stop is
// requested; the process exit status.
int serveTcp(const SimOptions &options);
int serveRtu(const SimOptions &options);
