#pragma once

#include "data/samplerecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

// The texts published for the live readings: plain functions, so that what a
// broker delivers can be checked against them.

// The sample time as ISO 8601 local time with its UTC offset,
// "2024-03-01T08:00:05+08:00".
QString isoTimeText(uint32_t time);

// <prefix>/state: {"time":…,"UA":220.50,…,"UnbI":1.90}, each value with
// the decimals the data file keeps; null for a value that is not a number.
QByteArray statePayload(uint32_t time, const SampleRecord &poll);
// <prefix>/energy: {"time":…,"energy":12.345} in kWh.
QByteArray energyPayload(uint32_t time, double kwh);

// What the two published objects call the energy.
constexpr const char *kEnergyName = "energy";

struct MqttMessage {
    QByteArray topic;
    QByteArray payload;
};

// The Home Assistant node id of a prefix: its characters outside
// [A-Za-z0-9_-] become '_'.
QString discoveryNodeId(const QString &prefix);
// Home Assistant's device class of a column (1..31; 0 for the energy), empty
// for the quantities it has none for.
QString discoveryDeviceClass(int column);
// The unit as Home Assistant expects it for the column (0: kWh).
QString discoveryUnit(int column);
// The retained config of the column (1..31; 0 for the energy).
MqttMessage discoveryMessage(const QString &prefix, int column);

// Active energy from the power readings, by the trapezoid rule between
// consecutive readings of one unbroken series; a reading that is not a
// number breaks the series too. Power fed back (negative) counts as none:
// the total only grows.
class EnergyIntegrator
{
public:
    void add(qint64 ms, double watts);
    // The next reading starts a new series.
    void breakSeries() { havePrevious = false; }
    double kwh() const { return wattMs / 3.6e9; }

private:
    double wattMs = 0;
    bool havePrevious = false;
    qint64 previousMs = 0;
    double previousWatts = 0;
};
