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

QString discoveryName(int column)
{
    static const char *const names[kColumnCount] = {
        "时间",           "A相电压",         "B相电压",         "C相电压",         "平均相电压",
        "AB线电压",       "BC线电压",        "CA线电压",        "平均线电压",      "A相电流",
        "B相电流",        "C相电流",         "平均电流",        "总有功功率",      "总无功功率",
        "总视在功率",     "功率因数",        "频率",            "A相电压谐波畸变率", "B相电压谐波畸变率",
        "C相电压谐波畸变率", "A相电流谐波畸变率", "B相电流谐波畸变率", "C相电流谐波畸变率", "A相电压波峰系数",
        "B相电压波峰系数", "C相电压波峰系数", "A相电流波峰系数", "B相电流波峰系数", "C相电流波峰系数",
        "电压不平衡度",   "电流不平衡度",
    };
    if (column == kEnergyColumn)
        return QStringLiteral("正向有功电能");
    if (column == kEnergyExportColumn)
        return QStringLiteral("反向有功电能");
    return QString::fromUtf8(names[column]);
}

QString stationStatusTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}

QVector<MeterTopics> meterTopics(const QString &prefix, const QVector<MeterConfig> &meters)
{
    QVector<MeterTopics> topics;
    for (const MeterConfig &meter : meters) {
        MeterTopics t;
        t.root = prefix;
        t.nodeId = discoveryNodeId(prefix);
        t.deviceName = QStringLiteral("ZEP ") + prefix;
        if (meters.size() > 1) {
            t.root += QLatin1Char('/') + QString::number(meter.addr);
            t.nodeId += QLatin1Char('_') + QString::number(meter.addr);
            t.deviceName = meter.name;
        }
        t.status = stationStatusTopic(t.root);
        t.availability = QStringList{stationStatusTopic(prefix)};
        if (t.status != t.availability.first())
            t.availability.append(t.status);
        topics.append(t);
    }
    return topics;
}

MqttMessage discoveryMessage(const MeterTopics &meter, int column)
{
    const QString name = trimmedName(column);
    QJsonObject config{
        {QStringLiteral("name"), discoveryName(column)},
        {QStringLiteral("unique_id"), meter.nodeId + QLatin1Char('_') + name},
        {QStringLiteral("state_topic"), meter.root + QLatin1Char('/') + (isEnergy(column) ? name : QStringLiteral("state"))},
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(name)},
        {QStringLiteral("state_class"), isEnergy(column) ? QStringLiteral("total_increasing") : QStringLiteral("measurement")},
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{meter.nodeId}},
                     {QStringLiteral("name"), meter.deviceName},
                     {QStringLiteral("manufacturer"), QCoreApplication::organizationName()},
                     {QStringLiteral("model"), QCoreApplication::applicationName()},
                     {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}}},
    };
    // One meter of several is there while the station and the meter both
    // are: the station's last will, the meter's own status.
    if (meter.availability.size() == 1) {
        config.insert(QStringLiteral("availability_topic"), meter.availability.first());
    } else {
        QJsonArray availability;
        for (const QString &topic : meter.availability)
            availability.append(QJsonObject{{QStringLiteral("topic"), topic}});
        config.insert(QStringLiteral("availability"), availability);
        config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    }
    if (!discoveryUnit(column).isEmpty())
        config.insert(QStringLiteral("unit_of_measurement"), discoveryUnit(column));
    if (!discoveryDeviceClass(column).isEmpty())
        config.insert(QStringLiteral("device_class"), discoveryDeviceClass(column));
    return {QStringLiteral("homeassistant/sensor/%1/%2/config").arg(meter.nodeId, name).toUtf8(),
            QJsonDocument(config).toJson(QJsonDocument::Compact)};
}

QVector<int> discoveryColumns()
{
    QVector<int> columns{kEnergyColumn, kEnergyExportColumn};
    for (int column = 1; column < kColumnCount; ++column)
        columns.append(column);
    return columns;
}
