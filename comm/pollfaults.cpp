#include "comm/pollfaults.h"

#include "comm/samplingthread.h"

QString pollFaultLogText(int kind, const ComConfig &settings)
{
    return SamplingThread::errorText(kind, settings).replace(QLatin1Char('\n'), QLatin1Char(' '));
}
