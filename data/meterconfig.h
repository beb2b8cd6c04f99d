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

// For each of the meters `now`, the place among `before` of the same meter
// (the one at its address, which names a meter on its link), -1 for a new
// one: a meter renamed stays the same, and one whose address changed is
// another.
QVector<int> sameMeters(const QVector<MeterConfig> &before, const QVector<MeterConfig> &now);

// The name of a meter's folder of daily files: "<地址>-<名称>", with every
// character a file name cannot hold, here or on a disk the files may be
// copied to, replaced by "_".
QString meterFolderName(const MeterConfig &meter);
// The subfolder of the daily folder that meter (its place among meters)
// writes its daily files to: none with one meter, whose files stay where
// they always were, and its own folder with several.
QString meterDailySubfolder(const QVector<MeterConfig> &meters, int meter);
