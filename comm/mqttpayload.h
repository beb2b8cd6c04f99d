#pragma once

#include "data/meterconfig.h"
#include "data/samplerecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The texts published for the live readings: plain functions, so that what a
// broker delivers can be checked against them.

// The sample time as ISO 8601 local time with its UTC offset,
// "2024-03-01T08:00:05+08:00".
QString isoTimeText(uint32_t time);

// <root>/state (MeterTopics below): {"time":…,"UA":220.50,…,"UnbI":1.90}, each value with
// the decimals the data file keeps; null for a value that is not a number.
QByteArray statePayload(uint32_t time, const SampleRecord &poll);
// <root>/energy and <root>/energy_export: {"time":…,"energy":12.345}
// in kWh, the value under the topic's name.
QByteArray energyPayload(uint32_t time, const char *name, double kwh);

// What the published objects call the active energy drawn from the supply
// and fed back into it, two totals that only grow since the acquisition
// started (data/energy.h); their topics are <root>/<name>.
constexpr const char *kEnergyName = "energy";
constexpr const char *kEnergyExportName = "energy_export";
// Their columns for the discovery functions below.
constexpr int kEnergyColumn = 0;
constexpr int kEnergyExportColumn = -1;

struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
};

// Where one meter's readings go and what Home Assistant makes of them.
// A lone meter publishes under the prefix itself, as a station with one
// meter always has; with several, each under <prefix>/<地址>, its address
// telling it apart whatever its name.
struct MeterTopics {
    QString root;              // <prefix>, or <prefix>/<地址>
    QString nodeId;            // of the prefix, and of the address with several meters
    QString deviceName;        // "ZEP <prefix>" for a lone meter, else the meter's name
    QString status;            // <root>/status: "online" or "offline", retained
    QStringList availability;  // the status topics that must all say "online"
};
QVector<MeterTopics> meterTopics(const QString &prefix, const QVector<MeterConfig> &meters);
// The station's status topic, the last will of its connection.
QString stationStatusTopic(const QString &prefix);

// The Home Assistant node id of a prefix: its characters outside
// [A-Za-z0-9_-] become '_'.
QString discoveryNodeId(const QString &prefix);
// What Home Assistant calls the column's entity: "A相电压", "总有功功率" ….
QString discoveryName(int column);
// Home Assistant's device class of a column (1..31, or an energy column),
// empty for the quantities it has none for.
QString discoveryDeviceClass(int column);
// The unit as Home Assistant expects it for the column (energy: kWh).
QString discoveryUnit(int column);
// The retained config of the meter's column (1..31, or an energy column).
MqttMessage discoveryMessage(const MeterTopics &meter, int column);
// The columns that get a config: the two energies, then 1..31.
QVector<int> discoveryColumns();
