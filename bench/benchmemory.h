#pragma once

// Resident memory of this process in MB, from /proc/self/status: now
// (VmRSS) and the peak so far (VmHWM). 0 where /proc is not there.

#include <cstdio>
#include <cstdlib>
#include <cstring>

inline double procStatusMb(const char *key)
{
    FILE *f = fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    double kb = 0;
    const size_t n = strlen(key);
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, key, n) == 0 && line[n] == ':') {
            kb = atof(line + n + 1);
            break;
        }
    }
    fclose(f);
    return kb / 1024.0;
}

inline double residentMb()
{
    return procStatusMb("VmRSS");
}

inline double peakResidentMb()
{
    return procStatusMb("VmHWM");
}

// Starts a new peak at the present resident size, so that the peak of one
// step can be told from that of the steps before; false where the kernel
// does not offer it.
inline bool resetPeakResident()
{
    FILE *f = fopen("/proc/self/clear_refs", "w");
    if (!f)
        return false;
    const bool done = fputs("5", f) >= 0;
    return fclose(f) == 0 && done;
}
