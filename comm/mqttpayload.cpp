#include "comm/mqttpayload.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QByteArray number(double value, int decimals)
{
    // JSON has no NaN or infinity; a meter that sends them has no reading.
    if (!std::isfinite(value))
        return QByteArrayLiteral("null");
    return QByteArray::number(value, 'f', decimals);
}

bool isEnergy(int column)
{
    return column == kEnergyColumn || column == kEnergyExportColumn;
}

QString trimmedName(int column)
{
    if (column == kEnergyColumn)
        return QString::fromLatin1(kEnergyName);
    if (column == kEnergyExportColumn)
        return QString::fromLatin1(kEnergyExportName);
    return QString::fromLatin1(ParamTable[column].name).simplified();
}

} // namespace

QString isoTimeText(uint32_t time)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(time);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray statePayload(uint32_t time, const SampleRecord &poll)
{
    QByteArray out;
    out.reserve(600);
    out += "{\"time\":\"" + isoTimeText(time).toLatin1() + '"';
    for (int k = 1; k < kColumnCount; ++k)
        out += ",\"" + trimmedName(k).toLatin1() + "\":" + number(poll.value(k), columnDecimals(k));
    out += '}';
    return out;
}

QByteArray energyPayload(uint32_t time, const char *name, double kwh)
{
    return "{\"time\":\"" + isoTimeText(time).toLatin1() + "\",\"" + name + "\":" + number(kwh, 3) + '}';
}

QString discoveryNodeId(const QString &prefix)
{
    QString id = prefix;
    for (QChar &c : id) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-';
        if (!plain)
            c = QLatin1Char('_');
    }
    return id;
}

QString discoveryDeviceClass(int column)
{
    static const struct {
        const char *unit;
        const char *deviceClass;
    } byUnit[] = {{"V", "voltage"},         {"A", "current"},          {"W", "power"},
                  {"Var", "reactive_power"}, {"VA", "apparent_power"}, {"Hz", "frequency"}};
    if (isEnergy(column))
        return QStringLiteral("energy");
    if (trimmedName(column) == QLatin1String("COS"))
        return QStringLiteral("power_factor");
    const QString unit = QString::fromLatin1(ParamTable[column].unit).simplified();
    for (const auto &u : byUnit) {
        if (unit == QLatin1String(u.unit))
            return QString::fromLatin1(u.deviceClass);
    }
    // Distortions, crest factors and unbalance have no class of their own.
    return QString();
}

QString discoveryUnit(int column)
{
    if (isEnergy(column))
        return QStringLiteral("kWh");
    const QString unit = QString::fromLatin1(ParamTable[column].unit).simplified();
    // Home Assistant knows reactive power only in "var".
    return unit == QLatin1String("Var") ? QStringLiteral("var") : unit;
}

MqttMessage discoveryMessage(const QString &prefix, int column)
{
    const QString node = discoveryNodeId(prefix);
    const QString name = trimmedName(column);
    QJsonObject config{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), node + QLatin1Char('_') + name},
        {QStringLiteral("state_topic"), prefix + QLatin1Char('/') + (isEnergy(column) ? name : QStringLiteral("state"))},
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(name)},
        {QStringLiteral("state_class"), isEnergy(column) ? QStringLiteral("total_increasing") : QStringLiteral("measurement")},
        {QStringLiteral("availability_topic"), prefix + QStringLiteral("/status")},
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{node}},
                     {QStringLiteral("name"), QStringLiteral("ZEP ") + prefix},
                     {QStringLiteral("manufacturer"), QCoreApplication::organizationName()},
                     {QStringLiteral("model"), QCoreApplication::applicationName()},
                     {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}}},
    };
    if (!discoveryUnit(column).isEmpty())
        config.insert(QStringLiteral("unit_of_measurement"), discoveryUnit(column));
    if (!discoveryDeviceClass(column).isEmpty())
        config.insert(QStringLiteral("device_class"), discoveryDeviceClass(column));
    return {QStringLiteral("homeassistant/sensor/%1/%2/config").arg(node, name).toUtf8(),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
}

QVector<int> discoveryColumns()
{
    QVector<int> columns{kEnergyColumn, kEnergyExportColumn};
    for (int column = 1; column < kColumnCount; ++column)
        columns.append(column);
    return columns;
}
