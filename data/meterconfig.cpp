#include "data/meterconfig.h"

QVector<MeterConfig> metersOf(const ComConfig &settings)
{
    return {MeterConfig{QStringLiteral("电表1"), settings.addr}};
}

QVector<int> sameMeters(const QVector<MeterConfig> &before, const QVector<MeterConfig> &now)
{
    QVector<int> places;
    for (const MeterConfig &meter : now) {
        int place = -1;
        for (int b = 0; b < before.size() && place < 0; ++b) {
            if (before[b].addr == meter.addr && !places.contains(b))
                place = b;
        }
        places.append(place);
    }
    return places;
}

QString meterFolderName(const MeterConfig &meter)
{
    QString name = QString::number(meter.addr) + QLatin1Char('-') + meter.name;
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("<>:\"/\\|?*").contains(c))
            c = QLatin1Char('_');
    }
    // A name that ends in a dot or a space loses it on some disks, and then
    // names another folder.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name[name.size() - 1] = QLatin1Char('_');
    return name;
}

QString meterDailySubfolder(const QVector<MeterConfig> &meters, int meter)
{
    if (meters.size() <= 1 || meter < 0 || meter >= meters.size())
        return QString();
    return meterFolderName(meters[meter]);
}
