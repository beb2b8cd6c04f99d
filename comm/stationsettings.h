#pragma once

#include "comm/forwardconfig.h"
#include "data/appconfig.h"
#include "data/meterconfig.h"

#include <QString>
#include <QVector>

// What a station records and how: its link (the serial line or the TCP
// address, and the interval), the meters on it, whether to go on through
// failed polls, the folder of the daily files (none: no daily files),
// whether the desktop program records from its start, and the forwarding
// to a broker.
struct StationConfig {
    ComConfig link{};
    QVector<MeterConfig> meters;
    bool keepAcquiring = false;
    QString dailyFolder;
    // The desktop program starts recording with its real-time windows when
    // it starts.
    bool startAcquiring = false;
    ForwardConfig forwarding;
};

// A working directory is a station. Its link stays in config/config.ini
// (AppConfig, readConfig, writeConfig); its meters, its keep-acquiring
// choice, its daily folder and its forwarding are kept beside it in
// config/meters.ini, a QSettings INI file in UTF-8:
//
//   [Meters]          1\name=进线柜  1\addr=1  …  size=2
//   [Station]         keepAcquiring, dailyFolder, startAcquiring
//   [Forward]         enabled, server, user, password, prefix, discovery,
//                     tls, caFile
//
// Without the file, or without its [Meters], the station has one meter,
// "电表1", at the address of config.ini.

// "config/meters.ini" relative to the working directory.
QString stationSettingsPath();

// The lowest and highest address a meter may have (a Modbus slave address,
// or a unit id behind a gateway).
constexpr int kFirstMeterAddress = 1;
constexpr int kLastMeterAddress = 247;

// Why the meters cannot be recorded as they are (none, a name empty or
// twice, an address outside 1..247 or twice), as the dialog says it; empty
// when they can. Names count without the blanks around them.
QString metersProblem(const QVector<MeterConfig> &meters);

// The meter "添加电表" adds to meters: "电表N" with the lowest N no meter
// is named, at the lowest address none has.
MeterConfig newMeter(const QVector<MeterConfig> &meters);

// The station of the working directory over link (config.ini's). What the
// per-user settings store held of the keep-acquiring choice, the daily
// folder and the forwarding, from before they belonged to a working
// directory, is moved into the file of the first station that reads it
// without such sections of its own, and only there: two stations never
// share a folder or a prefix that way. problem tells why the file cannot be
// used (a bad row, an unreadable file); the meters are then as the file
// has them, for the dialog to mend.
StationConfig readStationConfig(const ComConfig &link, QString *problem = nullptr);
// Writes the meters, the station's choices and the forwarding of config
// (not its link) to config/meters.ini, keeping other keys the file holds.
// The file is replaced whole or not at all, and made readable by its owner
// alone while it holds a password. false with why when the meters are
// refused or the file could not be written; the earlier file then stays.
bool writeStationConfig(const StationConfig &config, QString *problem = nullptr);

// Why daily files cannot go to folder (it is not there, or nothing can be
// written in it); empty when they can.
QString dailyFolderProblem(const QString &folder);
