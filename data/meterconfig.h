#pragma once

#include "data/appconfig.h"

#include <QString>
#include <QVector>

// One meter on a station's link: what the user calls it and where the link
// reaches it (the RTU slave address on a serial line, the unit id behind a
// Modbus TCP gateway).
struct MeterConfig {
    QString name;
    int addr = 1;

    bool operator==(const MeterConfig &o) const { return name == o.name && addr == o.addr; }
    bool operator!=(const MeterConfig &o) const { return !(*this == o); }
};

// The meters the communication settings name: the one at their address,
// "电表1".
QVector<MeterConfig> metersOf(const ComConfig &settings);
