#include "comm/pollfaults.h"

#include "comm/samplingthread.h"

QString pollFaultLogText(int kind, const QDateTime &when, const ComConfig &settings)
{
    return when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + SamplingThread::errorText(kind, settings);
}
