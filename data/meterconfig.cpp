#include "data/meterconfig.h"

QVector<MeterConfig> metersOf(const ComConfig &settings)
{
    return {MeterConfig{QStringLiteral("电表1"), settings.addr}};
}
